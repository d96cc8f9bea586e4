#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent and
# silent when everything is already there. Recommended packages come too:
# Xvfb needs the fonts it recommends to start, and Wine its fonts to draw.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
      mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686
      wine wine64 xvfb xauth xdotool socat imagemagick binutils srecord hyperfine
      zip python3 procps)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "bootstrap: installing ${missing[*]}"
SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q >/dev/null
$SUDO apt-get install -y -q "${missing[@]}" >/dev/null
