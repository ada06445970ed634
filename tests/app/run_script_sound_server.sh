#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/run.sh and the private sound server: it uses its own folder unless PS_SOUND_DIR names
# one, and stops only a server it started itself. Runs a copy of run.sh with the real
# sound-server.sh, stubs for the build and the program, and a real PulseAudio.
# Usage: run_script_sound_server.sh SOURCE_DIR. Exit 77 (skipped) where run.sh would not start a
# server (a sound card) or PulseAudio is missing.
set -euo pipefail
src=$1
[ -d /dev/snd ] && { echo "skipped: this machine has a sound card"; exit 77; }
command -v pulseaudio >/dev/null && command -v pactl >/dev/null ||
    { echo "skipped: no PulseAudio"; exit 77; }

work=$(mktemp -d)
foreign=""
cleanup() {
    [ -n "$foreign" ] && PS_SOUND_DIR="$foreign" "$work/tree/scripts/sound-server.sh" stop || true
    PS_SOUND_DIR="$work/tmp/phonoscale-run-sound-$(id -u)" "$work/tree/scripts/sound-server.sh" \
        stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# The tree: the real run.sh and sound-server.sh; install-deps.sh and the build do nothing; the
# program writes the sound server it was given to $work/seen and ends.
mkdir -p "$work/tree/scripts" "$work/tree/build/release/src/app" "$work/bin" "$work/tmp" \
    "$work/runtime"
cp "$src/scripts/run.sh" "$src/scripts/sound-server.sh" "$work/tree/scripts/"
printf '#!/bin/sh\nexit 0\n' >"$work/tree/scripts/install-deps.sh"
printf '#!/bin/sh\necho "$PULSE_SERVER" >"%s/seen"\n' "$work" \
    >"$work/tree/build/release/src/app/phonoscale"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/cmake"
printf '#!/bin/sh\nexec cat /dev/zero\n' >"$work/bin/sox"
printf '#!/bin/sh\nexec cat >/dev/null\n' >"$work/bin/pacat"
# xvfb-run: drop its options, run the program.
printf '#!/bin/sh\nwhile [ "$#" -gt 0 ]; do case "$1" in -a) shift ;; -s) shift 2 ;; *) break ;; esac; done\nexec "$@"\n' \
    >"$work/bin/xvfb-run"
chmod +x "$work"/tree/scripts/*.sh "$work"/tree/build/release/src/app/phonoscale "$work"/bin/*

# No display and no sound server reachable from the outside environment.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u PULSE_SERVER -u PS_SOUND_DIR XDG_RUNTIME_DIR="$work/runtime" \
        TMPDIR="$work/tmp" PATH="$work/bin:$PATH" PHONOSCALE_SCREENSHOT="$work/shot.png" \
        "$@" "$work/tree/scripts/run.sh" >"$work/out" 2>&1 || { cat "$work/out"; return 1; }
}
running() { PS_SOUND_DIR="$1" "$work/tree/scripts/sound-server.sh" env >/dev/null 2>&1; }
fail() { echo "FAIL: $*"; cat "$work/out"; exit 1; }

# 1. A server someone else started in the folder PS_SOUND_DIR names: used, and left running.
foreign="$work/foreign"
eval "$(PS_SOUND_DIR="$foreign" "$work/tree/scripts/sound-server.sh" start)"
unset PULSE_SERVER XDG_RUNTIME_DIR
before=$(cat "$foreign/pulseaudio.pid")
run PS_SOUND_DIR="$foreign"
grep -q "$foreign/runtime" "$work/seen" || fail "the program was not given the running server"
running "$foreign" || fail "run.sh stopped a sound server it had not started"
[ "$(cat "$foreign/pulseaudio.pid")" = "$before" ] || fail "run.sh replaced the running server"
grep -q "started a private sound server" "$work/out" && fail "run.sh claims to have started it"

# 2. Without PS_SOUND_DIR: its own folder, not the shared default one, and its server stopped.
default_dir="/tmp/phonoscale-sound-$(id -u)"
own="$work/tmp/phonoscale-run-sound-$(id -u)"
run
grep -q "$default_dir" "$work/seen" && fail "run.sh used the shared default folder"
grep -q "$own/runtime" "$work/seen" || fail "run.sh did not use its own folder: $(cat "$work/seen")"
grep -q "started a private sound server" "$work/out" || fail "run.sh did not say it started one"
running "$own" && fail "run.sh left the server it started running"
running "$foreign" || fail "the other server is gone"
echo "run.sh leaves other servers alone and stops its own"
