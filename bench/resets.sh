#!/bin/sh
# The full resets run: 1000 reset-button cycles while data streams in, under Xvfb.
exec "$(dirname "$0")/gui.sh" --resets 1000 "$@"
