#!/usr/bin/env bash
# A second start while the first instance runs ends at once with exit code 0
# and shows nothing; the first keeps running. Starts with files that race one
# another lose none of them: the probe (tests/package/window_probe.cpp, in the
# folder given second) reports each size the canvas takes, so each picture
# shows by its size.
set -u
program=$1
probe=${2:-}
runtime=$(mktemp -d)
trap 'kill "$first" 2>/dev/null; wait "$first" 2>/dev/null; rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen

"$program" >"$runtime/first.log" 2>&1 &
first=$!
lock="$runtime/Lumenfold Fernweave 2.0"
# Whether some process holds the lock, read from /proc/locks: trying the lock
# ourselves would hold it for a moment and turn a starting instance away.
held() { [ -e "$lock" ] && grep -q ":$(stat -c %i "$lock") " /proc/locks; }
# Wait until the first instance holds its lock.
for _ in $(seq 1 600); do held && break; sleep 0.05; done
held || { echo "first instance never took the lock"; exit 1; }

start=$(date +%s%N)
timeout 60 "$program" >"$runtime/second.log" 2>&1
code=$?
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$code" -eq 0 ] || { echo "second start exited with $code"; exit 1; }
[ -s "$runtime/second.log" ] && { echo "second start printed:"; cat "$runtime/second.log"; exit 1; }
kill -0 "$first" 2>/dev/null || { echo "first instance is gone"; exit 1; }
echo "second start ended with 0 after ${elapsed} ms; first still running"

# Once the first has ended, a new start takes the lock again.
kill "$first"; wait "$first" 2>/dev/null
for _ in $(seq 1 600); do held || break; sleep 0.05; done
"$program" >/dev/null 2>&1 &
third=$!
for _ in $(seq 1 600); do held && break; sleep 0.05; done
held || { echo "a new start after the first ended did not run"; kill "$third"; exit 1; }
kill "$third"; wait "$third" 2>/dev/null

if [ -z "$probe" ]; then echo "1 passed, 0 failed (no probe given: the races are left out)"; exit 0; fi
export QT_PLUGIN_PATH=$probe QT_QPA_GENERIC_PLUGINS=fernweaveprobe

# An uncompressed black 24-bit BMP of W x H pixels.
bmp() {
    local w=$1 h=$2 file=$3 stride=$(( ($1 * 3 + 3) / 4 * 4 ))
    le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
    {
        printf 'BM'; printf "$(le32 $((54 + stride * h)))"; printf '\0\0\0\0'; printf "$(le32 54)"
        printf "$(le32 40)$(le32 "$w")$(le32 "$h")"; printf '\x01\0\x18\0'; printf '\0\0\0\0'
        printf "$(le32 $((stride * h)))$(le32 2835)$(le32 2835)"; printf '\0\0\0\0\0\0\0\0'
        head -c $((stride * h)) /dev/zero
    } >"$file"
}

# Waits until the logs name every size given; then prints the canvas sizes in order.
sizes_seen() {
    local logs=("${@:2}") wanted=$1
    for _ in $(seq 1 400); do
        local all=1
        for size in $wanted; do grep -qh "^canvas: $size\$" "${logs[@]}" 2>/dev/null || all=0; done
        [ $all = 1 ] && break
        sleep 0.05
    done
    grep -h "^canvas: " "${logs[@]}" 2>/dev/null | sed 's/canvas: //' | tr '\n' ' '
}

# Whether size $1 comes before size $2 in the list $3.
before() { local list=" $3 "; local a=${list%% $1 *} b=${list%% $2 *}; [ ${#a} -lt ${#b} ]; }

fail() { echo "$1"; for p in "${racers[@]}"; do kill "$p" 2>/dev/null; done; exit 1; }

# Three starts with files race the first instance's start-up: every file opens,
# those of one start in their order, whoever wins the lock.
for n in 1 2 3 4 5; do bmp $((100 + n)) $((10 + n)) "$runtime/p$n.bmp"; done
racers=()
logs=("$runtime/r1.log" "$runtime/r2.log" "$runtime/r3.log")
: >"${logs[0]}"; : >"${logs[1]}"; : >"${logs[2]}"  # before the starts, which open them in the background
"$program" "$runtime/p1.bmp" >"$runtime/r1.log" 2>&1 & racers+=($!)
"$program" "$runtime/p2.bmp" "$runtime/p3.bmp" >"$runtime/r2.log" 2>&1 & racers+=($!)
"$program" "$runtime/p4.bmp" >"$runtime/r3.log" 2>&1 & racers+=($!)
seen=$(sizes_seen "101x11 102x12 103x13 104x14" "${logs[@]}")
for size in 101x11 102x12 103x13 104x14; do
    [[ " $seen " == *" $size "* ]] || fail "racing starts: $size never opened (canvas sizes: $seen); $(cat "${logs[@]}")"
done
before 102x12 103x13 "$seen" || fail "racing starts: the files of one start opened out of order: $seen"
# The starts that handed their files over end on their own.
alive() { local n=0; for p in "${racers[@]}"; do kill -0 "$p" 2>/dev/null && n=$((n + 1)); done; echo $n; }
for _ in $(seq 1 400); do [ "$(alive)" -le 1 ] && break; sleep 0.05; done
running=0 ended=0
for p in "${racers[@]}"; do
    if kill -0 "$p" 2>/dev/null; then running=$((running + 1)); winner=$p; else
        wait "$p"; code=$?; [ "$code" -eq 0 ] || fail "racing starts: a start that handed its files over exited with $code"
        ended=$((ended + 1))
    fi
done
[ "$running" -eq 1 ] || fail "racing starts: $running instances kept running"
echo "three starts racing the first: all four files opened ($seen)"

# While it runs, a start with files brings them in too.
"$program" "$runtime/p5.bmp" >/dev/null 2>&1 || fail "a second start with a file exited with $?"
seen=$(sizes_seen "105x15" "${logs[@]}")
[[ " $seen " == *" 105x15 "* ]] || fail "a file handed to the running instance did not open ($seen)"
kill "$winner"; wait "$winner" 2>/dev/null
for _ in $(seq 1 600); do held || break; sleep 0.05; done

# Two starts with files and no instance running: both files open.
racers=()
: >"${logs[0]}"; : >"${logs[1]}"; : >"${logs[2]}"
"$program" "$runtime/p1.bmp" >"$runtime/r1.log" 2>&1 & racers+=($!)
"$program" "$runtime/p4.bmp" >"$runtime/r2.log" 2>&1 & racers+=($!)
seen=$(sizes_seen "101x11 104x14" "${logs[@]}")
[[ " $seen " == *" 101x11 "* && " $seen " == *" 104x14 "* ]] || fail "two starts at once: a file was lost ($seen)"
echo "two starts at once: both files opened ($seen)"
for p in "${racers[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
echo "3 passed, 0 failed"
