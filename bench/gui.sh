#!/bin/sh
# Runs bench_gui under a private Xvfb display: the benchmark table without arguments, one of the
# soak and fault runs (--soak SECONDS, --resets N, --vanish, --autosend SECONDS), or the receive
# view at its limit (--bounded MB CAP).
# Build first: cmake --build build --target bench_gui
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/build/bench/bench_gui" "$@"
