#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts and stops a private JACK server on the dummy backend (no sound card, no real-time
# privileges) for the low-latency engine's tests and soak runs.
#
#   scripts/jack-server.sh start   start the server (does nothing if ours is already running),
#                                  wait until it answers, print the environment to export
#   scripts/jack-server.sh env     print the environment of the running server (exit 1 if none)
#   scripts/jack-server.sh stop    stop it (does nothing if it is not running)
#
# Use:   eval "$(scripts/jack-server.sh start)"  ...  scripts/jack-server.sh stop
#
# Settings (environment):
#   PS_JACK_DIR     state folder: PID file and log (default /tmp/phonoscale-jack-$UID)
#   PS_JACK_RATE    sample rate in Hz (default 48000)
#   PS_JACK_PERIOD  frames per period (default 256)
#   PS_JACK_WATCH_PID  stop the server when this process ends (tests that may crash)
# The server's name is derived from the folder, so servers of different folders never meet;
# every JACK client of the printed environment (ours, jack_lsp, a test client) talks to it.
set -euo pipefail

DIR="${PS_JACK_DIR:-/tmp/phonoscale-jack-$(id -u)}"
RATE="${PS_JACK_RATE:-48000}"
PERIOD="${PS_JACK_PERIOD:-256}"
PIDFILE="$DIR/jackd.pid"
LOG="$DIR/jackd.log"
NAME="ps-jack-$(printf '%s' "$DIR" | cksum | cut -d' ' -f1)"

print_env() {
  echo "export JACK_DEFAULT_SERVER='$NAME'"
  echo "export JACK_NO_START_SERVER='1'"
  echo "export JACK_NO_AUDIO_RESERVATION='1'"
}

running_pid() {
  [ -f "$PIDFILE" ] || return 1
  local pid
  pid="$(cat "$PIDFILE")"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
  echo "$pid"
}

answers() {
  JACK_DEFAULT_SERVER="$NAME" JACK_NO_START_SERVER=1 timeout 2 jack_lsp >/dev/null 2>&1
}

start() {
  command -v jackd >/dev/null 2>&1 || {
    echo "jack-server.sh: jackd is not installed" >&2
    return 1
  }
  if running_pid >/dev/null && answers; then
    print_env
    return 0
  fi
  stop_server
  mkdir -p "$DIR"
  # Its own session, so that it outlives this script; no real-time scheduling.
  JACK_NO_AUDIO_RESERVATION=1 setsid jackd --no-realtime -n "$NAME" -d dummy -r "$RATE" \
    -p "$PERIOD" </dev/null >"$LOG" 2>&1 &
  echo $! >"$PIDFILE"
  if [ -n "${PS_JACK_WATCH_PID:-}" ]; then
    setsid bash -c 'while kill -0 "$1" 2>/dev/null && kill -0 "$2" 2>/dev/null; do sleep 1; done
                    kill -CONT "$2" 2>/dev/null; kill "$2" 2>/dev/null' _ "$PS_JACK_WATCH_PID" "$(cat "$PIDFILE")" \
      </dev/null >/dev/null 2>&1 &
  fi
  for _ in $(seq 1 200); do # up to 10 s
    if answers; then
      print_env
      return 0
    fi
    running_pid >/dev/null || break
    sleep 0.05
  done
  echo "jack-server.sh: jackd did not start; log follows:" >&2
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
      echo "jack-server.sh: not running" >&2
      exit 1
    fi ;;
  *)
    echo "usage: $0 start|stop|env" >&2
    exit 2 ;;
esac
