#!/usr/bin/env bash
# Uses the file commands as a person would, under Xvfb: draw and render, export the
# object, save as BMP and JPEG, clear, load the JPEG back, import the object onto
# a smaller triangle. Run: xvfb-run -a -s "-screen 0 1024x768x24" scripts/ui_files_demo.sh
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
OUT=${OUT:-/tmp/fernweave-files-demo}
mkdir -p "$OUT"
export XDG_RUNTIME_DIR=$(mktemp -d)
"$top"/build/app/fernweave & pid=$!
sleep 2.5
cx=275; cy=226  # where the centred window puts the canvas on a 1024 x 768 screen
wid=$(xdotool search --name "^Fernweave 2.0$" | head -1)
click() { xdotool mousemove $1 $2; sleep 0.03; xdotool mousemove $(( $1 + 1 )) $2; sleep 0.03; xdotool mousemove $1 $2; sleep 0.05; xdotool click ${3:-1}; sleep 0.05; }
dialog() { # waits for a window with this title and focuses it
  for i in $(seq 1 50); do d=$(xdotool search --name "^$1\$" | head -1); [ -n "$d" ] && break; sleep 0.1; done
  xdotool windowfocus --sync $d 2>/dev/null; sleep 0.3; echo $d; }
while read -r kind a b c d e f rest; do
  click $((cx+a)) $((cy+b)); click $((cx+c)) $((cy+d)); click $((cx+e)) $((cy+f))
done < <(grep -E '^(base|map)' "$top"/resources/samples/sierpinski.txt)
click $((cx+300)) $((cy+200)) 3; sleep 1.5; click $((cx+300)) $((cy+200)) 3; sleep 0.5
import -window root $OUT/1_rendered.png
# Export the object first
xdotool windowfocus --sync $wid; xdotool key ctrl+e
d=$(dialog "Export the Object to File"); xdotool type --delay 20 "$OUT/sierpinski"; xdotool key Return; sleep 0.5
# Save as BMP
xdotool windowfocus --sync $wid; xdotool key ctrl+s
d=$(dialog "Save Picture"); xdotool type --delay 20 "$OUT/pic.bmp"; xdotool key Return; sleep 1
# Save as JPEG: the type box follows the name box
xdotool windowfocus --sync $wid; xdotool key ctrl+s
d=$(dialog "Save Picture"); xdotool type --delay 20 "$OUT/pic"; xdotool key Tab Down; sleep 0.3
import -window root $OUT/2_save_dialog.png
xdotool key Return
q=$(dialog "Image Quality"); import -window root $OUT/3_quality.png; xdotool key Return; sleep 1
# Clear, then load the JPEG back
xdotool windowfocus --sync $wid; xdotool key Delete; sleep 0.3
xdotool key ctrl+l
d=$(dialog "Open Picture"); xdotool type --delay 20 "$OUT/pic.jpg"; xdotool key Return; sleep 1
import -window root $OUT/4_loaded_jpeg.png
# Export, import and place on a smaller triangle
xdotool windowfocus --sync $wid; xdotool key ctrl+i
d=$(dialog "Import Object from File"); xdotool type --delay 20 "$OUT/sierpinski.ifs"; xdotool key Return; sleep 0.5
import -window root $OUT/5_import_prompt.png
click $((cx+400)) $((cy+60)); click $((cx+300)) $((cy+200)); click $((cx+500)) $((cy+200))
sleep 1.5; click $((cx+300)) $((cy+300)) 3; sleep 0.5
import -window root $OUT/6_placed.png
kill $pid
