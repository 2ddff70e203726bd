#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
# fonts-noto-cjk: the layout tests measure real Japanese glyphs, not boxes.
pkgs=(cmake g++ make pkg-config qtbase5-dev qttools5-dev qttools5-dev-tools
      libtiff-dev libfftw3-dev libbenchmark-dev xvfb xauth qt5-image-formats-plugins
      fonts-noto-cjk)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
