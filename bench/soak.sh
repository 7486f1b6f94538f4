#!/bin/sh
# The full soak run: one hour of 921600-baud hexadecimal with CB_Clear, RSS sampled every 5 s, under Xvfb.
exec "$(dirname "$0")/gui.sh" --soak 3600 "$@"
