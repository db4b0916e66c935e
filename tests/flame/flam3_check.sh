#!/usr/bin/env bash
# Renders flames exported by fernweave-render with the flame renderer of
# Debian's flam3-utils and checks that every pixel flam3 lights lies within a
# pixel of one that Fernweave's own rendering of the same object lights.
# Usage: flam3_check.sh PATH/TO/fernweave-render
set -euo pipefail
render=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Designs typed from their published coefficients.
cat > classics.ifs <<'IFS'
fern { ; Barnsley's fern
  0     0     0    .16  0  0     .01
  .85   .04  -.04  .85  0  1.6   .85
  .2   -.26   .23  .22  0  1.6   .07
 -.15   .28   .26  .24  0  .44   .07
}
dragon { ; Heighway's dragon
  .5 -.5 .5 .5 0 0 .5
 -.5 -.5 .5 -.5 1 0 .5
}
IFS
cat > sierpinski.txt <<'TXT'
base 275 12  25 352  525 352
map  275 12  150 182  400 182  #FF4040 plain
map  150 182  25 352  275 352  #40FF40 plain
map  400 182  275 352  525 352  #4080FF plain
TXT

check() {  # name, then fernweave-render's input and options
  local name=$1
  shift
  "$render" "$@" --size 400x300 --steps 3000000 -o "$name.bmp" --export-flame "$name.flame" --export "$name.ifs"
  env in="$name.flame" out="$name.png" qs=1 nthreads=2 seed=1 isaac_seed=fernweave flam3-render >/dev/null 2>&1
  convert "$name.bmp" "$name-ours.ppm"
  convert "$name.png" -background black -flatten "$name-flam3.ppm"
  echo -n "$name: "
  python3 "$here/compare_lit.py" "$name-ours.ppm" "$name-flam3.ppm"
}

check fern classics.ifs --entry fern
check dragon classics.ifs --entry dragon
check sierpinski sierpinski.txt
# An object placed on a triangle of its own: the flame follows the placement.
check placed fern.ifs --place 60,280,200,280,90,20
echo "flam3 agrees with Fernweave on every design"
