# Sourced by the scripts that run Windows programs here. Sets up one private Wine prefix under
# build/, a virtual X display when none is given, and a wineserver kept alive for the run, so
# that each program start costs a fraction of a second.
#
#   . scripts/wine-env.sh && wine_session_start   # exports DISPLAY, WINEPREFIX, ...
#   wine_session_stop                             # ends Xvfb and the wineserver we started

QUORVANE_ROOT=${QUORVANE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$QUORVANE_ROOT/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

_wine_xvfb_pid=
_wine_started_server=

wine_xvfb_start() {
  [ -n "${QUORVANE_DISPLAY:-}" ] && { export DISPLAY=$QUORVANE_DISPLAY; return 0; }
  local fifo; fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  _wine_xvfb_pid=$!
  local num; read -r -t 20 num <"$fifo" || true
  rm -f "$fifo"
  [ -n "$num" ] || { echo "wine-env: Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$num"
  export QUORVANE_DISPLAY=$DISPLAY
}

# Creates the prefix once (about 15 s), with the Chinese font substitutes the screenshots need.
wine_prefix_ensure() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.quorvane-ready" ]; then
      rm -rf "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1
      local reg; reg=$(mktemp --suffix=.reg)
      # The program asks for the SimHei face (by its English name and by its Chinese names in
      # both scripts) and for "Bold"; the machine has WenQuanYi Micro Hei, which covers GBK and
      # Big5. A Unicode .reg file keeps the Chinese names independent of the code page.
      printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"SimHei"="WenQuanYi Micro Hei"\r\n"\xe9\xbb\x91\xe4\xbd\x93"="WenQuanYi Micro Hei"\r\n"\xe9\xbb\x91\xe9\xab\x94"="WenQuanYi Micro Hei"\r\n"Bold"="WenQuanYi Micro Hei"\r\n' \
        | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
      wine regedit "$reg" >/dev/null 2>&1
      rm -f "$reg"
      wineserver -w
      touch "$WINEPREFIX/.quorvane-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

wine_session_start() {
  wine_xvfb_start || return 1
  wine_prefix_ensure
  if ! pgrep -u "$(id -u)" -f "wineserver -p" >/dev/null 2>&1 || [ -z "${_wine_started_server}" ]; then
    wineserver -p && _wine_started_server=1
  fi
  # Start Wine's background services now, detached from our output: started by the first test
  # program instead, they would inherit its stdout and keep CTest waiting for the pipe to close.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
  [ -n "$_wine_started_server" ] && { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; }
  [ -n "$_wine_xvfb_pid" ] && kill "$_wine_xvfb_pid" 2>/dev/null
  _wine_started_server=
  _wine_xvfb_pid=
}
