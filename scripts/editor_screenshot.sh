#!/usr/bin/env bash
# Makes the help's picture of the Edit Object dialog (resources/help/edit_object.png)
# under Xvfb, from the leaf tutorial: bash scripts/editor_screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target editor_screenshot >/dev/null
display=:52
Xvfb "$display" -screen 0 1920x1440x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb"' EXIT
for _ in $(seq 50); do [ -S /tmp/.X11-unix/X52 ] && break; sleep 0.1; done
DISPLAY=$display "$build/tools/editor_screenshot" resources/help/tutorials/leaf.txt resources/help/edit_object.png
echo "wrote resources/help/edit_object.png"
