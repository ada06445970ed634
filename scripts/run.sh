#!/usr/bin/env bash
# Installs what is missing, builds Phonoscale and starts it.
#
# On a machine without a sound card or without a display it makes its own: a private sound
# server with a loop device (the program then measures what is played into the loop), and a
# virtual X display. With PHONOSCALE_SCREENSHOT=FILE it saves a picture of the window there after
# PHONOSCALE_RUN_SECONDS (default 8) seconds and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh
cmake -S "$root" -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPHONOSCALE_TESTS=OFF -DPHONOSCALE_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target phonoscale

program=(build/release/src/app/phonoscale)

# No sound server and no sound card: start a private server with a loop device.
if ! pactl info >/dev/null 2>&1 && [ ! -d /dev/snd ] && [ -x scripts/sound-server.sh ]; then
  eval "$(scripts/sound-server.sh start)"
  trap 'scripts/sound-server.sh stop >/dev/null 2>&1 || true' EXIT
  echo "Started a private sound server with a loop device."
fi

if [ -n "${PHONOSCALE_SCREENSHOT:-}" ]; then
  export PHONOSCALE_SCREENSHOT PHONOSCALE_RUN_SECONDS="${PHONOSCALE_RUN_SECONDS:-8}"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running on a virtual X display."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "${program[@]}"
fi
exec "${program[@]}"
