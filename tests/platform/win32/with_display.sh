#!/bin/sh
# Runs a command with a display: the one it is given (DISPLAY), else a fresh Xvfb of its own,
# so the window tests also run where ctest itself has no display.
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
