#!/usr/bin/env bash
# Runs the living shelf's suite on a display of its own under openbox, with a
# private session bus and an accessibility bus on it, switched on for this
# session only.
#   run-shelf.sh TESTS TARVO GTK_PROBE DRAG_SOURCE [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
export TARVO_GTK_PROBE=$3
export TARVO_DRAG_SOURCE=$4
shift 4

launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "$x11_name: $launcher is not installed (scripts/deps)" >&2; exit 1; }
x11_require Xvfb openbox xprop dbus-daemon
x11_start_display
x11_start_wm
x11_start_bus
"$launcher" --launch-immediately --a11y=1 >"$x11_work/at-spi.log" 2>&1 &
x11_pids+=($!)
x11_wait_for dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress >/dev/null 2>&1 ||
    { echo "$x11_name: no accessibility bus" >&2; exit 1; }
# Only the shelf speaks to the accessibility bus; the helper programs keep out.
export NO_AT_BRIDGE=1
timeout --kill-after=5 250 "$tests" "$@"
