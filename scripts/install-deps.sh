#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages needed to build, run and test Phonoscale.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

PACKAGES=(
  cmake make ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev libgl-dev libxcb1-dev
  libasound2-dev libasound2-plugins alsa-utils libsndfile1-dev libebur128-dev
  libpulse-dev pulseaudio pulseaudio-utils
  libjack-jackd2-dev jackd2
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev nlohmann-json3-dev
  sox xvfb xauth xclip fonts-dejavu-core
  dpkg-dev file desktop-file-utils appstream help2man lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  # jackd2 asks about realtime priority; answer it without a terminal.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
