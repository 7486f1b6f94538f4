#!/bin/sh
# The soak run: SECONDS (default one hour) of 921600-baud hexadecimal with CB_Clear, RSS sampled every 5 s, under Xvfb.
exec "$(dirname "$0")/gui.sh" --soak "${1:-3600}"
