#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the X clipboard test on a private virtual X display. Exit 77 (skipped) without xvfb-run,
# xauth or xclip, or when the test itself skipped.
set -uo pipefail
test_program="$1"
for tool in xvfb-run xauth xclip; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
out=$(mktemp)
trap 'rm -f "$out"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$test_program" 2>&1 | tee "$out"
status=${PIPESTATUS[0]}
if [ "$status" -eq 0 ] && grep -q '^\[  SKIPPED \]' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; then
    exit 77
fi
exit "$status"
