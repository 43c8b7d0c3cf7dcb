# A private X display for the tests that need a real X server: Xvfb on the
# first free display number, no TCP. Source it, then:
#   x_private_start   starts it and exports DISPLAY (status 1 when it cannot start)
#   x_private_stop    stops it
x_private_pid=""

x_private_start() {
  command -v Xvfb >/dev/null || return 1
  local display_file display
  display_file=$(mktemp)
  # Xvfb writes the display number it took to descriptor 3 once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  x_private_pid=$!
  for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
  display=$(cat "$display_file")
  rm -f "$display_file"
  if [ -z "$display" ]; then
    x_private_stop
    return 1
  fi
  export DISPLAY=":$display"
}

x_private_stop() {
  [ -n "$x_private_pid" ] || return 0
  kill "$x_private_pid" 2>/dev/null || true
  wait "$x_private_pid" 2>/dev/null || true
  x_private_pid=""
}
