#!/usr/bin/env bash
# The render worker with the window shown: starts its own Xvfb with a
# 1920 x 1440 screen and runs the window benchmark on it (not a test).
#   scripts/window_bench.sh [seconds per run, default 10] [display number, default 50]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
display=":${2:-50}"
bench=build/bench/fernweave_window_bench
[ -x "$bench" ] || { echo "build first: $bench is missing" >&2; exit 1; }
Xvfb "$display" -screen 0 1920x1440x24 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$bench" "$seconds"
