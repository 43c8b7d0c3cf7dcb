# Sourced by the test command: starts a private PulseAudio server with a null
# sink whose monitor is the default source, in a runtime folder of its own, so
# that live-capture tests have an audio input on a machine without sound.
# pulse_private_start returns non-zero when no server can start at all.

pulse_private_start() {
  command -v pulseaudio >/dev/null || return 1
  export TAPEWELL_PULSE_DIR
  TAPEWELL_PULSE_DIR=$(mktemp -d /tmp/tapewell-pulse.XXXXXX)
  export XDG_RUNTIME_DIR="$TAPEWELL_PULSE_DIR"
  export PULSE_RUNTIME_PATH="$TAPEWELL_PULSE_DIR/pulse"
  export PULSE_STATE_PATH="$TAPEWELL_PULSE_DIR/state"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  cat > "$TAPEWELL_PULSE_DIR/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native
load-module module-null-sink sink_name=tapewell_null rate=48000 channels=2
set-default-sink tapewell_null
set-default-source tapewell_null.monitor
PA
  pulseaudio --daemonize=yes --system=false --exit-idle-time=-1 --disallow-exit \
    -n -F "$TAPEWELL_PULSE_DIR/default.pa" --log-target=file:"$TAPEWELL_PULSE_DIR/log" \
    >/dev/null 2>&1 || return 1
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && { export TAPEWELL_PULSE=1; return 0; }
    sleep 0.1
  done
  return 1
}

pulse_private_stop() {
  if [ -n "${PULSE_SERVER:-}" ]; then
    pactl exit >/dev/null 2>&1 || pulseaudio --kill >/dev/null 2>&1 || true
  fi
  if [ -n "${TAPEWELL_PULSE_DIR:-}" ]; then rm -rf "$TAPEWELL_PULSE_DIR"; fi
}
