#!/usr/bin/env bash
# Runs the suite of drops onto the tarvo program from web browsers and an
# archiver on a display, a window manager and a session bus of its own. With
# TARVO_TEST_DESKTOP=xfce, xfwm4 with its compositor on and xfce4-panel stand
# in for openbox.
#   run-browser-drop.sh TESTS TARVO [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
shift 2

x11_require Xvfb xprop dbus-daemon xdotool chromium firefox-esr python3 xarchiver zip unzip
x11_start_display
if [ "${TARVO_TEST_DESKTOP:-}" = xfce ]; then
    x11_require xfwm4 xfce4-panel
    x11_start_bus
    xfwm4 --compositor=on >"$x11_work/xfwm4.log" 2>&1 &
    x11_pids+=($!)
    x11_wait_for x11_wm_ready || { echo "$x11_name: xfwm4 did not start" >&2; exit 1; }
    xfce4-panel >"$x11_work/panel.log" 2>&1 &
    x11_pids+=($!)
else
    x11_start_wm
    x11_start_bus
fi
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 360 "$tests" "$@"
