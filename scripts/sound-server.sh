#!/usr/bin/env bash
# A private sound server speaking the PulseAudio protocol, in a runtime folder
# of its own, with a null sink "tapewell_null" whose monitor is the default
# source: PulseAudio itself, or PipeWire with pipewire-pulse (started headless
# under a private D-Bus session).
#
# Sourced:   sound_server_start pulseaudio|pipewire   (exports PULSE_SERVER,
#            TAPEWELL_PULSE=1, TAPEWELL_SOUND_SERVER=<kind>,
#            TAPEWELL_SERVER_PIDS=<the server processes>)
#            sound_server_stop
# Executed:  scripts/sound-server.sh start KIND DIR   writes DIR/env (the same
#            variables, one NAME=value a line) and returns when the server answers
#            scripts/sound-server.sh stop DIR
# Start returns non-zero when the server cannot start (a reason on stderr).

_sound_server_wait() {
  local i
  for i in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# _sound_server_start_pulseaudio DIR
_sound_server_start_pulseaudio() {
  local dir=$1
  command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >&2; return 1; }
  export PULSE_RUNTIME_PATH="$dir/pulse" PULSE_STATE_PATH="$dir/state"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  cat > "$dir/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native
load-module module-null-sink sink_name=tapewell_null rate=48000 channels=2
set-default-sink tapewell_null
set-default-source tapewell_null.monitor
PA
  pulseaudio --daemonize=yes --system=false --exit-idle-time=-1 --disallow-exit \
    -n -F "$dir/default.pa" --log-target=file:"$dir/log" >/dev/null 2>&1 ||
    { echo "pulseaudio did not start (see $dir/log)" >&2; return 1; }
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  _sound_server_wait || { echo "pulseaudio does not answer" >&2; return 1; }
  TAPEWELL_SERVER_PIDS=$(cat "$PULSE_RUNTIME_PATH/pid" 2>/dev/null || true)
}

# _sound_server_start_pipewire DIR
_sound_server_start_pipewire() {
  local dir=$1 p
  for p in pipewire wireplumber pipewire-pulse dbus-run-session; do
    command -v "$p" >/dev/null || { echo "$p is not installed" >&2; return 1; }
  done
  export PIPEWIRE_RUNTIME_DIR="$dir"
  export PULSE_RUNTIME_PATH="$dir/pulse"
  mkdir -p "$PULSE_RUNTIME_PATH" "$dir/config" "$dir/state"
  # The three servers share one private D-Bus session; the shell inside it
  # writes their process ids (and the session's) and waits for them, so the
  # session ends with them.
  XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" \
    setsid dbus-run-session -- bash -c '
      echo $PPID > "$0/session"
      pipewire & echo $! > "$0/pids"
      for i in $(seq 50); do [ -S "$0/pipewire-0" ] && break; sleep 0.1; done
      wireplumber & echo $! >> "$0/pids"
      pipewire-pulse & echo $! >> "$0/pids"
      wait' "$dir" >"$dir/log" 2>&1 &
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  _sound_server_wait || { echo "pipewire-pulse does not answer (see $dir/log)" >&2; return 1; }
  # wireplumber brings the graph up a moment after the protocol answers (on
  # a loaded machine several seconds after).
  local i
  for i in $(seq 150); do
    pactl load-module module-null-sink sink_name=tapewell_null rate=48000 channels=2 \
      >/dev/null 2>&1 && break
    sleep 0.1
  done
  for i in $(seq 150); do
    pactl list short sources 2>/dev/null | grep -q 'tapewell_null.monitor' && break
    sleep 0.1
  done
  pactl set-default-sink tapewell_null && pactl set-default-source tapewell_null.monitor ||
    { echo "pipewire-pulse has no null sink (see $dir/log)" >&2; return 1; }
  TAPEWELL_SERVER_PIDS=$(tr '\n' ' ' < "$dir/pids")
}

sound_server_start() {
  local kind=${1:-pulseaudio}
  export TAPEWELL_SOUND_DIR
  TAPEWELL_SOUND_DIR=${2:-$(mktemp -d /tmp/tapewell-sound.XXXXXX)}
  export XDG_RUNTIME_DIR="$TAPEWELL_SOUND_DIR"
  export TAPEWELL_SOUND_SERVER=$kind TAPEWELL_SERVER_PIDS=""
  case $kind in
    pulseaudio) _sound_server_start_pulseaudio "$TAPEWELL_SOUND_DIR" ;;
    pipewire) _sound_server_start_pipewire "$TAPEWELL_SOUND_DIR" ;;
    *) echo "unknown sound server: $kind" >&2; return 1 ;;
  esac || return 1
  export TAPEWELL_SERVER_PIDS
  export TAPEWELL_PULSE=1
}

sound_server_stop() {
  local dir=${1:-${TAPEWELL_SOUND_DIR:-}}
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  if [ -f "$dir/session" ]; then
    # PipeWire: the servers we started; their session then ends by itself.
    local pid
    for pid in $(cat "$dir/pids" 2>/dev/null); do kill -CONT "$pid" 2>/dev/null || true; kill "$pid" 2>/dev/null || true; done
    for _ in $(seq 30); do kill -0 "$(cat "$dir/session")" 2>/dev/null || break; sleep 0.1; done
    kill "$(cat "$dir/session")" 2>/dev/null || true
  elif [ -f "$dir/pulse/pid" ]; then
    kill -CONT "$(cat "$dir/pulse/pid")" 2>/dev/null || true
    kill "$(cat "$dir/pulse/pid")" 2>/dev/null || true
  fi
  sleep 0.2
  rm -rf "$dir"
  unset TAPEWELL_PULSE TAPEWELL_SOUND_DIR TAPEWELL_SERVER_PIDS PULSE_SERVER
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case ${1:-} in
    start)
      mkdir -p "$3"
      sound_server_start "$2" "$3" || exit 1
      { echo "PULSE_SERVER=$PULSE_SERVER"; echo "TAPEWELL_SERVER_PIDS=$TAPEWELL_SERVER_PIDS"; } > "$3/env"
      ;;
    stop) sound_server_stop "$2" ;;
    *) echo "usage: $0 start pulseaudio|pipewire DIR | stop DIR" >&2; exit 2 ;;
  esac
fi
