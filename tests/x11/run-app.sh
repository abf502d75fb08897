#!/usr/bin/env bash
# Runs the tarvo program's suite on a display and a session bus of its own:
# first with no window manager, then under openbox.
#   run-app.sh TESTS TARVO DRAG_SOURCE
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
export TARVO_DRAG_SOURCE=$3

x11_require Xvfb openbox dbus-daemon xprop
x11_start_display
x11_start_bus
export QT_ACCESSIBILITY=0
timeout --kill-after=5 120 "$tests"

x11_start_wm
timeout --kill-after=5 120 "$tests"
