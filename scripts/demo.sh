#!/usr/bin/env bash
# The main job: builds the programs, starts the simulated player under a player's name with
# Quorvane beside it, and, through Quorvane's own window, presses "Select and Start" and picks a
# subtitle file, so that the subtitles play over the player in time. On the way it pauses and
# resumes the player. It logs each cue shown with the player's true position at that moment and
# the lateness, and saves screenshots.
#
#   scripts/demo.sh [--lang zh-CN|zh-TW|en] [--file SUBTITLES] [--arch win32|win64]
#
# With DISPLAY set, it runs on that display and ends when you close Quorvane's main window;
# without one it runs on a virtual display for about 30 seconds. Either way the log and the
# screenshots land in build/demo/. It runs the 32-bit build (build/win) where this machine runs
# 32-bit programs, else the 64-bit one (build/win64), and says which; --arch picks one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

lang=zh-CN
file=samples/tour.srt
arch=
while [ $# -gt 0 ]; do
  case "$1" in
    --lang) lang=${2:?}; shift 2 ;;
    --file) file=${2:?}; shift 2 ;;
    --arch) arch=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
case "$lang" in
  zh-CN) locale=zh_CN ;;
  zh-TW) locale=zh_TW ;;
  en) locale=en_US ;;
  *) echo "demo: --lang takes zh-CN, zh-TW or en" >&2; exit 2 ;;
esac
[ -f "$file" ] || { echo "demo: no such file: $file" >&2; exit 2; }
file=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")

"$root/scripts/install-deps.sh"
. "$root/scripts/wine-env.sh"
case "$arch" in
  "") if wine_arch_runs win32; then arch=win32; else echo "demo: 32-bit programs do not run here ($wine_arch_reason): the 64-bit build runs"; arch=win64; fi ;;
  win32|win64) wine_arch_runs "$arch" || { echo "demo: cannot run $arch here: $wine_arch_reason" >&2; exit 1; } ;;
  *) echo "demo: --arch takes win32 or win64" >&2; exit 2 ;;
esac
if [ "$arch" = win64 ]; then win=build/win64 toolchain=mingw-x86_64; else win=build/win toolchain=mingw-i686; fi
echo "== the $([ "$arch" = win64 ] && echo 64-bit x86_64 || echo 32-bit i686) build of quorvane.exe ($win), under $arch Wine"
jobs=$(nproc)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs" --target quorvane-srt >/dev/null
cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j"$jobs" --target quorvane simplayer simplayer-ctl uiprobe >/dev/null

out=build/demo
rm -rf "$out" && mkdir -p "$out"
echo "== $file, as Quorvane loads it on a $lang system"
build/release/quorvane-srt --lang "$lang" "$file" | tee "$out/cues.txt"

wine_use_arch "$arch"
# Wine takes the system language from LANG when the C library knows the locale: build it
# privately, under build/, and leave the machine's own locales alone.
[ -e "build/locales/$locale.UTF-8/LC_CTYPE" ] || { mkdir -p build/locales; localedef -i "$locale" -f UTF-8 "build/locales/$locale.UTF-8" 2>/dev/null || true; }
export LOCPATH=$root/build/locales LANG=$locale.UTF-8
watching=
if [ -n "${DISPLAY:-}" ] && [ -z "${QUORVANE_DISPLAY:-}" ]; then
  watching=1
  export QUORVANE_DISPLAY=$DISPLAY
  # The prefix is made once, never on a person's screen.
  (unset DISPLAY QUORVANE_DISPLAY; wine_prefix_ensure)
fi
wine_session_start "$arch"

