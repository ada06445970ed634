#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as built: with libmixtrel.so beside it, start-up sets the sound server's default
# source from 30 % (-31.37 dB) to 0 dB while it runs and gives the 30 % back when it closes; the
# same program alone in a folder leaves the level as it is. (pactl takes "-20dB" as a change.)
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
run() { # run PROGRAM [SECONDS]: start, save a picture, end; settings go to the run's own folder
  (cd "$work" && QT_QPA_PLATFORM=offscreen PHONOSCALE_SCREENSHOT="$work/shot.png" \
     PHONOSCALE_RUN_SECONDS="${2:-1}" HOME="$work" XDG_CONFIG_HOME="$work/config" "$1" \
     >/dev/null 2>&1)
}
all_within() { # all_within TARGET TOLERANCE: every channel of loop.monitor
  local l
  for l in $(level); do within "$l" "$1" "$2" || return 1; done
}

pactl set-source-volume loop.monitor 30%
run "$program" 2 &
runner=$!
running=""
while kill -0 "$runner" 2>/dev/null; do # while it runs (its window shows for 2 s)
  if all_within 0 0.5; then running="$(level | tr '\n' ' ')"; break; fi
  sleep 0.05
done
wait "$runner"
[ -n "$running" ] || { echo "with the library: loop.monitor never reached 0 dB"; exit 1; }
all_within -31.37 0.01 || { echo "with the library: loop.monitor at $(level) dB after closing"; exit 1; }
echo "with the library beside the program: loop.monitor ${running}dB while it runs," \
     "$(level | tr '\n' ' ')dB after it closed"

mkdir -p "$work/alone"
cp "$program" "$work/alone/"
pactl set-source-volume loop.monitor 50%
run "$work/alone/$(basename "$program")"
for l in $(level); do
  within "$l" -18.06 0.01 || { echo "without the library: loop.monitor changed to $l dB"; exit 1; }
done
echo "without the library: loop.monitor stays at $(level | tr '\n' ' ')dB"
