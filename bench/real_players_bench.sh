#!/usr/bin/env bash
# Lateness and CPU of the subtitle run against real players (bench/real_players_bench.py): Debian's
# VLC, headless, playing a film made here with many short lines, followed by quorvane-follow under
# Wine; a row per player and timing mode, per run.
#   bench/real_players_bench.sh [--build build/win64] [--seconds 150] [--runs 3] [--players vlc]
# Run it alone: the figures are timings on a shared machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
if [ "${1:-}" = --build ]; then
  build=$(cd "$2" && pwd)
  shift 2
fi
follow=$build/quorvane-follow.exe
[ -f "$follow" ] || { echo "real_players_bench: $follow not built" >&2; exit 1; }
. "$root/bench/build_arch.sh"
arch=$(build_arch "$follow")
. "$root/scripts/wine-env.sh"
wine_session_start "$arch"
trap wine_session_stop EXIT
# The session's own wineserver: the one working in the folder named after this prefix.
dir=server-$(stat -c '%D' "$WINEPREFIX")-$(printf '%x' "$(stat -c '%i' "$WINEPREFIX")")
server=0
for pid in $(pgrep -u "$(id -u)" wineserver || true); do
  case $(readlink "/proc/$pid/cwd" 2>/dev/null) in */"$dir") server=$pid ;; esac
done
python3 "$root/bench/real_players_bench.py" "$follow" --wineserver-pid "$server" "$@"