probe() { wine "$win/tests/e2e/uiprobe.exe" "$@" </dev/null 2>/dev/null; }
ctl() { wine "$win/tools/simplayer/simplayer-ctl.exe" PowerDVDMovie.exe "$@" </dev/null 2>/dev/null; }
watcher=
cleanup() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  ctl quit >/dev/null || true
  wine taskkill /f /im quorvane.exe >/dev/null 2>&1 || true
  wine_session_stop
}
trap cleanup EXIT
centre() {  # the screen centre of a control of the main window, by id: "x y"
  probe controls --class QuorvaneMainWindow | python3 -c '
import json, sys
for c in json.load(sys.stdin)["controls"]:
    if c["id"] == int(sys.argv[1]):
        x, y, w, h = c["rect"]; print(x + w // 2, y + h // 2)' "$1"
}

# Subtitles over the lower part of the player's picture, which sits at the screen's top left;
# stored in the registry's 32-bit view, where the program keeps its settings in either build.
key='HKLM\Software\Orlenna\Quorvane'
for setting in left=60 top=360 width=760 size=32 shadow=1; do
  wine reg add "$key" /v "${setting%%=*}" /d "${setting#*=}" /f /reg:32 >/dev/null 2>&1
done

cp "$win/tools/simplayer/simplayer.exe" "$out/PowerDVDMovie.exe"
wine "$out/PowerDVDMovie.exe" --start=0:00:00 --paused </dev/null >/dev/null 2>&1 &
ctl position >/dev/null
wine "$win/quorvane.exe" </dev/null >/dev/null 2>&1 &
probe wait --class QuorvaneMainWindow --timeout 20000 >/dev/null

echo
echo "== Quorvane: Select and Start, then $(basename "$file") in the file dialog"
read -r x y < <(centre 1006)  # the "Select and Start" button
xdotool mousemove "$x" "$y" click 1
probe wait --class '#32770' --exe quorvane.exe --timeout 20000 >/dev/null
xdotool type --delay 15 "$(python3 -c 'import sys; print("Z:" + sys.argv[1].replace("/", "\\"))' "$file")"
xdotool key Return
probe wait --class QuorvaneOverlay --hidden --timeout 20000 >/dev/null
probe watch --class QuorvaneOverlay --child QuorvaneSubtitleLabel --for 600000 >"$out/label.jsonl" &
watcher=$!

# The player's reports ("OK position=... tick=... playing=..."): the true position at any tick.
ctl resume >>"$out/player.txt"
echo "   -- the player plays"
shot() { sleep "$1"; import -window root "$out/$2.png"; }
shot 2.3 playing
sleep 2.5
ctl pause >>"$out/player.txt"
echo "   -- the player pauses for 3 s"
shot 1.5 paused
sleep 1.5
ctl resume >>"$out/player.txt"
echo "   -- the player plays on"
shot 2.5 resumed

if [ -n "$watching" ]; then
  echo "   -- close Quorvane's main window to end the demo"
  probe wait --class QuorvaneMainWindow --gone --timeout 86400000 >/dev/null || true
else
  sleep 12
  wine taskkill /im quorvane.exe >/dev/null 2>&1 || true  # a close, as from the title bar
  probe wait --class QuorvaneMainWindow --gone --timeout 10000 >/dev/null || true
fi
kill "$watcher" 2>/dev/null || true
watcher=

python3 - "$out" <<'EOF' | tee "$out/demo.log"
import json, re, sys
from pathlib import Path

out = Path(sys.argv[1])
cues, cue = [], None
for line in (out / "cues.txt").read_text(encoding="utf-8").splitlines():
    m = re.match(r"(\d+)  (\d\d):(\d\d):(\d\d),(\d\d\d) --> (\d\d):(\d\d):(\d\d),(\d\d\d)$", line)
    if m:
        v = [int(g) for g in m.groups()]
        cue = {"n": v[0], "start": ((v[1] * 60 + v[2]) * 60 + v[3]) * 1000 + v[4],
               "end": ((v[5] * 60 + v[6]) * 60 + v[7]) * 1000 + v[8], "lines": []}
        cues.append(cue)
    elif cue is not None and line.startswith("    "):
        cue["lines"].append(line[4:])
refs = []
for line in (out / "player.txt").read_text().splitlines():
    f = dict(p.split("=", 1) for p in line.split()[1:] if "=" in p)
    refs.append((int(f["tick"]), int(f["position"]), f["playing"] == "1"))

def true_position(tick):
    tick0, pos0, playing = max((r for r in refs if r[0] <= tick), default=refs[0])
    return pos0 + (tick - tick0 if playing else 0)

def clock(ms):
    return f"{ms // 3600000}:{ms // 60000 % 60:02}:{ms // 1000 % 60:02}.{ms % 1000:03}"

print(f"{'cue':>3}  {'shown at (true)':>15}  {'stored start':>12}  {'late':>6}  {'cleared at':>11}  {'stored end':>11}  {'late':>6}  text")
shown, last = None, ""
for line in (out / "label.jsonl").read_text(encoding="utf-8").splitlines():
    event = json.loads(line)
    text = event.get("text") or ""
    if text == last:
        continue  # the window moved or was shown or hidden; the text stayed
    last = text
    at = true_position(event["tick"])
    if shown:
        c, when = shown
        print(f"{c['n']:>3}  {clock(when):>15}  {clock(c['start']):>12}  {when - c['start']:>4}ms  "
              f"{clock(at):>11}  {clock(c['end']):>11}  {at - c['end']:>4}ms  {' / '.join(c['lines'])}")
        shown = None
    if text:
        match = [c for c in cues if "\r\n".join(c["lines"]) == text]
        if match:
            shown = (match[0], at)
        else:
            print(f"  ?  {clock(at):>15}  text not in the file: {text!r}")
EOF
echo
echo "The demo's log: $out/demo.log (each cue with the player's true position when it was shown and"
echo "cleared, and the lateness against the cue's stored times); the label's changes: $out/label.jsonl."
echo "Screenshots: $out/playing.png (a cue over the playing player), $out/paused.png (the cue kept"
echo "through a pause), $out/resumed.png (after resuming)."
