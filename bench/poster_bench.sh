#!/bin/bash
# Posters on every core: the speedup of fernweave-render --threads N over
# --threads 1 for contracting objects, and the overhead on an object whose
# maps never contract (every guess misses, the chunks run one after another).
# Runs are interleaved and the best of ROUNDS taken, so a busy machine only
# slows both sides alike. Usage: poster_bench.sh [RENDERER] [STEPS] [ROUNDS] [THREADS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${1:-$here/build/tools/fernweave-render}
steps=${2:-200000000}
rounds=${3:-3}
threads=${4:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two maps that only turn and shift the plane.
cat > "$work/turning.txt" <<'DRAWING'
base 100 100 200 100 100 200
map 300 100 300 200 200 100 #40A0FF diffuse
map 150 250 150 150 250 250 #FFA040 diffuse
DRAWING

run() {  # drawing threads: "wall cpu" seconds of the rendering
    local wall
    wall=$( { /usr/bin/time -f "%U %S" -o "$work/cpu" "$render" "$1" -o "$work/out.bmp" --steps "$steps" \
        --threads "$2" --quiet --stats; } | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p')
    echo "$wall $(awk '{print $1 + $2}' "$work/cpu")"
}
min() { echo "if ($1 < $2) $1 else $2" | bc -l; }

# Wall-clock speedup, and the work: CPU seconds with N threads over 1 (the
# guesses' warm-ups, missed chunks and merges; 1.0 would be no extra work).
printf '%-12s %9s %9s %8s %9s %9s %8s\n' object "wall 1" "wall $threads" speedup "cpu 1" "cpu $threads" work
for object in "$here/resources/samples/fern.txt" "$here/resources/samples/sierpinski.txt" "$work/turning.txt"; do
    w1=999999 wN=999999 c1=999999 cN=999999
    for ((r = 0; r < rounds; r++)); do
        read -r w c < <(run "$object" 1)
        w1=$(min "$w" "$w1") c1=$(min "$c" "$c1")
        read -r w c < <(run "$object" "$threads")
        wN=$(min "$w" "$wN") cN=$(min "$c" "$cN")
    done
    printf '%-12s %8.3fs %8.3fs %8.3f %8.3fs %8.3fs %8.3f\n' "$(basename "$object" .txt)" "$w1" "$wN" \
        "$(echo "$w1 / $wN" | bc -l)" "$c1" "$cN" "$(echo "$cN / $c1" | bc -l)"
done
echo "steps=$steps, best of $rounds interleaved rounds; $(nproc) cores here, load: $(cut -d' ' -f1-3 /proc/loadavg)"
