#!/usr/bin/env bash
# Builds the installer: a Release build of the program alone (no debug
# information), stripped, packed by NSIS (installer/Holvenstead.nsi) into
#   build/installer/Holvenstead-VERSION-setup.exe
# VERSION is the CMake project's; the package takes its own from the
# program's version block, and makensis stops when the two differ.
#   scripts/make-installer.sh [RELEASE_BUILD_DIR] [OUTPUT_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
release=${1:-$root/build/release}
out=${2:-$root/build/installer}
# makensis reads its inputs from the script's folder: absolute paths only.
mkdir -p "$release" "$out/stage"
release=$(cd "$release" && pwd)
out=$(cd "$out" && pwd)

cmake -S "$root" -B "$release" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$release" -j "${JOBS:-$(nproc)}" --target Holvenstead

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release/CMakeCache.txt")
[ -n "$version" ] || { echo "make-installer: no project version in $release/CMakeCache.txt" >&2; exit 1; }

exe=$out/stage/Holvenstead.exe
x86_64-w64-mingw32-strip -o "$exe" "$release/bin/Holvenstead.exe"
if x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
  echo "make-installer: $exe still carries debug sections" >&2
  exit 1
fi

setup=$out/Holvenstead-$version-setup.exe
makensis -V2 -DEXE="$exe" -DOUTFILE="$setup" -DPROJECT_VERSION="$version" "$root/installer/Holvenstead.nsi"
echo "installer: $setup ($(stat -c %s "$exe") bytes program, $(stat -c %s "$setup") bytes package)"
