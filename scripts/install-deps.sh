#!/usr/bin/env bash
# Installs the Debian 12 packages Varlo needs to build, test and run (only what is missing).
set -euo pipefail
packages=(build-essential cmake g++ clang libclang-rt-14-dev qt6-base-dev qt6-svg-dev libgl-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
          fonts-liberation ns2 xvfb xauth imagemagick librsvg2-bin slurm-wlm munge
          libmagickcore-6.q16-6-extra gsfonts)
# The metafile tests open our .wmf output in ImageMagick: its WMF reader lives in the "extra"
# codecs and draws text with the gsfonts faces; without them convert refuses every metafile.
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
