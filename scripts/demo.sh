#!/usr/bin/env bash
# The main job: builds the programs, shows how each bundled subtitle file loads, then follows
# the simulated player under Wine: the real player search, loading, playback clock and cue
# scheduler, with each change of the subtitle text printed as it happens. Screenshots of the
# player and of Quorvane's main window go to build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"
jobs=$(nproc)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs" --target quorvane-srt >/dev/null
for f in samples/*.srt; do
  echo "== $f, loaded as on a Simplified Chinese system"
  build/release/quorvane-srt --lang zh-CN "$f"
done

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs" --target quorvane quorvane-follow simplayer simplayer-ctl >/dev/null

. "$root/scripts/wine-env.sh"
# Wine takes the system language from the session's LANG, when the C library knows the locale:
# show the Simplified Chinese interface (the locale is built privately, under build/).
[ -e build/locales/zh_CN.UTF-8/LC_CTYPE ] || { mkdir -p build/locales; localedef -i zh_CN -f UTF-8 build/locales/zh_CN.UTF-8 2>/dev/null || true; }
export LOCPATH=$root/build/locales LANG=zh_CN.UTF-8
wine_session_start
out=build/demo
rm -rf "$out" && mkdir -p "$out"
cp build/win/tools/simplayer/simplayer.exe "$out/PowerDVDMovie.exe"
ctl() { wine build/win/tools/simplayer/simplayer-ctl.exe PowerDVDMovie.exe "$@" </dev/null; }
cleanup() {
  ctl quit >/dev/null 2>&1 || true
  wine taskkill /f /im quorvane.exe >/dev/null 2>&1 || true
  wine_session_stop
}
trap cleanup EXIT

echo
echo "== the simulated player plays from 0:00:00; Quorvane follows it with samples/tour.srt"
wine "$out/PowerDVDMovie.exe" --start=0:00:00 --exit-after=120 </dev/null >/dev/null 2>&1 &
ctl position >/dev/null
( sleep 6; ctl pause >/dev/null; echo "   -- player paused for 2 s"; sleep 2; ctl resume >/dev/null; echo "   -- player resumed";
  sleep 1; import -window root "$out/player.png" ) &
driver=$!
wine build/win/quorvane-follow.exe --seconds 15 samples/tour.srt </dev/null
wait "$driver"

wine build/win/quorvane.exe </dev/null >/dev/null 2>&1 &
sleep 3
import -window root "$out/screen.png"
echo
echo "Screenshots: $out/player.png (the simulated player), $out/screen.png (with Quorvane's main window)"
