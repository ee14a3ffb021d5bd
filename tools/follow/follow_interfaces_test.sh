#!/usr/bin/env bash
# quorvane-follow against the simulated player telling its time as MPC-HC's web interface,
# PotPlayer's window messages and mpv's JSON IPC do: for each, the first cue of the tour shows
# and clears on time; a pause holds it; once the player has quit, the text is cleared.
set -euo pipefail
follow=$1 player=$2 ctl=$3 samples=$4
work=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
pipe="quorvane-test-mpv-$$"
cleanup() { wine "$ctl" simplayer.exe quit >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
cp "$player" "$work/simplayer.exe"

fail=0
expect() {  # output, pattern, what
  grep -q -- "$2" <<<"$1" || { echo "FAIL ($3): missing $2"; fail=1; }
}

for mode in "mpc --mpc-web=$port" "potplayer --potplayer" "mpv --mpv-pipe=\\\\.\\pipe\\$pipe"; do
  source=${mode%% *} option=${mode#* }
  echo "== $source"
  wine "$work/simplayer.exe" --start=0:00:01 --exit-after=60 "$option" </dev/null >/dev/null 2>&1 &
  wine "$ctl" simplayer.exe position </dev/null >/dev/null
  out=$(wine "$follow" --seconds 4 --lang en --source "$source" --port "$port" --pipe "$pipe" \
          "$samples/tour.srt" </dev/null)
  echo "$out"
  expect "$out" "The disc spins up." "$source: first cue"
  expect "$out" " 0:00:03.[0-9]*  (clear)" "$source: cleared at its end"

  # Two followers at once, as while a run follows the player a second press searches for it:
  # the second is served too. The player holds still meanwhile, so that neither depends on how
  # soon Wine starts it.
  wine "$ctl" simplayer.exe seek 0:00:04.5 </dev/null >/dev/null
  wine "$ctl" simplayer.exe pause </dev/null >/dev/null
  wine "$follow" --seconds 6 --lang en --source "$source" --port "$port" --pipe "$pipe" \
    "$samples/tour.srt" </dev/null >"$work/first.txt" &
  first=$!
  for _ in $(seq 200); do grep -q "own clock" "$work/first.txt" && break; sleep 0.05; done
  out=$(wine "$follow" --seconds 2 --lang en --source "$source" --port "$port" --pipe "$pipe" \
          "$samples/tour.srt" </dev/null)
  expect "$out" "Subtitles follow the player's own clock." "$source: a second follower beside the first"
  wait $first
  wine "$ctl" simplayer.exe resume </dev/null >/dev/null

  # Paused while the second cue shows: it stays; then the player quits and the text clears.
  wine "$ctl" simplayer.exe seek 0:00:03.4 </dev/null >/dev/null
  wine "$follow" --seconds 6 --lang en --source "$source" --port "$port" --pipe "$pipe" \
    "$samples/tour.srt" </dev/null >"$work/out.txt" &
  follower=$!
  for _ in $(seq 100); do grep -q "own clock" "$work/out.txt" && break; sleep 0.05; done
  wine "$ctl" simplayer.exe pause </dev/null >/dev/null
  sleep 1.5
  held=$(tail -n 1 "$work/out.txt")
  wine "$ctl" simplayer.exe quit </dev/null >/dev/null
  wait $follower
  out=$(cat "$work/out.txt")
  echo "$out"
  expect "$out" "Subtitles follow the player's own clock." "$source: second cue"
  grep -q "own clock" <<<"$held" || { echo "FAIL ($source): the text changed during the pause"; fail=1; }
  tail -n 1 <<<"$out" | grep -q "(clear)" || { echo "FAIL ($source): not cleared after the player quit"; fail=1; }
  sleep 0.5
done
exit $fail
