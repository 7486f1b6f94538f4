#!/bin/sh
# The full autosend run: auto-send every 1 ms for 60 s while receiving, under Xvfb.
exec "$(dirname "$0")/gui.sh" --autosend 60 "$@"
