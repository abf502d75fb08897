#!/usr/bin/env bash
# Runs the suite of drags out of the tarvo program's shelf into the desktop's
# own programs on a display, a window manager and a session bus of its own.
# With TARVO_TEST_DESKTOP=xfce, xfwm4 with its compositor on and xfce4-panel
# stand in for openbox.
#   run-shelf-dragout.sh TESTS TARVO DRAGOUT_TARGET GTK_PROBE [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
export TARVO_DRAGOUT_TARGET=$3
export TARVO_GTK_PROBE=$4
shift 4

x11_start_desktop xdotool thunar mousepad xfce4-terminal pcmanfm xterm import
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 250 "$tests" "$@"
