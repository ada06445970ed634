#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as built, started unattended (PHONOSCALE_SCREENSHOT) beside a memory file it
# refuses: the message goes to standard error with the file's name, the picture is saved, the
# run ends on its own within PHONOSCALE_RUN_SECONDS + 5 s, and the refused file stays as it was.
#   check_startup_messages.sh PROGRAM
set -euo pipefail
program="$(realpath "$1")"
work="$(mktemp -d /tmp/ps-startup-messages-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/phonoscale" # its folder keeps the settings and memory files
printf 'not a trace file\r\n' >"$work/mem1.s1p"
cp "$work/mem1.s1p" "$work/mem1.expected"

seconds=1
status=0
(cd "$work" && timeout $((seconds + 5)) env QT_QPA_PLATFORM=offscreen \
   PHONOSCALE_SCREENSHOT="$work/shot.png" PHONOSCALE_RUN_SECONDS=$seconds HOME="$work" \
   XDG_CONFIG_HOME="$work/config" PULSE_SERVER=unix:/nonexistent/pulse/native \
   ./phonoscale >"$work/out" 2>"$work/err") || status=$?
cat "$work/out" "$work/err"
if [ "$status" -eq 124 ]; then
  echo "the run did not end within $((seconds + 5)) s"
  exit 1
fi
[ "$status" -eq 0 ] || { echo "the run ended with status $status"; exit 1; }
grep -q "Saved a picture of the window" "$work/out" || { echo "no picture saved"; exit 1; }
grep -q "No frequency and level records found" "$work/err" || { echo "no message on standard error"; exit 1; }
grep -q "$work/mem1.s1p" "$work/err" || { echo "the message does not name the file"; exit 1; }
cmp -s "$work/mem1.s1p" "$work/mem1.expected" || { echo "the refused file was changed"; exit 1; }
echo "ended on its own with the message on standard error"
