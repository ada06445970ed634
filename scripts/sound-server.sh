#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts and stops a private user-space PulseAudio with a null sink "loop" for the audio tests.
#
#   scripts/sound-server.sh start   start the server (does nothing if ours is already running),
#                                   wait until it answers, print the environment to export
#   scripts/sound-server.sh env     print the environment of the running server (exit 1 if none)
#   scripts/sound-server.sh stop    stop it (does nothing if it is not running)
#
# Use:   eval "$(scripts/sound-server.sh start)"  ...  scripts/sound-server.sh stop
#
# Settings (environment):
#   PS_SOUND_DIR   state folder: runtime dir, PID file and log (default /tmp/phonoscale-sound-$UID)
#   PS_SOUND_RATE  sample rate of the null sink in Hz (default 48000)
#   PS_SOUND_FORMAT  sample format of the null sink (default: the server's, s16le; s32le
#                  carries 24-bit samples through the loop unchanged)
#   PS_SOUND_WATCH_PID  stop the server when this process ends (tests that may crash)
# ALSA's "pulse" and "default" devices then play into the sink and capture from its monitor.
set -euo pipefail

DIR="${PS_SOUND_DIR:-/tmp/phonoscale-sound-$(id -u)}"
RATE="${PS_SOUND_RATE:-48000}"
FORMAT="${PS_SOUND_FORMAT:+ format=$PS_SOUND_FORMAT}"
RUNTIME="$DIR/runtime"
PIDFILE="$DIR/pulseaudio.pid"
LOG="$DIR/pulseaudio.log"
SOCKET="$RUNTIME/pulse/native"

print_env() {
  echo "export XDG_RUNTIME_DIR='$RUNTIME'"
  echo "export PULSE_SERVER='unix:$SOCKET'"
}

running_pid() {
  [ -f "$PIDFILE" ] || return 1
  local pid
  pid="$(cat "$PIDFILE")"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
  echo "$pid"
}

answers() {
  XDG_RUNTIME_DIR="$RUNTIME" PULSE_SERVER="unix:$SOCKET" timeout 2 pactl info >/dev/null 2>&1
}

start() {
  if running_pid >/dev/null && answers; then
    print_env
    return 0
  fi
  stop_server
  mkdir -p "$RUNTIME"
  chmod 700 "$DIR" "$RUNTIME"
  # The server is started in its own session so that it outlives this script.
  XDG_RUNTIME_DIR="$RUNTIME" setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --enable-memfd=no --disable-shm=yes --log-target=stderr --log-level=error \
    --load="module-null-sink sink_name=loop rate=$RATE channels=2 norewinds=1$FORMAT" \
    --load="module-native-protocol-unix auth-anonymous=1" \
    </dev/null >"$LOG" 2>&1 &
  echo $! >"$PIDFILE"
  if [ -n "${PS_SOUND_WATCH_PID:-}" ]; then
    # Stops the server once the watched process is gone (checked every second).
    setsid bash -c 'while kill -0 "$1" 2>/dev/null && kill -0 "$2" 2>/dev/null; do sleep 1; done
                    kill -CONT "$2" 2>/dev/null; kill "$2" 2>/dev/null' _ "$PS_SOUND_WATCH_PID" "$(cat "$PIDFILE")" \
      </dev/null >/dev/null 2>&1 &
  fi
  for _ in $(seq 1 200); do # up to 10 s
    if answers; then
      print_env
      return 0
    fi
    if ! running_pid >/dev/null; then
      break
    fi
    sleep 0.05
  done
  echo "sound-server.sh: PulseAudio did not start; log follows:" >&2
  cat "$LOG" >&2 || true
  stop_server
  return 1
}

stop_server() {
  local pid
  if pid="$(running_pid)"; then
    kill -CONT "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do # up to 5 s, then force
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$PIDFILE"
}

case "${1:-}" in
  start) start ;;
  stop) stop_server ;;
  env)
    if running_pid >/dev/null; then print_env; else
      echo "sound-server.sh: not running" >&2
      exit 1
    fi ;;
  *)
    echo "usage: $0 start|stop|env" >&2
    exit 2 ;;
esac
