#!/usr/bin/env bash
# Runs the first-hour suite on each desktop in turn, each on a display of its
# own with a private session bus: xfwm4 with xfce4-panel (its notification
# area hosting the tray item) at 1280x800 and again at 1920x1080 for the
# pictures, then openbox with no tray.
#   run-first-hour.sh TESTS TARVO [gtest arguments...]
#   run-first-hour.sh --desktop xfce|openbox TESTS TARVO [gtest arguments...]
set -euo pipefail

if [ "${1:-}" != --desktop ]; then
    here=$(dirname "$0")
    X11_SCREEN=1280x800 "$0" --desktop xfce "$@"
    X11_SCREEN=1920x1080 "$0" --desktop xfce "$@" \
        --gtest_filter='*Settings*:*Keyboard*:*RestingTab*'
    "$0" --desktop openbox "$@"
    exit 0
fi
export FIRST_HOUR_DESKTOP=$2
shift 2
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
shift 2
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1

x11_require Xvfb xprop dbus-daemon xdotool xterm import
x11_start_display
x11_start_bus
if [ "$FIRST_HOUR_DESKTOP" = xfce ]; then
    x11_start_xfce
    # The notification area hosts StatusNotifierItems once its host is up.
    host() {
        gdbus call --session --dest org.kde.StatusNotifierWatcher \
            --object-path /StatusNotifierWatcher \
            --method org.freedesktop.DBus.Properties.Get \
            org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null |
            grep -q true
    }
    x11_wait_for host || { echo "$x11_name: no tray host on the panel" >&2; exit 1; }
else
    x11_start_wm
fi
timeout --kill-after=5 200 "$tests" "$@"
