#!/usr/bin/env bash
# Soak run of the real quorvane.exe under Wine (see tests/soak/soak.py): random pauses, seeks,
# hotkeys, slider changes, file picks and player restarts with injected faults, sampled once a
# second. Writes build/soak/soak.csv, soak.png and verdict.txt; exit status 1 on a failed verdict.
#
#   scripts/soak.sh [--minutes N] [--seed N] [--arch win32|win64] [--build DIR]
#
# Default 10 minutes on the 32-bit build (build/soak-win) where this machine runs 32-bit
# programs, else on the 64-bit one (build/soak-win64); it says which.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
minutes=10 seed=() build= arch=
usage="usage: scripts/soak.sh [--minutes N] [--seed N] [--arch win32|win64] [--build DIR]"
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --seed) seed=(--seed "$2"); shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
# A prefix and display of its own, so that a soak can run beside the tests.
export QUORVANE_PREFIX_BASE=${QUORVANE_PREFIX_BASE:-$root/build/soak-wineprefix}
. "$root/scripts/wine-env.sh"
case "$arch" in
  "") if wine_arch_runs win32; then arch=win32; else echo "soak: 32-bit programs do not run here ($wine_arch_reason)"; arch=win64; fi ;;
  win32|win64) ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
if [ "$arch" = win64 ]; then toolchain=mingw-x86_64; else toolchain=mingw-i686; fi
build=${build:-build/soak-$arch}
[ "$build" != build/soak-win32 ] || build=build/soak-win
echo "soak: the $([ "$arch" = win64 ] && echo 64-bit x86_64 || echo 32-bit i686) build in $build, under $arch Wine"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvane simplayer simplayer-ctl uiprobe

if [ -z "${QUORVANE_DISPLAY:-}" ]; then
  wine_session_start "$arch"
  trap wine_session_stop EXIT
else
  wine_use_arch "$arch"
fi
mkdir -p build/soak
python3 tests/soak/soak.py --minutes "$minutes" "${seed[@]}" \
  --artifacts build --work "$build/soak-work" \
  --quorvane "$build/quorvane.exe" --simplayer "$build/tools/simplayer/simplayer.exe" \
  --simplayer-ctl "$build/tools/simplayer/simplayer-ctl.exe" --uiprobe "$build/tests/e2e/uiprobe.exe"
