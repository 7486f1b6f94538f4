#!/bin/sh
# The reset run: N (default 1000) reset-button cycles while data streams in, under Xvfb.
exec "$(dirname "$0")/gui.sh" --resets "${1:-1000}"
