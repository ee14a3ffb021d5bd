# Sourced by the scripts that run Windows programs here. Sets up one private Wine prefix per
# architecture under build/, a virtual X display when none is given, and a wineserver kept alive
# for the run, so that each program start costs a fraction of a second.
#
#   . scripts/wine-env.sh && wine_session_start win64   # or win32; exports DISPLAY, WINEPREFIX, ...
#   wine_session_stop                                   # ends Xvfb and the wineserver we started
#   wine_arch_runs win32 || echo "$wine_arch_reason"    # whether this machine runs that Wine
#
# The architecture is win32 (the i686 build) or win64 (the x86_64 build): an argument of
# wine_session_start, else $QUORVANE_WINE_ARCH, else win32. Each has its own prefix
# (build/wineprefix, build/wineprefix64; $QUORVANE_PREFIX_BASE changes the base name) and its
# own loader: Debian's `wine` wrapper takes the 32-bit loader whenever it is installed, even where
# the kernel refuses 32-bit programs, so the session puts a `wine` of its architecture first on
# PATH (build/wine-bin/ARCH), which every script and test then calls as plain `wine`.

QUORVANE_ROOT=${QUORVANE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# A prefix named by the caller is kept whatever the architecture; otherwise each has its own.
_wine_prefix_given=${_wine_prefix_given-${WINEPREFIX:-}}

_wine_xvfb_pid=
_wine_started_server=

# The Linux loader of each architecture's Wine.
wine_loader() {
  case "$1" in
    win32) echo /usr/lib/wine/wine ;;
    win64) echo /usr/lib/wine/wine64 ;;
    *) echo "wine-env: unknown architecture '$1' (win32 or win64)" >&2; return 2 ;;
  esac
}

# Whether this machine runs the Wine of an architecture, found by running its loader (a program
# of that architecture), never guessed from the CPU or the kernel. On failure
# $wine_arch_reason says why.
wine_arch_runs() {
  wine_arch_reason=
  local loader out
  loader=$(wine_loader "$1") || return 2
  if [ ! -x "$loader" ]; then
    case "$1" in
      win32) wine_arch_reason="32-bit Wine is not installed ($loader; Debian package wine32:i386)" ;;
      win64) wine_arch_reason="64-bit Wine is not installed ($loader; Debian package wine64)" ;;
    esac
    return 1
  fi
  if ! out=$("$loader" --version 2>&1); then
    case "$out" in
      *"Exec format error"*)
        wine_arch_reason="the kernel does not run $([ "$1" = win32 ] && echo 32 || echo 64)-bit programs ($loader: Exec format error)" ;;
      *) wine_arch_reason="$loader --version failed: $(echo "$out" | head -1)" ;;
    esac
    return 1
  fi
}

