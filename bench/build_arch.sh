# Sourced by the bench scripts: the Windows architecture a program was built for, "win32" or
# "win64", from the machine field of its PE header, so that a script runs a build folder's
# programs under the Wine of that architecture (wine_session_start ARCH), and says which.
build_arch() {
  local header machine=
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ "$(head -c2 "$1" 2>/dev/null)" = MZ ] && [ -n "$header" ] \
    && machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$machine" ] || { echo "build_arch: $1 is not a Windows program" >&2; return 1; }
  case $machine in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) echo "build_arch: $1 is for machine 0x$machine, neither i686 nor x86_64" >&2; return 1 ;;
  esac
}
