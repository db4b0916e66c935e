#!/usr/bin/env bash
# Uses the program as a person would: real pointer events under Xvfb draw the sample
# Sierpinski triangle and fern, render, stop and undo, with screenshots in $OUT.
# Run: xvfb-run -a -s "-screen 0 1024x768x24" scripts/ui_demo.sh
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
OUT=${OUT:-/tmp/fernweave-demo}
mkdir -p "$OUT"
export XDG_RUNTIME_DIR=$(mktemp -d)
"$top"/build/app/fernweave & pid=$!
sleep 2.5
import -window root $OUT/start.png
# canvas: the 550x364 black rectangle; spectrum: the colour panel's top image
read cx cy < <(python3 - "$OUT/start.png" <<'PY'
import subprocess, sys
w,h=1024,768
raw=subprocess.run(['convert',sys.argv[1],'-depth','8','rgb:-'],capture_output=True).stdout
def px(x,y):
    i=(y*w+x)*3; return raw[i],raw[i+1],raw[i+2]
for y in range(1,h-364):
    for x in range(1,w-551):
        if min(px(x-1,y))>150 and min(px(x+550,y))>150 and px(x,y)==(0,0,0) and px(x+549,y)==(0,0,0) and min(px(x,y-1))>150 and px(x,y+363)==(0,0,0) and min(px(x,y+364))>150:
            if all(px(x+i,y)==(0,0,0) for i in range(0,550,7)):
                print(x,y); raise SystemExit
PY
)
echo "canvas at $cx $cy"
wid=$(xdotool search --name "Fernweave 2.0" | head -1)
click() { xdotool mousemove $1 $2; sleep 0.03; xdotool mousemove $(( $1 + 1 )) $2; sleep 0.03; xdotool mousemove $1 $2; sleep 0.05; xdotool click ${3:-1}; sleep 0.05; }
drawfile() {
  local n=0
  while read -r kind a b c d e f col rest; do
    case "$kind" in
      base) click $((cx+a)) $((cy+b)); click $((cx+c)) $((cy+d)); click $((cx+e)) $((cy+f));;
      map) if [ -n "${SPEC_X:-}" ]; then click $SPEC_X $((SPEC_Y + (n*35)%100)); fi; n=$((n+1))
           click $((cx+a)) $((cy+b)); click $((cx+c)) $((cy+d)); click $((cx+e)) $((cy+f));;
    esac
  done < <(grep -E '^(base|map)' "$1")
}
# The spectrum lies left of the canvas in the colour panel.
SPEC_X=$((cx - 84 + 30)); SPEC_Y=$((cy - 12 + 5))
drawfile "$top"/resources/samples/sierpinski.txt
import -window root $OUT/sierp_drawn.png
click $((cx+300)) $((cy+200)) 3
sleep 2
import -window root $OUT/sierp_rendering.png
click $((cx+300)) $((cy+200)) 3
sleep 0.5
import -window root $OUT/sierp_stopped.png
xdotool key --window $wid ctrl+z; sleep 0.5
import -window root $OUT/sierp_undone.png
xdotool key --window $wid Delete; sleep 0.3
drawfile "$top"/resources/samples/fern.txt
click $((cx+300)) $((cy+200)) 3
sleep 2
click $((cx+300)) $((cy+200)) 3
sleep 0.5
import -window root $OUT/fern_stopped.png
kill $pid