# Points WINEARCH, WINEPREFIX, WINELOADER and PATH's `wine` at one architecture.
wine_use_arch() {
  local arch=$1 loader bin
  loader=$(wine_loader "$arch") || return 2
  export QUORVANE_WINE_ARCH=$arch WINEARCH=$arch
  if [ -n "$_wine_prefix_given" ]; then
    export WINEPREFIX=$_wine_prefix_given
    # A prefix made for the other architecture is never used: this one gets its own beside it.
    if [ -f "$WINEPREFIX/system.reg" ] && ! grep -q "^#arch=$arch" "$WINEPREFIX/system.reg"; then
      export WINEPREFIX=$WINEPREFIX-$arch
    fi
  else
    local base=${QUORVANE_PREFIX_BASE:-$QUORVANE_ROOT/build/wineprefix}
    export WINEPREFIX=$base$([ "$arch" = win64 ] && echo 64)
  fi
  bin=$QUORVANE_ROOT/build/wine-bin/$arch
  if [ ! -x "$bin/wine" ] || ! grep -q "$loader\"" "$bin/wine"; then
    mkdir -p "$bin"
    printf '#!/bin/sh\nexec "%s" "$@"\n' "$loader" >"$bin/wine.tmp"
    chmod +x "$bin/wine.tmp" && mv -f "$bin/wine.tmp" "$bin/wine"
  fi
  # Wine starts child processes with WINELOADER; the 64-bit one must never fall back to 32-bit.
  if [ "$arch" = win64 ]; then export WINELOADER=$loader; else unset WINELOADER; fi
  local p=":$PATH:"
  for other in win32 win64; do p=${p//:$QUORVANE_ROOT\/build\/wine-bin\/$other:/:}; done
  p=${p#:}; p=${p%:}
  export PATH="$bin:$p"
}

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
      wine wineboot -i >/dev/null 2>&1
      local reg; reg=$(mktemp --suffix=.reg)
      # The program asks for the SimHei face (by its English name and by its Chinese names in
      # both scripts) and for "Bold"; the machine has WenQuanYi Micro Hei, which covers GBK and
      # Big5. A Unicode .reg file keeps the Chinese names independent of the code page.
      printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"SimHei"="WenQuanYi Micro Hei"\r\n"\xe9\xbb\x91\xe4\xbd\x93"="WenQuanYi Micro Hei"\r\n"\xe9\xbb\x91\xe9\xab\x94"="WenQuanYi Micro Hei"\r\n"Bold"="WenQuanYi Micro Hei"\r\n' \
        | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
      wine regedit "$reg" >/dev/null 2>&1
      rm -f "$reg"
      # Where 32-bit programs cannot run, wineboot cannot fill a 64-bit prefix's 32-bit registry
      # view, and 64-bit Windows names its 32-bit folders there (a 64-bit installer looks for
      # the 32-bit Program Files folder by them). Written as Windows has them.
      if [ "$QUORVANE_WINE_ARCH" = win64 ] &&
         ! wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /reg:32 >/dev/null 2>&1; then
        local name value
        for name in ProgramFilesDir CommonFilesDir "ProgramFilesDir (x86)" "CommonFilesDir (x86)"; do
          case $name in
            Program*) value='C:\Program Files (x86)' ;;
            *) value='C:\Program Files (x86)\Common Files' ;;
          esac
          wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v "$name" /d "$value" /f /reg:32 >/dev/null 2>&1
        done
      fi
      wineserver -w
      [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-env: wineboot made no prefix in $WINEPREFIX" >&2; exit 1; }
      touch "$WINEPREFIX/.quorvane-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Starts a session of an architecture; fails (with the reason on stderr) where this machine
# cannot run it.
wine_session_start() {
  local arch=${1:-${QUORVANE_WINE_ARCH:-win32}}
  if ! wine_arch_runs "$arch"; then
    echo "wine-env: cannot run $arch programs here: $wine_arch_reason" >&2
    return 1
  fi
  wine_use_arch "$arch" || return 1
  wine_xvfb_start || return 1
  wine_prefix_ensure || return 1
  if [ -z "${_wine_started_server}" ]; then
    wineserver -p && _wine_started_server=1
  fi
  # Start Wine's background services now, detached from our output: started by the first test
  # program instead, they would inherit its stdout and keep CTest waiting for the pipe to close.
  # It is also the first Windows program of the session: where it cannot run, nothing will.
  if ! wine cmd /c exit </dev/null >/dev/null 2>&1; then
    echo "wine-env: a $arch Windows program (cmd.exe) does not start in $WINEPREFIX" >&2
    return 1
  fi
}

wine_session_stop() {
  [ -n "$_wine_started_server" ] && { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; }
  [ -n "$_wine_xvfb_pid" ] && { kill "$_wine_xvfb_pid" 2>/dev/null; unset QUORVANE_DISPLAY; }
  _wine_started_server=
  _wine_xvfb_pid=
}

# Outside a session, the architecture named by the caller (or win32) is where `wine` points.
wine_use_arch "${QUORVANE_WINE_ARCH:-win32}"
