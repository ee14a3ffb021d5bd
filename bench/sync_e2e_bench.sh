#!/usr/bin/env bash
# Runs the end-to-end sync benchmark (sync_e2e_win_bench.exe) under Wine and lets it measure
# the wineserver's CPU as well: it passes the pid of this session's wineserver, which the
# benchmark reads through Wine's Z: drive (Z:\proc\PID\stat) before and after each window.
#
#   bench/sync_e2e_bench.sh [--build DIR] [OPTIONS]    DIR defaults to build/win (32-bit);
#                                                      build/win64 is the 64-bit build
#   e.g. WINEPREFIX=$PWD/build/sb-wineprefix bench/sync_e2e_bench.sh --build build/sb-win --seconds 20
#
# OPTIONS go to the benchmark (see the top of bench/sync_e2e_win_bench.cpp). Uses the Wine
# session of $WINEPREFIX when its wineserver runs (and $DISPLAY is set); otherwise starts one of
# the build's architecture with scripts/wine-env.sh and ends it afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win
if [ "${1:-}" = --build ]; then
  build=$(cd "$2" && pwd)
  shift 2
fi
bench=$build/bench/sync_e2e_win_bench.exe
[ -f "$bench" ] || { echo "sync_e2e_bench: $bench not built" >&2; exit 1; }
. "$root/bench/build_arch.sh"
arch=$(build_arch "$bench")

# Sourced with the build's architecture, wine-env.sh points WINEPREFIX and `wine` at it.
export QUORVANE_WINE_ARCH=$arch
. "$root/scripts/wine-env.sh"

# A prefix's wineserver works in a folder named after the prefix's device and inode
# (server-DEV-INODE, in hex): that tells it apart from other sessions' servers.
session_server() {
  [ -d "$WINEPREFIX" ] || return 0
  local dir pid
  dir=server-$(stat -c '%D' "$WINEPREFIX")-$(printf '%x' "$(stat -c '%i' "$WINEPREFIX")")
  for pid in $(pgrep -u "$(id -u)" wineserver || true); do
    case $(readlink "/proc/$pid/cwd" 2>/dev/null) in
      */"$dir") echo "$pid"; return 0 ;;
    esac
  done
}

if [ -z "$(session_server)" ] || [ -z "${DISPLAY:-}" ]; then
  wine_session_start "$arch"
  trap wine_session_stop EXIT
fi
server=$(session_server)
[ -n "$server" ] || { echo "sync_e2e_bench: no wineserver for $WINEPREFIX" >&2; exit 1; }

wine "$bench" --wineserver-pid "$server" --clock-ticks "$(getconf CLK_TCK)" "$@" </dev/null
