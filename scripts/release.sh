#!/usr/bin/env bash
# Builds the Windows release for both architectures, each in its own Release tree
# (build/release-win: i686, build/release-win64: x86_64), and writes into build/dist
#   quorvane-VERSION-win32.zip          the 32-bit programs: quorvane.exe, quorvane-srt.exe,
#                                       Quorvane.txt, LICENSE.txt, guide/
#   quorvane-VERSION-win64.zip          the same files, the programs built 64-bit
#   quorvane-VERSION-win32-setup.exe    the 32-bit NSIS installer of the 32-bit files
#   quorvane-VERSION-win64-setup.exe    the 64-bit NSIS installer of the 64-bit files
# VERSION is the one in project() of CMakeLists.txt. Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh"

written=()
for build in win:i686:win32 win64:x86_64:win64; do
  IFS=: read -r tree processor arch <<<"$build"
  cmake -S . -B "build/release-$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$processor.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQUORVANE_DIST_DIR="$root/build/dist" >/dev/null
  cmake --build "build/release-$tree" -j"$(nproc)" --target release
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/release-$tree/CMakeCache.txt")
  written+=("build/dist/quorvane-$version-$arch.zip" "build/dist/quorvane-$version-$arch-setup.exe")
done

echo
for f in "${written[@]}"; do
  [ -f "$f" ] || { echo "release: $f was not written" >&2; exit 1; }
  echo "release: $f ($(stat -c %s "$f") bytes)"
done
