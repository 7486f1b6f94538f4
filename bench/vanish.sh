#!/bin/sh
# The vanish run: the far end closing mid-stream, under Xvfb.
exec "$(dirname "$0")/gui.sh" --vanish "$@"
