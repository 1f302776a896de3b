# install_sdk_host <build folder> <prefix>: installs the library's SDK
# (headers, libStrivon.so and what it loads) into the prefix and builds the
# sample host there from the SDK alone, as a third-party host would be built.
# The host ends up in <prefix>/bin/strivon_host. Sourced by scripts/run.
install_sdk_host() {
  local build=$1 prefix=$2 top cxx
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
  cmake --install "$build" --component StrivonSdk --prefix "$prefix" >/dev/null
  mkdir -p "$prefix/bin"
  "${cxx:-c++}" -std=c++20 -O2 -I"$prefix/include" "$top"/tools/host/*.cpp -ldl -o "$prefix/bin/strivon_host"
}
