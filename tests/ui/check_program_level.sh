#!/usr/bin/env bash
# The program as built: with libmixtrel.so beside it, start-up sets the sound server's default
# source from -20 dB to 0 dB; the same program alone in a folder leaves the level as it is.
#   check_program_level.sh PROGRAM SCRIPTS_DIR        (exit 77: no sound server, skipped)
set -euo pipefail
program="$(realpath "$1")"
scripts="$(realpath "$2")"
command -v pulseaudio >/dev/null 2>&1 || exit 77
work="$(mktemp -d /tmp/ps-program-level-XXXXXX)"
export PS_SOUND_DIR="$work/sound" PS_SOUND_WATCH_PID=$$
cleanup() { "$scripts/sound-server.sh" stop || true; rm -rf "$work"; }
trap cleanup EXIT
eval "$("$scripts/sound-server.sh" start)" || exit 77

level() { pactl get-source-volume loop.monitor | grep -o -- '-\?[0-9.]* dB' | head -2 | tr -d ' dB'; }
within() { # within LEVEL TARGET TOLERANCE
  awk -v l="$1" -v t="$2" -v d="$3" 'BEGIN { exit !((l - t) <= d && (t - l) <= d) }'
}
run() { # run PROGRAM: start, save a picture, end; settings go to the run's own folder
  (cd "$work" && QT_QPA_PLATFORM=offscreen PHONOSCALE_SCREENSHOT="$work/shot.png" \
     PHONOSCALE_RUN_SECONDS=1 HOME="$work" XDG_CONFIG_HOME="$work/config" "$1" >/dev/null 2>&1)
}

pactl set-source-volume loop.monitor -20dB
run "$program"
for l in $(level); do
  within "$l" 0 0.5 || { echo "with the library: loop.monitor at $l dB, not 0 dB"; exit 1; }
done
echo "with the library beside the program: loop.monitor $(level | tr '\n' ' ')dB"

mkdir -p "$work/alone"
cp "$program" "$work/alone/"
pactl set-source-volume loop.monitor -20dB
run "$work/alone/$(basename "$program")"
for l in $(level); do
  within "$l" -20 0.01 || { echo "without the library: loop.monitor changed to $l dB"; exit 1; }
done
echo "without the library: loop.monitor stays at $(level | tr '\n' ' ')dB"
