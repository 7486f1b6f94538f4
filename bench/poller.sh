#!/bin/sh
# Runs bench_poller under a private Xvfb display: the register poller with 20 rows against
# talyx-sim --paced at 115200 baud for SECONDS (default 600).
# Build first: cmake --build build --target bench_poller talyx-sim
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/build/bench/bench_poller" "$@"
