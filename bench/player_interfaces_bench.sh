#!/usr/bin/env bash
# Lateness and CPU of each clock source over a player's interface (player_interfaces_win_bench),
# with the real VLC playing a film made here, headless, its web interface on 127.0.0.1; then the
# real mpv's rows (bench/real_mpv_bench.py).
#   bench/player_interfaces_bench.sh [--build build/win] [--seconds 20] [--vlc-only | --mpv-only]
# build/win is the 32-bit build, build/win64 the 64-bit one; each runs under the Wine of its
# architecture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win seconds=20 only=() mpv_only=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --vlc-only) only=(--vlc-only); shift ;;
    --mpv-only) mpv_only=1; shift ;;
    *) echo "usage: $0 [--build DIR] [--seconds N] [--vlc-only | --mpv-only]" >&2; exit 2 ;;
  esac
done
# The real mpv: each cue's start and end as quorvane-follow shows them against mpv's own reports,
# over three times as long as a simulated row.
real_mpv() {
  python3 "$root/bench/real_mpv_bench.py" "$build" $((3 * seconds))
}
if [ -n "$mpv_only" ]; then
  . "$root/bench/build_arch.sh"
  . "$root/scripts/wine-env.sh"
  wine_session_start "$(build_arch "$build/quorvane-follow.exe")"
  trap wine_session_stop EXIT
  real_mpv
  exit
fi

bench=$build/bench/player_interfaces_win_bench.exe
[ -f "$bench" ] || { echo "player_interfaces_bench: $bench not built" >&2; exit 1; }
. "$root/bench/build_arch.sh"
arch=$(build_arch "$bench")
work=$(mktemp -d)
chmod 755 "$work"
vlc_pid=
trap '[ -n "$vlc_pid" ] && kill -9 -- -"$vlc_pid" 2>/dev/null; rm -rf "$work"' EXIT
film_seconds=$((14 * seconds + 60))  # the simulated rows first, then two VLC rows four times as long
ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x90:rate=10:duration=$film_seconds" \
  -f lavfi -i "sine=frequency=440:duration=$film_seconds" -shortest -c:v libx264 -preset ultrafast \
  -c:a aac "$work/film.mp4"
chmod 644 "$work/film.mp4"
mkdir "$work/home"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
as_user=()
if [ "$(id -u)" = 0 ]; then chown nobody "$work/home"; as_user=(runuser -u nobody -- env HOME="$work/home"); fi
setsid "${as_user[@]}" cvlc --intf dummy --extraintf http --http-host 127.0.0.1 --http-port "$port" \
  --http-password bench --vout dummy --aout dummy "$work/film.mp4" </dev/null >/dev/null 2>&1 &
vlc_pid=$!
. "$root/scripts/wine-env.sh"
wine_session_start "$arch"
trap '[ -n "$vlc_pid" ] && kill -9 -- -"$vlc_pid" 2>/dev/null; rm -rf "$work"; wine_session_stop' EXIT
wine "$bench" "$seconds" --vlc-port "$port" --vlc-password bench "${only[@]}"
[ ${#only[@]} -gt 0 ] || real_mpv
