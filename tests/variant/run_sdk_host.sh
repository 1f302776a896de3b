#!/bin/sh
# Installs an earlier SDK (headers and library) into a private prefix, checks
# that the library exports the same two factories as libStrivon.so, builds
# the probe host against that prefix only and runs it.
# Usage: run_sdk_host.sh <build dir> <SdkName> <probe source> <c++ compiler> <picture-in-picture 0|1>
set -eu
build=$1
name=$2
probe=$3
cxx=$4
pip=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --component StrivonSdk --prefix "$work/sdk" >/dev/null
library="$work/sdk/lib/lib$name.so"
[ -f "$library" ] || { echo "lib$name.so not installed"; exit 1; }

exports=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort)
expected=$(printf '%s\n' CreateRtmpPublishManager _Z16CreateDeviceListP17IDeviceListNotfiy | sort)
if [ "$exports" != "$expected" ]; then
  echo "lib$name.so exports:"; echo "$exports"
  exit 1
fi

"$cxx" -std=c++20 -Wall -Wextra -Werror -I"$work/sdk/include" "$probe" -ldl -o "$work/probe"
out=$("$work/probe" "$library")
echo "$out"
if [ "$pip" = 1 ]; then want="changeToCameraIn present"; else want="changeToCameraIn absent"; fi
echo "$out" | grep -qx "$want" || { echo "expected: $want"; exit 1; }
