#!/usr/bin/env bash
# Runs the "Show in folder" suite on an Xfce desktop of its own: Xvfb, xfwm4,
# xfce4-panel and a session bus, with Thunar as it is installed (its daemon
# started only by the tests that want it).
#   run-reveal.sh TESTS [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
shift

x11_require Xvfb xfwm4 xfce4-panel xprop dbus-daemon thunar xdotool xdg-open
x11_start_display
x11_start_bus
xfwm4 --compositor=off >"$x11_work/xfwm4.log" 2>&1 &
x11_pids+=($!)
x11_wait_for x11_wm_ready || { echo "$x11_name: xfwm4 did not start" >&2; exit 1; }
xfce4-panel >"$x11_work/panel.log" 2>&1 &
x11_pids+=($!)
# As the Xfce session sets it: xdg-open then opens folders through exo-open.
export XDG_CURRENT_DESKTOP=XFCE QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 170 "$tests" "$@"
