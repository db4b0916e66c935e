#!/usr/bin/env bash
# The program as a native Wayland client, under weston's headless backend at
# scale 1 and 2: the main window, a dialog (New Image) and the help window
# open. The probe (tests/package/window_probe.cpp) reports the windows and
# triggers the commands, since nothing can send keys there; weston's
# screenshooter takes a picture of each run into the folder given third.
#   wayland_test.sh PROGRAM PROBE_FOLDER [SCREENSHOT_FOLDER]
set -u
program=$(realpath "$1")
probe=$(realpath "$2")
shots=${3:-}
command -v weston >/dev/null || { echo "weston is not installed: skipped"; exit 77; }
[ -n "$(find /usr/lib -path '*qt6/plugins/platforms/libqwayland-generic.so' -print -quit)" ] ||
    { echo "qt6-wayland is not installed: skipped"; exit 77; }
[ -z "$shots" ] || { mkdir -p "$shots" && shots=$(realpath "$shots"); }

pids=()
work=$(mktemp -d)
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $1"
    for f in "$run"/*.log; do echo "-- $(basename "$f"):"; cat "$f"; done
    exit 1
}
# Waits up to 30 s for a line of the probe matching $1.
wait_for() {
    for _ in $(seq 1 300); do
        grep -qE "$1" "$run/probe.log" && { echo "ok: $2"; return 0; }
        kill -0 "$app" 2>/dev/null || fail "$2 (the program ended)"
        sleep 0.1
    done
    fail "$2 (no line matching '$1')"
}

for scale in 1 2; do
    run=$work/scale$scale
    mkdir -m 700 "$run"
    export XDG_RUNTIME_DIR=$run
    weston --backend=headless-backend.so --use-pixman --width=1280 --height=800 --scale=$scale \
        --socket=fernweave-test --idle-time=0 --debug >"$run/weston.log" 2>&1 &
    compositor=$!
    pids+=("$compositor")
    for _ in $(seq 1 300); do [ -S "$run/fernweave-test" ] && break; sleep 0.1; done
    [ -S "$run/fernweave-test" ] || fail "weston did not start"

    HOME=$run WAYLAND_DISPLAY=fernweave-test QT_QPA_PLATFORM=wayland QT_PLUGIN_PATH=$probe \
        QT_QPA_GENERIC_PLUGINS=fernweaveprobe FERNWEAVE_PROBE_TRIGGER=mnuHelpContents,mnuFileNew \
        "$program" >"$run/probe.log" 2>"$run/program.log" &
    app=$!
    pids+=("$app")
    echo "-- scale $scale"
    wait_for '^window: Fernweave 2.0 \(fernweave::TfrmMain\)$' "the main window shows"
    wait_for '^window: .*\(fernweave::TfrmHelp\)$' "the help window opens"
    wait_for '^window: New Image \(fernweave::TfrmNewImage\)$' "the New Image dialog opens"
    if [ -n "$shots" ]; then
        # weston-screenshooter writes wayland-screenshot-TIME.png into the current folder.
        (cd "$run" && WAYLAND_DISPLAY=fernweave-test timeout 20 weston-screenshooter) >>"$run/weston.log" 2>&1 &&
            mv "$run"/wayland-screenshot-*.png "$shots/wayland-scale$scale.png" &&
            echo "screenshot: $shots/wayland-scale$scale.png" ||
            echo "no screenshot: weston's screenshooter failed (see its log)"
    fi
    kill "$app" "$compositor" 2>/dev/null
    wait "$app" "$compositor" 2>/dev/null
done
echo "wayland: 2 passed, 0 failed"
