#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run of the external four-ADC hand-over under ThreadSanitizer (not part of the test
# suite): the stand-in library's thread feeds the lock-free ring for several minutes while the
# main thread drains it, is now and then too slow (lost blocks) and restarts the source. Builds
# a Qt-free tree with PHONOSCALE_TSAN in build/tsan, runs the external ADC tests there, then the
# soak; any race report ends it with a failure.
#
#   scripts/adc-soak.sh [seconds] [rate] [speed]      defaults: 300 192000 8
#   BUILD_DIR=...  the ThreadSanitizer tree (default build/tsan)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_TO_RUN="${1:-300}"
RATE="${2:-192000}"
SPEED="${3:-8}"
BUILD_DIR="${BUILD_DIR:-build/tsan}"

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPHONOSCALE_TSAN=ON \
    -DPHONOSCALE_BENCH=OFF -DPHONOSCALE_ONLY="dsp;expr;audio;files;instruments"
fi
cmake --build "$BUILD_DIR" --target adc_soak test_external_adc

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$BUILD_DIR/tests/audio/test_external_adc"
"$BUILD_DIR/tests/audio/adc_soak" "$SECONDS_TO_RUN" "$RATE" "$SPEED"
