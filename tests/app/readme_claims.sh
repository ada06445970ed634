#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The README names only what exists: its scripts and documents are there, the environment
# variables it names are read by the program or the scripts, and features it claims outside its
# "Not built yet" paragraph have code behind them.
# Usage: readme_claims.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

for path in $(grep -oE '(scripts|docs|fuzz|\.ci)/[A-Za-z0-9_./-]+' README.md | sed 's/[.,]$//' | sort -u); do
    [ -e "$path" ] || fail "README names $path, which does not exist"
done
for var in $(grep -oE '\b(PHONOSCALE|PS)_[A-Z_]+' README.md | sort -u); do
    case $var in PHONOSCALE_ONLY | PHONOSCALE_WERROR | PHONOSCALE_SANITIZE | PHONOSCALE_BENCH)
        grep -rq "$var" CMakeLists.txt cmake || fail "README names $var, no build option reads it"
        continue ;;
    esac
    grep -rq "$var" src scripts || fail "README names $var, nothing reads it"
done

# Features and the code that shows they are built: a phrase may stand in the README outside the
# "Not built yet" paragraph only when its evidence is found in src/.
claims=$(awk '/^Not built yet:/ { skip = 1 } skip && /^$/ { skip = 0; next } !skip' README.md |
    tr '\n' ' ' | tr 'A-Z' 'a-z')
check() {
    local phrase=$1 evidence=$2
    if grep -qF -- "$phrase" <<<"$claims" && ! grep -rqE -- "$evidence" src; then
        fail "README claims \"$phrase\" but src has no $evidence"
    fi
}
check "peak recorder" "class TPeakTab"
check "peak frequency and level recorder" "class TPeakTab"
check "detector test" "class TDetectorTab"
check "input level library" "openCodec"
check "settings and memory traces live" "WriteSettings"
check "settings files" "WriteSettings"
check "memory traces" "\\.s1p\""
check "vector voltmeter" "class TVectorVoltmeter"
check "touchstone" "\\.s1p\""
check "to the clipboard" "clipboard\\(\\)->setImage"
exit $status
