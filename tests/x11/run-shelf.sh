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
for tool in "$launcher" /usr/libexec/at-spi2-registryd; do
    [ -x "$tool" ] || { echo "$x11_name: $tool is not installed (scripts/deps)" >&2; exit 1; }
done
x11_start_session --bus xrandr
"$launcher" --launch-immediately --a11y=1 >"$x11_work/at-spi.log" 2>&1 &
x11_pids+=($!)
a11y_address() {
    dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress 2>/dev/null | tr -d ' '
}
a11y_up() { [ -n "$(a11y_address)" ]; }
x11_wait_for a11y_up || { echo "$x11_name: no accessibility bus" >&2; exit 1; }
# The registry, which the programs join, is started here rather than left to
# the bus to start on first use, which a busy machine can let time out.
/usr/libexec/at-spi2-registryd >"$x11_work/registry.log" 2>&1 &
x11_pids+=($!)
registry_up() {
    dbus-send --bus="$(a11y_address)" --print-reply=literal --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.a11y.atspi.Registry \
        2>/dev/null | grep -q true
}
x11_wait_for registry_up || { echo "$x11_name: the accessibility registry did not start" >&2; exit 1; }
# Only the shelf speaks to the accessibility bus; the helper programs keep out.
export NO_AT_BRIDGE=1
timeout --kill-after=5 250 "$tests" "$@"
