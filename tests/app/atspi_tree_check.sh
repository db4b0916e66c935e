#!/usr/bin/env bash
# The program's accessibility tree as a screen reader reads it: a private
# D-Bus session with the AT-SPI bus, the program under Xvfb with Qt's
# accessibility switched on, and atspi_tree_check.py walking the tree.
#   atspi_tree_check.sh PROGRAM
set -u
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
launcher=/usr/libexec/at-spi-bus-launcher

if [ "${2:-}" != --inside ]; then
    for tool in Xvfb xdotool dbus-run-session; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/setup.sh): skipped"; exit 77; }
    done
    [ -x "$launcher" ] || { echo "at-spi2-core is not installed (scripts/setup.sh): skipped"; exit 77; }
    /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
        { echo "gir1.2-atspi-2.0 or python3-gi is not installed (scripts/setup.sh): skipped"; exit 77; }
    exec dbus-run-session -- bash "$0" "$1" --inside
fi

work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $1"
    for f in "$work"/*.log; do echo "-- $(basename "$f"):"; cat "$f"; done
    exit 1
}

# Xvfb picks a free display and writes its number when it takes connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 1 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display")

# The accessibility bus; its registry starts on the first request.
"$launcher" --launch-immediately >"$work/bus.log" 2>&1 &
pids+=($!)

mkdir -m 700 "$work/runtime" "$work/home"
HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "$program" >"$work/program.log" 2>&1 &
app=$!
pids+=("$app")

timeout 120 /usr/bin/python3 "$here/atspi_tree_check.py" "$app" || fail "the accessibility tree"
kill -0 "$app" 2>/dev/null || fail "the program ended"
echo "atspi_tree: 1 passed, 0 failed"
