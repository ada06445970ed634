#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Phonoscale with warnings as errors and runs the whole test
# suite; then builds it again with AddressSanitizer and UndefinedBehaviorSanitizer and runs the
# suite there too. Set PHONOSCALE_SKIP_SANITIZE=1 for the first pass only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

jobs=$(nproc)
configure_and_build() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DPHONOSCALE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# A private sound server with a loop device for the tests that play and record for real, in this
# script's own folder unless PS_SOUND_DIR names one; only a server started here is stopped.
export PS_SOUND_DIR="${PS_SOUND_DIR:-${TMPDIR:-/tmp}/phonoscale-test-sound-$(id -u)}"
if [ -x scripts/sound-server.sh ]; then
  before=""
  scripts/sound-server.sh env >/dev/null 2>&1 && before=$(cat "$PS_SOUND_DIR/pulseaudio.pid")
  if server_env=$(scripts/sound-server.sh start); then
    eval "$server_env"
    if [ -z "$before" ] || [ "$before" != "$(cat "$PS_SOUND_DIR/pulseaudio.pid")" ]; then
      trap 'scripts/sound-server.sh stop >/dev/null 2>&1 || true' EXIT
    fi
  else
    echo "No sound server: the loop tests will be skipped."
  fi
fi

configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The cases on private JACK servers depend on a dummy server without real-time priority keeping
# time on a busy machine; a case that fails is run once more, and both runs are in the log.
ctest --test-dir build/release --output-on-failure --timeout 300 --repeat until-pass:2

# The fuzz targets (clang, libFuzzer) replay their corpora: every input that once found
# a fault must stay harmless.
FUZZ_BUILD_DIR="$root/build/fuzz" fuzz/run.sh replay

if [ "${PHONOSCALE_SKIP_SANITIZE:-0}" != 1 ]; then
  configure_and_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPHONOSCALE_SANITIZE=ON \
    -DPHONOSCALE_BENCH=OFF
  # Leak checking is off: the Qt platform plugins and fontconfig keep caches until exit.
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/sanitize --output-on-failure --timeout 600 --repeat until-pass:2
fi
