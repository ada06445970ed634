#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as built, started on damaged files of its own in a screenshot run: it must neither
# abort nor lose what the files hold.
#   startup_files.sh PROGRAM CASE
# CASE: settings-folder  "Phonoscale.ini" is a folder: the run ends, the folder stays, the
#                        private file is written.
#       memory-long-line "mem1.s1p" has an over-long line after record 65 of 500: the file is
#                        the same after the run.
#       memory-two-port  the same with a two-port line after record 65 (read quietly).
# A screenshot run prints its start-up messages on standard error and never waits in a box.
set -uo pipefail
program="$(realpath "$1")"
case="$2"
work="$(mktemp -d /tmp/ps-startup-files-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/"
exe="$work/$(basename "$program")"

records() { # records FROM TO: one-port records, CR LF
    for ((i = $1; i <= $2; i++)); do printf '%d 0.5 0\r\n' "$i"; done
}
case "$case" in
settings-folder)
    mkdir "$work/Phonoscale.ini"
    ;;
memory-long-line)
    { printf '# Hz S MA R 50\r\n'; records 1 65; head -c 70000 /dev/zero | tr '\0' '7'
      printf '\r\n'; records 67 500; } >"$work/mem1.s1p"
    ;;
memory-two-port)
    { printf '# Hz S MA R 50\r\n'; records 1 65; printf '66 0.5 0 0.5 0 0.5 0 0.5 0\r\n'
      records 67 500; } >"$work/mem1.s1p"
    ;;
*) echo "unknown case $case"; exit 2 ;;
esac
[ -f "$work/mem1.s1p" ] && cp "$work/mem1.s1p" "$work/mem1.before"

(cd "$work" && QT_QPA_PLATFORM=offscreen PHONOSCALE_SCREENSHOT="$work/shot.png" \
    PHONOSCALE_RUN_SECONDS=1 HOME="$work" XDG_CONFIG_HOME="$work/config" \
    PULSE_SERVER=unix:/nonexistent/pulse/native timeout 10 "$exe" >"$work/out" 2>"$work/err")
status=$?
if grep -q "terminate called" "$work/err" || { [ "$status" -ge 128 ] && [ "$status" -ne 124 ]; }; then
    echo "FAIL: the program died (exit status $status)"; cat "$work/err"; exit 1
fi
if [ "$status" -eq 124 ]; then
    echo "FAIL: the run did not end"; cat "$work/err"; exit 1
fi
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; cat "$work/out" "$work/err"; exit 1; }
grep -q "Saved a picture of the window" "$work/out" || { echo "FAIL: no picture"; exit 1; }

case "$case" in
settings-folder)
    [ -d "$work/Phonoscale.ini" ] || { echo "FAIL: the folder Phonoscale.ini was replaced"; exit 1; }
    grep -q "SoundDeviceName=" "$work/PhonoscalePrivate.ini" ||
        { echo "FAIL: PhonoscalePrivate.ini was not written"; exit 1; }
    grep -q "Phonoscale.ini" "$work/err" && grep -q "Is a directory" "$work/err" ||
        { echo "FAIL: no message naming the file and the reason"; cat "$work/err"; exit 1; }
    ;;
memory-*)
    cmp -s "$work/mem1.before" "$work/mem1.s1p" ||
        { echo "FAIL: mem1.s1p changed: $(grep -c . "$work/mem1.s1p") lines now"; exit 1; }
    ;;
esac
echo "PASS: $case"
