#!/usr/bin/env bash
# Runs a command with an X display for Wine: a virtual one (Xvfb, 1024 x 768,
# 24-bit) when none is set, so that the harness's game window can be shown
# and the screen read through DirectDraw.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
fi
exec "$@"
