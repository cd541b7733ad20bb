#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts and stops the JACK server the MIDI tests talk through: the dummy back end, so
# no sound card is needed. A server that already runs is used as it is and left alone.
#   jack-fixture.sh start STATE_DIR
#   jack-fixture.sh stop STATE_DIR
# Never waits without a bound and never asks for anything.
set -u
action=${1:-}
state=${2:-}
if [ -z "$action" ] || [ -z "$state" ]; then
  echo "usage: jack-fixture.sh start|stop STATE_DIR" >&2
  exit 2
fi

# "running" when a server answers; never starts one.
server_answers() {
  [ "$(JACK_NO_START_SERVER=1 timeout 5 jack_wait -c 2>/dev/null)" = "running" ]
}

is_our_jackd() {
  local pid=$1
  [ -n "$pid" ] && [ -r "/proc/$pid/comm" ] && grep -q '^jackd' "/proc/$pid/comm"
}

case "$action" in
start)
  mkdir -p "$state"
  rm -f "$state/pid" "$state/reused"
  for tool in jackd jack_wait; do
    if ! command -v "$tool" >/dev/null; then
      echo "jack-fixture: $tool is not installed (package jackd2)" >&2
      exit 1
    fi
  done
  if server_answers; then
    echo "jack-fixture: using the JACK server that is already running"
    touch "$state/reused"
    exit 0
  fi
  # Its own session, its output in a file and no terminal: CTest must not wait for it.
  setsid jackd --no-realtime --sync -d dummy -r 48000 -p 1024 >"$state/jackd.log" 2>&1 </dev/null &
  pid=$!
  echo "$pid" >"$state/pid"
  for _ in $(seq 1 100); do
    if server_answers; then
      echo "jack-fixture: JACK server started (process $pid)"
      exit 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "jack-fixture: jackd stopped at once:" >&2
      cat "$state/jackd.log" >&2
      rm -f "$state/pid"
      exit 1
    fi
    sleep 0.1
  done
  echo "jack-fixture: the JACK server did not answer within 10 seconds:" >&2
  cat "$state/jackd.log" >&2
  kill -KILL "$pid" 2>/dev/null
  rm -f "$state/pid"
  exit 1
  ;;
stop)
  if [ -e "$state/reused" ]; then
    rm -f "$state/reused"
    exit 0
  fi
  pid=$(cat "$state/pid" 2>/dev/null || true)
  rm -f "$state/pid"
  if ! is_our_jackd "$pid"; then
    exit 0
  fi
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 1 50); do
    is_our_jackd "$pid" || exit 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  exit 0
  ;;
*)
  echo "usage: jack-fixture.sh start|stop STATE_DIR" >&2
  exit 2
  ;;
esac
