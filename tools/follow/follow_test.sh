#!/usr/bin/env bash
# The whole subtitle run against the simulated player: search, load, clock and scheduler show
# the first cue of the tour and clear it on time; on a Traditional Chinese system a GBK file
# comes out in Big5 with traditional characters.
set -euo pipefail
follow=$1 player=$2 ctl=$3 samples=$4
work=$(mktemp -d)
trap 'wine "$ctl" PowerDVDMovie.exe quit >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cp "$player" "$work/PowerDVDMovie.exe"
wine "$work/PowerDVDMovie.exe" --start=0:00:01 --exit-after=60 </dev/null >/dev/null 2>&1 &
wine "$ctl" PowerDVDMovie.exe position </dev/null >/dev/null

fail=0
expect() {  # output, pattern
  grep -q -- "$2" <<<"$1" || { echo "missing: $2"; fail=1; }
}
out=$(wine "$follow" --seconds 3 --lang zh-CN "$samples/tour.srt" </dev/null)
echo "$out"
expect "$out" "time record at 0x"
expect "$out" "6 cues"
expect "$out" "The disc spins up. / 光盘开始转动。"
expect "$out" "(clear)"

wine "$ctl" PowerDVDMovie.exe seek 0:00:01 </dev/null >/dev/null
out=$(wine "$follow" --seconds 2 --lang zh-TW "$samples/demo-gbk.srt" </dev/null)
echo "$out"
expect "$out" "夜裡的火車開過小鎮。"
exit $fail
