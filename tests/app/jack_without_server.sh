#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program with --engine=jack and no JACK server: it starts, shows its window, saves a picture
# and ends, and the JACK library has printed nothing.
# Usage: jack_without_server.sh PROGRAM
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
QT_QPA_PLATFORM=offscreen PHONOSCALE_SCREENSHOT="$dir/shot.png" PHONOSCALE_RUN_SECONDS=1 \
  JACK_DEFAULT_SERVER="ps-no-server-$$" PULSE_SERVER=unix:/nonexistent/pulse/native \
  timeout 40 "$1" --engine=jack >"$dir/out" 2>"$dir/err"
grep -q "Saved a picture of the window" "$dir/out" || { echo "no picture saved"; cat "$dir/out" "$dir/err"; exit 1; }
if grep -i -E "jack|cannot connect|server" "$dir/err"; then
  echo "FAIL: the JACK library printed on stderr"
  exit 1
fi
echo "started and ended quietly"
