#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Phonoscale and starts it.
#
# On a machine without a sound card or sound server it starts a private sound server with a loop
# device and plays a test signal into it (a 1 kHz sine at -6 dBFS), so the program measures
# something real. Without a display it runs the program on a virtual display, starts measuring,
# saves a picture of the Spectrum tab after a few seconds and says where it is.
#
# Environment: PHONOSCALE_SCREENSHOT=FILE saves a picture of the window to FILE and ends;
# PHONOSCALE_RUN_SECONDS (default 8) is how long it measures first; PHONOSCALE_DEMO=1 starts
# measuring at once on the Spectrum tab; PS_SOUND_DIR is the private sound server's folder
# (default: this script's own, ${TMPDIR:-/tmp}/phonoscale-run-sound-$UID). A server already
# running in that folder is used and left running; only a server started here is stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export PS_SOUND_DIR="${PS_SOUND_DIR:-${TMPDIR:-/tmp}/phonoscale-run-sound-$(id -u)}"

scripts/install-deps.sh
cmake -S "$root" -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target phonoscale

program="$root/build/release/src/app/phonoscale"
player=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  [ -n "${private_server:-}" ] && scripts/sound-server.sh stop >/dev/null 2>&1 || true
}
trap cleanup EXIT

if ! pactl info >/dev/null 2>&1 && [ ! -d /dev/snd ]; then
  before=""
  scripts/sound-server.sh env >/dev/null 2>&1 && before=$(cat "$PS_SOUND_DIR/pulseaudio.pid")
  eval "$(scripts/sound-server.sh start)"
  if [ -n "$before" ] && [ "$before" = "$(cat "$PS_SOUND_DIR/pulseaudio.pid")" ]; then
    echo "No sound card: using the private sound server already running in $PS_SOUND_DIR."
  else
    private_server=1
    echo "No sound card: started a private sound server with a loop device."
  fi
  # The test signal plays into the loop; the program captures the loop's monitor.
  sox -q -n -r 48000 -c 2 -b 16 -e signed-integer -t raw - synth 3600 sine 1000 vol 0.5 |
    pacat --raw --rate=48000 --channels=2 --format=s16le --device=loop &
  player=$!
  echo "Playing a 1 kHz sine at -6 dBFS into it."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export PHONOSCALE_DEMO=1
  export PHONOSCALE_SCREENSHOT="${PHONOSCALE_SCREENSHOT:-$root/build/phonoscale-spectrum.png}"
  export PHONOSCALE_RUN_SECONDS="${PHONOSCALE_RUN_SECONDS:-8}"
  echo "No display: measuring on a virtual display for ${PHONOSCALE_RUN_SECONDS} s."
  xvfb-run -a -s "-screen 0 1280x1024x24" "$program"
  echo "The Spectrum tab after ${PHONOSCALE_RUN_SECONDS} s of measuring: $PHONOSCALE_SCREENSHOT"
else
  "$program"
fi
