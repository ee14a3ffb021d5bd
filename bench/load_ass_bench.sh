#!/usr/bin/env bash
# Loading a 10 MB bilingual ASS file of 100,000 events, in one run: natively, under Wine, and
# ffmpeg reading the same file (its ASS reader and decoder, out to its null muxer as plain text),
# each several times, with median, minimum, maximum and peak memory.
#
#   bench/load_ass_bench.sh [--native DIR] [--win DIR] [--runs N]
#   (DIRs: build/release; build/win, the 32-bit build, or build/win64, the 64-bit one)
#
# The Windows half runs in a Wine session of the build's architecture (scripts/wine-env.sh); it is
# left out when DIR has no load_ass_bench.exe, and ffmpeg when it is not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/release
win=$root/build/win
runs=9
while [ $# -gt 0 ]; do
  case $1 in
    --native) native=$(cd "$2" && pwd); shift 2 ;;
    --win) win=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--native DIR] [--win DIR] [--runs N]" >&2; exit 2 ;;
  esac
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/bench.ass
"$native/bench/load_ass_bench" --write "$file"

echo "== native ($native)"
"$native/bench/load_ass_bench" --runs "$runs" "$file"
if [ -f "$win/bench/load_ass_bench.exe" ]; then
  . "$root/bench/build_arch.sh"
  arch=$(build_arch "$win/bench/load_ass_bench.exe")
  echo "== Wine ($win, $arch)"
  (
    . "$root/scripts/wine-env.sh"
    wine_session_start "$arch" >/dev/null
    trap wine_session_stop EXIT
    wine "$win/bench/load_ass_bench.exe" --runs "$runs" "$(wine winepath -w "$file" 2>/dev/null | tr -d '\r' || echo "$file")" | tr -d '\r'
  )
fi
if command -v ffmpeg >/dev/null; then
  echo "== ffmpeg ($(ffmpeg -version | head -1 | cut -d' ' -f1-3))"
  python3 - "$file" "$runs" <<'PY'
import os, subprocess, sys, time
path, runs = sys.argv[1], int(sys.argv[2])
mb = os.path.getsize(path) / 1048576
tiny = path + ".tiny.ass"
with open(tiny, "w") as f:
    f.write("[Script Info]\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
            "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,x\n")

def measure(target):
    times, peaks = [], []
    for _ in range(runs):
        start = time.perf_counter()
        p = subprocess.Popen(["ffmpeg", "-nostdin", "-v", "error", "-i", target, "-c:s", "text", "-f", "null", "-"])
        _, status, usage = os.wait4(p.pid, 0)
        times.append((time.perf_counter() - start) * 1000)
        peaks.append(usage.ru_maxrss / 1024)
        if status:
            sys.exit("ffmpeg failed")
    times.sort()
    return times, max(peaks)

startup, _ = measure(tiny)
times, peak = measure(path)
median = times[len(times) // 2]
print("ffmpeg, whole process: median %.1f ms (%.0f MB/s), min %.1f, max %.1f over %d runs; peak memory %.1f MB = %.2f x the file"
      % (median, mb / (median / 1000), times[0], times[-1], runs, peak, peak / mb))
work = median - startup[len(startup) // 2]
print("ffmpeg less its start-up on a one-event file (median %.1f ms): %.1f ms (%.0f MB/s)"
      % (startup[len(startup) // 2], work, mb / (work / 1000)))
PY
fi
