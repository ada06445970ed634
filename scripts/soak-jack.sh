#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run of the low-latency engine (not part of the test suite): a private JACK server on the
# dummy backend, a tone client looped through our ports, for a long time; reports gaps, level,
# CPU and memory of the program and of the server.
#
#   scripts/soak-jack.sh [seconds] [period] [sample-length]     defaults: 600 64 64
#   BUILD_DIR=...  build folder holding tests/audio/jack_soak (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_TO_RUN="${1:-600}"
PERIOD="${2:-64}"
SAMPLE_LENGTH="${3:-64}"
BUILD_DIR="${BUILD_DIR:-build/release}"
SOAK="$BUILD_DIR/tests/audio/jack_soak"
[ -x "$SOAK" ] || cmake --build "$BUILD_DIR" --target jack_soak

export PS_JACK_DIR="${PS_JACK_DIR:-/tmp/phonoscale-jack-soak-$(id -u)}"
export PS_JACK_RATE=48000 PS_JACK_PERIOD="$PERIOD"
eval "$(scripts/jack-server.sh start)"
trap 'scripts/jack-server.sh stop' EXIT
SERVER_PID="$(cat "$PS_JACK_DIR/jackd.pid")"

# CPU seconds (user + system) of a process, from /proc/PID/stat fields 14 and 15.
cpu_of() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"; }

server_cpu_before="$(cpu_of "$SERVER_PID")"
echo "JACK server at 48000 Hz, period $PERIOD frames"
status=0
"$SOAK" "$SECONDS_TO_RUN" "$SAMPLE_LENGTH" || status=$?
server_cpu_after="$(cpu_of "$SERVER_PID")"
server_rss="$(awk '/VmRSS/ { print $2 }' "/proc/$SERVER_PID/status")"
awk -v a="$server_cpu_before" -v b="$server_cpu_after" -v s="$SECONDS_TO_RUN" -v r="$server_rss" \
  'BEGIN { printf "  JACK server          %.1f s CPU = %.1f %% of one core, rss %d KiB\n", b - a, 100 * (b - a) / s, r }'
exit "$status"
