#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run of the sound-card engine (not part of the test suite): plays and records the
# generator's sine through a private sound server's loop for a long time and reports gaps,
# CPU and memory of the program and of the server.
#
#   scripts/soak.sh [seconds] [rate] [sample-length]      defaults: 600 192000 64
#   BUILD_DIR=...  build folder holding tests/audio/audio_soak (default build/release)
#   SOAK_WINDOW=1  run the whole program window instead (tests/ui/window_soak on a virtual
#                  display): engines, pipeline, spectrum and scope painted in turn
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_TO_RUN="${1:-600}"
RATE="${2:-192000}"
SAMPLE_LENGTH="${3:-64}"
BUILD_DIR="${BUILD_DIR:-build/release}"
if [ "${SOAK_WINDOW:-0}" = 1 ]; then
  SOAK="$BUILD_DIR/tests/ui/window_soak"
  [ -x "$SOAK" ] || cmake --build "$BUILD_DIR" --target window_soak
else
  SOAK="$BUILD_DIR/tests/audio/audio_soak"
  [ -x "$SOAK" ] || cmake --build "$BUILD_DIR" --target audio_soak
fi

export PS_SOUND_DIR="${PS_SOUND_DIR:-/tmp/phonoscale-soak-$(id -u)}"
export PS_SOUND_RATE="$RATE"
eval "$(scripts/sound-server.sh start)"
trap 'scripts/sound-server.sh stop' EXIT
SERVER_PID="$(cat "$PS_SOUND_DIR/pulseaudio.pid")"

# CPU seconds (user + system) of a process, from /proc/PID/stat fields 14 and 15.
cpu_of() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"; }

server_cpu_before="$(cpu_of "$SERVER_PID")"
status=0
if [ "${SOAK_WINDOW:-0}" = 1 ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$SOAK" "$SECONDS_TO_RUN" "$((RATE / 1000))" "$SAMPLE_LENGTH" || status=$?
else
  "$SOAK" "$SECONDS_TO_RUN" "$RATE" "$SAMPLE_LENGTH" pulse 16 || status=$?
fi
server_cpu_after="$(cpu_of "$SERVER_PID")"
server_rss="$(awk '/VmRSS/ { print $2 }' "/proc/$SERVER_PID/status")"

awk -v a="$server_cpu_before" -v b="$server_cpu_after" -v s="$SECONDS_TO_RUN" -v r="$server_rss" \
  'BEGIN { printf "  sound server         %.1f s CPU = %.1f %% of one core, rss %d KiB\n", b - a, 100 * (b - a) / s, r }'
exit "$status"
