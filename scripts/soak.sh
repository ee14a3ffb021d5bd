#!/usr/bin/env bash
# Soak run of the real quorvane.exe under Wine (see tests/soak/soak.py): random pauses, seeks,
# hotkeys, slider changes, file picks and player restarts with injected faults, sampled once a
# second. Writes build/soak/soak.csv, soak.png and verdict.txt; exit status 1 on a failed verdict.
#
#   scripts/soak.sh [--minutes N] [--seed N] [--build DIR]     default 10 minutes, build/soak-win
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
minutes=10 seed=() build=build/soak-win
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --seed) seed=(--seed "$2"); shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: scripts/soak.sh [--minutes N] [--seed N] [--build DIR]" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvane simplayer simplayer-ctl uiprobe

# A prefix and display of its own, so that a soak can run beside the tests.
export WINEPREFIX=${WINEPREFIX:-$root/build/soak-wineprefix}
. "$root/scripts/wine-env.sh"
if [ -z "${QUORVANE_DISPLAY:-}" ]; then
  wine_session_start
  trap wine_session_stop EXIT
fi
mkdir -p build/soak
python3 tests/soak/soak.py --minutes "$minutes" "${seed[@]}" \
  --artifacts build --work "$build/soak-work" \
  --quorvane "$build/quorvane.exe" --simplayer "$build/tools/simplayer/simplayer.exe" \
  --simplayer-ctl "$build/tools/simplayer/simplayer-ctl.exe" --uiprobe "$build/tests/e2e/uiprobe.exe"
