#!/usr/bin/env bash
# Builds the Windows release in its own Release tree (build/release-win) and writes
#   build/dist/quorvane-VERSION-win32.zip    quorvane.exe, quorvane-srt.exe, Quorvane.txt, LICENSE.txt, guide/
#   build/dist/quorvane-VERSION-setup.exe    the NSIS installer of the same files
# VERSION is the one in project() of CMakeLists.txt. Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh"

cmake -S . -B build/release-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUORVANE_DIST_DIR="$root/build/dist" >/dev/null
cmake --build build/release-win -j"$(nproc)" --target release

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release-win/CMakeCache.txt)
echo
for f in "build/dist/quorvane-$version-win32.zip" "build/dist/quorvane-$version-setup.exe"; do
  [ -f "$f" ] || { echo "release: $f was not written" >&2; exit 1; }
  echo "release: $f ($(stat -c %s "$f") bytes)"
done
