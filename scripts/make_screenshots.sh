#!/usr/bin/env bash
# Makes the screenshots that software centres show (resources/screenshots/, named
# by the AppStream data) from the built program under its own Xvfb, driven with
# xdotool: the main window with three tutorial objects placed and rendered, the
# Edit Object dialog over the leaf, and the leaf tutorial in the help window.
#   bash scripts/make_screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
program=$build/app/fernweave
objects=$build/app/Objects
out=resources/screenshots
[ -x "$program" ] && [ -f "$objects/leaf.ifs" ] || { echo "build the program first: bash scripts/build.sh"; exit 1; }

display=:71
[ ! -e /tmp/.X11-unix/X71 ] && [ ! -e /tmp/.X71-lock ] || { echo "display $display is taken"; exit 1; }
work=$(mktemp -d)
Xvfb "$display" -screen 0 1440x810x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill ${app:-} "$xvfb" 2>/dev/null; wait; rm -rf "$work"' EXIT
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
kill -0 "$xvfb" && xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }

mkdir -m 700 "$work/runtime" "$work/home"
HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb "$program" >"$work/program.log" 2>&1 &
app=$!

# The id of the visible window of that title, waiting up to 30 s for it to
# show; and waiting up to 30 s for it to go.
window() {
    timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -1 | grep . ||
        { echo "no window '$1'" >&2; exit 1; }
}
gone() {
    for _ in $(seq 300); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null || return 0
        sleep 0.1
    done
    echo "the window '$1' stays"
    exit 1
}
settle() { sleep 0.5; }  # lets the window repaint before a capture
main=$(window "Fernweave 2.0")
gone "About Fernweave"  # the splash
# At the screen's corner, so that window and screen coordinates agree.
xdotool windowmove --sync "$main" 0 0 windowsize --sync "$main" 1024 576

# Reads a capture of the main window: "canvas W H" prints the corner of the
# black W x H canvas if it is there; "drawn X1 Y1 X2 Y2 X3 Y3" says whether
# the box around those points of the window has a fair share of lit pixels.
look() {
    import -window "$main" -depth 8 rgb:- | /usr/bin/python3 -c '
import sys
w, h = map(int, sys.argv[1:3])
what, args = sys.argv[3], list(map(int, sys.argv[4:]))
raw = sys.stdin.buffer.read()
black = lambda x, y: raw[(y * w + x) * 3:(y * w + x) * 3 + 3] == b"\0\0\0"
if what == "canvas":
    W, H = args
    for y in range(1, h - H):
        for x in range(1, w - W):
            if (black(x, y) and black(x + W - 1, y) and black(x, y + H - 1) and black(x + W - 1, y + H - 1)
                    and not black(x - 1, y) and not black(x, y - 1) and not black(x + W, y) and not black(x, y + H)):
                print(x, y)
                sys.exit()
    sys.exit(1)
x0, x1, y0, y1 = min(args[0::2]), max(args[0::2]), min(args[1::2]), max(args[1::2])
lit = sum(not black(x, y) for y in range(y0, y1, 2) for x in range(x0, x1, 2))
sys.exit(0 if lit * 4 > (x1 - x0) * (y1 - y0) // 10 else 1)' \
        $(xdotool getwindowgeometry --shell "$main" | sed -n 's/^\(WIDTH\|HEIGHT\)=//p') "$@"
}

# A new canvas of W x H; sets cx, cy to its corner in the window.
new_canvas() {
    xdotool windowfocus --sync "$main" key ctrl+n
    xdotool windowfocus --sync "$(window "New Image")" type "$1"
    xdotool key Tab type "$2"
    xdotool key Return
    gone "New Image"
    for _ in $(seq 50); do
        read -r cx cy < <(look canvas "$1" "$2") && return
        sleep 0.2
    done
    echo "no black canvas of $1 x $2 in the main window"
    exit 1
}

# Imports an object file and places it on the triangle of the three canvas
# points given, renders for a few seconds and stops with a right click; once
# more if the triangle stayed dark (a click that went astray cancels it).
place() {
    local file=$1 points=() i attempt
    shift
    while (($#)); do
        points+=($((cx + $1)) $((cy + $2)))
        shift 2
    done
    for attempt in 1 2; do
        xdotool windowfocus --sync "$main" key ctrl+i
        xdotool windowfocus --sync "$(window "Import Object from File")" type "$file"
        xdotool key Return
        gone "Import Object from File"
        settle  # a click at once after the dialog closes can go astray
        for i in 0 2 4; do
            xdotool mousemove --sync "${points[i]}" "${points[i + 1]}" click 1
        done
        sleep 3  # the rendering grows
        xdotool click 3
        settle
        look drawn "${points[@]}" && return
        echo "$(basename "$file"): nothing drawn on attempt $attempt"
    done
    exit 1
}

# Writes a capture as a small PNG: true colour (a palette of 256 bands the
# colour spectrum), without metadata, at the strongest compression.
save() {
    convert "$1" -strip -define png:compression-level=9 "PNG24:$out/$2.png"
    echo "wrote $out/$2.png ($(identify -format '%wx%h' "$out/$2.png"), $(stat -c %s "$out/$2.png") bytes)"
}
mkdir -p "$out"

# 1. The main window: three tutorial objects side by side.
new_canvas 936 440
place "$objects/leaf.ifs" 70 396 320 396 195 46
place "$objects/tree.ifs" 390 398 590 398 490 48
place "$objects/snowflake.ifs" 638 296 911 296 775 61
xdotool mousemove 0 0
settle
import -window "$main" "$work/main.png"
save "$work/main.png" main-window

# 2. Edit Object over the leaf, drawn where the tutorial draws it.
new_canvas 550 364
place "$objects/leaf.ifs" 150 356 400 356 275 6
xdotool windowfocus --sync "$main" key ctrl+t
editor=$(window "Edit Object")
xdotool windowmove --sync "$editor" 0 0 windowsize --sync "$editor" 1024 576
xdotool windowfocus --sync "$editor" key alt+f  # Fit
sleep 1  # the preview grows
import -window "$editor" "$work/editor.png"
save "$work/editor.png" object-editor
xdotool key Escape
gone "Edit Object"

# 3. The leaf tutorial in the help window, beside the main window.
xdotool windowsize --sync "$main" 700 810
xdotool windowfocus --sync "$main" key alt+t key 2
help=$(window "Fernweave Help - .*")
xdotool windowmove --sync "$help" 700 0 windowsize --sync "$help" 740 810
sleep 8  # the tutorial's animation runs on
import -window root "$work/help.png"
save "$work/help.png" help-tutorial
