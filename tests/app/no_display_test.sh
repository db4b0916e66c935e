#!/usr/bin/env bash
# Started without a display, the program says so in one line of its own on
# standard error and ends with exit code 1, before it takes the lock.
set -u
program=$1
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
errors=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$runtime" \
    timeout 60 "$program" 2>&1 >/dev/null)
code=$?
[ "$code" -eq 1 ] || { echo "exit code $code, not 1; standard error:"; echo "$errors"; exit 1; }
[ "$errors" = "fernweave: cannot open a display" ] || { echo "standard error:"; echo "$errors"; exit 1; }
[ -e "$runtime/Lumenfold Fernweave 2.0" ] && { echo "the lock was taken before the display"; exit 1; }
echo "1 passed, 0 failed"
