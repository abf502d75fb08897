#!/usr/bin/env bash
# Runs the destination suite on a display and a session bus of its own: first
# with no window manager, then under openbox. Xvfb, openbox and the bus are
# stopped on every way out.
#   run-destinations.sh TESTS APP_WINDOW
set -euo pipefail

tests=$1
export TARVO_APP_WINDOW=$2

for tool in Xvfb openbox dbus-daemon xprop; do
    command -v "$tool" >/dev/null || { echo "run-destinations.sh: $tool is not installed (scripts/deps)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
bus_pid=""
cleanup() {
    for pid in "$wm_pid" "$bus_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    for pid in "$wm_pid" "$bus_pid" "$xvfb_pid"; do
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
[ -s "$work/display" ] || { echo "run-destinations.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# Settings, caches and the session stay away from the user's.
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# A private session bus: the stand-ins play the accessibility bus on it.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" \
    --print-address=4 4>"$work/bus-address" 2>"$work/bus.log" &
bus_pid=$!
for _ in $(seq 100); do
    [ -s "$work/bus-address" ] && break
    sleep 0.1
done
[ -s "$work/bus-address" ] || { echo "run-destinations.sh: no session bus" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/bus-address")"
export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=0

timeout --kill-after=5 60 "$tests" --gtest_filter='DestinationsWithoutWindowManager.*'

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
timeout --kill-after=5 90 "$tests" --gtest_filter='DestinationsWithWindowManager.*'
