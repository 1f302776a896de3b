#!/bin/sh
# Installs the library's SDK (public headers and libStrivon.so) into a private
# prefix, checks that the library exports exactly its two factories and that
# the headers stand alone, builds the sample host against that prefix only
# and runs it.
# Usage: run_host_sdk.sh <build dir> <host source folder> <c++ compiler>
set -eu
build=$1
sources=$2
cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --component StrivonSdk --prefix "$work/sdk" >/dev/null
library="$work/sdk/lib/libStrivon.so"

exports=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort)
expected=$(printf '%s\n' CreateRtmpPublishManager _Z16CreateDeviceListP17IDeviceListNotfiy | sort)
if [ "$exports" != "$expected" ]; then
  echo "libStrivon.so exports:"; echo "$exports"
  echo "expected:"; echo "$expected"
  exit 1
fi

# The desktop-sound library is loaded at run time from the folder of
# libStrivon.so, so the SDK carries it there, with its one export.
wexmoor="$work/sdk/lib/libWexmoor.so"
if [ ! -f "$wexmoor" ] || [ "$(nm -D --defined-only "$wexmoor" | awk '{print $NF}')" != CreateCaptureDevice ]; then
  echo "libWexmoor.so missing beside libStrivon.so or exporting more than CreateCaptureDevice"
  exit 1
fi

if grep -rn '#include' "$work/sdk/include" | grep -v -e '#include "strivon/' -e '#include <'; then
  echo "public headers include something outside the SDK"
  exit 1
fi
for header in "$work"/sdk/include/strivon/*.h; do
  echo "#include <strivon/$(basename "$header")>" | "$cxx" -std=c++20 -Wall -Wextra -Werror -fsyntax-only \
    -I"$work/sdk/include" -x c++ -
done

"$cxx" -std=c++20 -Wall -Wextra -Werror -I"$work/sdk/include" "$sources"/*.cpp -ldl -o "$work/host"
"$work/host" "$library"

# A media file that cannot be published ends the host with the reason and a
# failure, and nothing is published: a missing file is caught by the host
# itself, a file that is no media by the library's report.
expect_cannot_open() {
  file=$1
  status=0
  timeout 20 "$work/host" publish --url rtmp://127.0.0.1:1/live/none --file "$file" --seconds 10 \
    --lib "$library" >"$work/out" 2>&1 || status=$?
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || ! grep -q "^strivon_host: cannot open $file: " "$work/out" ||
     grep -q "NetStream.Publish.Start" "$work/out"; then
    echo "host publishing $file exited $status:"; cat "$work/out"
    exit 1
  fi
}
expect_cannot_open "$work/missing.mp4"
head -c 4096 /dev/zero >"$work/junk.mp4"
expect_cannot_open "$work/junk.mp4"
