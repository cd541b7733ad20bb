#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts and stops a private PipeWire session for the MIDI tests that run a second time
# through PipeWire's JACK layer (pw-jack): its own D-Bus session bus, pipewire and
# wireplumber, in a runtime folder of its own, so that no desktop session is touched
# and no other test run shares it. PipeWire's dummy driver runs the graph, so no sound
# card is needed.
#   pipewire-fixture.sh start STATE_DIR RUNTIME_DIR
#   pipewire-fixture.sh stop STATE_DIR RUNTIME_DIR
# Never waits without a bound and never asks for anything.
set -u
action=${1:-}
state=${2:-}
runtime=${3:-}
if [ -z "$action" ] || [ -z "$state" ] || [ -z "$runtime" ]; then
  echo "usage: pipewire-fixture.sh start|stop STATE_DIR RUNTIME_DIR" >&2
  exit 2
fi

# The session's processes all run in the process group of the dbus-run-session that
# leads it; the group is stopped as a whole.
session_alive() {
  local pid=$1
  [ -n "$pid" ] && { kill -0 "$pid" 2>/dev/null || kill -0 -- "-$pid" 2>/dev/null; }
}

stop_session() {
  local pid
  pid=$(cat "$state/pid" 2>/dev/null || true)
  rm -f "$state/pid"
  session_alive "$pid" || return 0
  kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 1 50); do
    session_alive "$pid" || return 0
    sleep 0.1
  done
  kill -KILL -- "-$pid" 2>/dev/null
  return 0
}

# True when a JACK client gets in through PipeWire's JACK layer.
answers() {
  XDG_RUNTIME_DIR="$runtime" JACK_NO_START_SERVER=1 timeout 5 pw-jack jack_lsp >/dev/null 2>&1
}

case "$action" in
start)
  mkdir -p "$state"
  stop_session     # one left behind by a run that was cut short
  for tool in pipewire wireplumber pw-jack dbus-run-session jack_lsp; do
    if ! command -v "$tool" >/dev/null; then
      echo "pipewire-fixture: $tool is not installed (packages pipewire pipewire-bin" \
           "pipewire-jack wireplumber dbus jackd2)" >&2
      exit 1
    fi
  done
  rm -rf "$runtime"
  mkdir -p "$runtime" && chmod 700 "$runtime" || { echo "pipewire-fixture: cannot make $runtime" >&2; exit 1; }
  # Its own session and process group, its output in a file and no terminal: CTest must
  # not wait for it.
  XDG_RUNTIME_DIR="$runtime" setsid dbus-run-session -- \
    sh -c 'pipewire & wireplumber & wait' >"$state/pipewire.log" 2>&1 </dev/null &
  pid=$!
  echo "$pid" >"$state/pid"
  deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ]; do
    if [ -S "$runtime/pipewire-0" ] && answers; then
      echo "pipewire-fixture: PipeWire session started (process group $pid, runtime $runtime)"
      exit 0
    fi
    if ! session_alive "$pid"; then
      echo "pipewire-fixture: the PipeWire session stopped at once:" >&2
      cat "$state/pipewire.log" >&2
      stop_session     # whatever of it is left
      exit 1
    fi
    sleep 0.1
  done
  echo "pipewire-fixture: PipeWire did not answer within 10 seconds:" >&2
  cat "$state/pipewire.log" >&2
  stop_session
  exit 1
  ;;
stop)
  stop_session
  rm -rf "$runtime"
  exit 0
  ;;
*)
  echo "usage: pipewire-fixture.sh start|stop STATE_DIR RUNTIME_DIR" >&2
  exit 2
  ;;
esac
