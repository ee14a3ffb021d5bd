#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as root).
# A second run finds everything present and installs nothing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_update_needed=1
fi

pkgs=(cmake g++ make clang libclang-rt-14-dev googletest
      g++-mingw-w64-i686-posix mingw-w64-i686-dev
      wine wine32:i386 xvfb xdotool x11-utils imagemagick fonts-wqy-microhei
      python3 libc-bin locales nsis pandoc gnuplot-nox
      nlohmann-json3-dev vlc-bin vlc-plugin-base ffmpeg)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
else
  echo "install-deps: everything present"
fi
