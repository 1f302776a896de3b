# install_sdk_host <build folder> <prefix>: installs the library's SDK
# (headers, libStrivon.so and what it loads) into the prefix and builds the
# sample host there from the SDK alone, as a third-party host would be built.
# The host ends up in <prefix>/bin/strivon_host. The compiled host is kept in
# the build folder and compiled again only when its sources or the SDK's
# headers changed. Sourced by scripts/run.
install_sdk_host() {
  local build=$1 prefix=$2 top cxx kept source stale=""
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
  cmake --install "$build" --component StrivonSdk --prefix "$prefix" >/dev/null
  mkdir -p "$prefix/bin" "$build/sdk_host"
  kept=$build/sdk_host/strivon_host
  [ -x "$kept" ] || stale=1
  for source in "$top"/tools/host/*.cpp "$top"/tools/host/*.h "$top"/strivon/include/strivon/*.h; do
    [ "$source" -nt "$kept" ] && stale=1
  done
  if [ -n "$stale" ]; then
    "${cxx:-c++}" -std=c++20 -O2 -I"$prefix/include" "$top"/tools/host/*.cpp -ldl -o "$kept.$$"
    mv "$kept.$$" "$kept"
  fi
  cp "$kept" "$prefix/bin/strivon_host"
}

# keep_library_log <RtmpLog folder>: the library writes its log beside
# itself, in a folder the run removes; the newest one is copied to a file of
# its own and its path printed, for a run that failed.
keep_library_log() {
  local newest kept
  newest=$(ls -t "$1"/*.log 2>/dev/null | head -n1) || true
  [ -n "$newest" ] || return 0
  kept=$(mktemp "${TMPDIR:-/tmp}/strivon-library-XXXXXX.log")
  cp "$newest" "$kept"
  echo "library log: $kept"
}
