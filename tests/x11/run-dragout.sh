#!/usr/bin/env bash
# Runs the drag-out suite on a display of its own: Xvfb picks a free display
# number, openbox manages the windows, and both are stopped on every way out.
#   run-dragout.sh TESTS TARGET SAVE_TARGET [gtest arguments...]
set -euo pipefail

tests=$1
export TARVO_DRAGOUT_TARGET=$2
export TARVO_DRAGOUT_SAVE_TARGET=$3
shift 3

for tool in Xvfb openbox xprop; do
    command -v "$tool" >/dev/null || { echo "run-dragout.sh: $tool is not installed (scripts/deps)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
    for pid in "$wm_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    for pid in "$wm_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
[ -s "$work/display" ] || { echo "run-dragout.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# Settings, caches and the working root stay inside the run's own folder.
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=0
# Sanitizer builds: what libdbus keeps is not ours to report.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/dragout-lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
timeout --kill-after=5 170 "$tests" "$@"
