#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as root).
# A second run finds everything present and installs nothing.
#
# Both Wines are installed: 64-bit Wine runs the x86_64 build everywhere; 32-bit Wine
# (wine32:i386) runs the i686 build where the kernel runs 32-bit programs. Where it cannot be
# installed, the scripts that need it say so when they check what this machine runs.
set -euo pipefail

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
export DEBIAN_FRONTEND=noninteractive
updated=
install() {
  [ -n "$updated" ] || { apt-get update -qq; updated=1; }
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

pkgs=(cmake g++ make clang libclang-rt-14-dev googletest
      g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      wine wine64 xvfb xdotool x11-utils imagemagick fonts-wqy-microhei
      python3 libc-bin locales nsis pandoc gnuplot-nox
      nlohmann-json3-dev vlc-bin vlc-plugin-base mpv ffmpeg)
need=()
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  install "${need[@]}"
fi

if ! have wine32:i386; then
  dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; updated=; }
  echo "install-deps: installing wine32:i386"
  install wine32:i386 || echo "install-deps: wine32:i386 could not be installed; 32-bit programs will not run here"
  need+=(wine32:i386)
fi
# The WebVTT conformance test runs the W3C's reference parser from npm. Any Node.js with npm will
# do (one from nodesource has npm inside and no Debian package of that name).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "install-deps: installing nodejs npm"
  install nodejs npm
  need+=(nodejs npm)
fi
[ ${#need[@]} -gt 0 ] || echo "install-deps: everything present"
