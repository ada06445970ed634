#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run of the Spectrogram and Octave Bands tabs (not part of the test suite): the program
# window samples a private sound server's loop for a long time with the spectrogram recording
# and reports its resident memory every minute (it must stay flat once the first minute is over).
#
#   scripts/soak-views.sh [seconds] [rate] [sample-length]      defaults: 600 192000 64
#   BUILD_DIR=...  build folder holding tests/ui/views_soak (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_TO_RUN="${1:-600}"
RATE="${2:-192000}"
SAMPLE_LENGTH="${3:-64}"
BUILD_DIR="${BUILD_DIR:-build/release}"
SOAK="$BUILD_DIR/tests/ui/views_soak"
[ -x "$SOAK" ] || cmake --build "$BUILD_DIR" --target views_soak

export PS_SOUND_DIR="${PS_SOUND_DIR:-/tmp/phonoscale-views-soak-$(id -u)}"
export PS_SOUND_RATE="$RATE"
eval "$(scripts/sound-server.sh start)"
trap 'scripts/sound-server.sh stop' EXIT

if [ -n "${DISPLAY:-}" ]; then
  "$SOAK" "$SECONDS_TO_RUN" "$((RATE / 1000))" "$SAMPLE_LENGTH"
elif command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$SOAK" "$SECONDS_TO_RUN" "$((RATE / 1000))" "$SAMPLE_LENGTH"
else
  QT_QPA_PLATFORM=offscreen "$SOAK" "$SECONDS_TO_RUN" "$((RATE / 1000))" "$SAMPLE_LENGTH"
fi
