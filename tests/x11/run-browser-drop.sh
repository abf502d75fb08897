#!/usr/bin/env bash
# Runs the suite of drops onto the tarvo program from web browsers and an
# archiver, and of drags out of it onto a browser's page and a window that
# saves by direct save, on a display, a window manager and a session bus of
# its own. With TARVO_TEST_DESKTOP=xfce, xfwm4 with its compositor on and
# xfce4-panel stand in for openbox.
#   run-browser-drop.sh TESTS TARVO SAVE_TARGET [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
export TARVO_DRAGOUT_SAVE_TARGET=$3
shift 3

x11_start_desktop xdotool chromium firefox-esr python3 xarchiver zip unzip import
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 560 "$tests" "$@"
