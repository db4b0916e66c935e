#!/usr/bin/env bash
# A second start while the first instance runs ends at once with exit code 0
# and shows nothing; the first keeps running.
set -u
program=$1
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
echo "1 passed, 0 failed"
