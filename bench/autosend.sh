#!/bin/sh
# The auto-send run: auto-send every 1 ms for SECONDS (default 60) while receiving, under Xvfb.
exec "$(dirname "$0")/gui.sh" --autosend "${1:-60}"
