# X display for the GTK programs and tests, sourced by the scripts.

# Runs a command under a private X server (Xvfb) of its own. -noreset: by
# default Xvfb resets when its last client leaves and refuses connections
# meanwhile, so a test starting as another ends could find no display.
in_xvfb() {
  xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$@"
}

# Runs a command on the display there is, or under Xvfb without one.
with_display() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    in_xvfb "$@"
  fi
}
