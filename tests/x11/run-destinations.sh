#!/usr/bin/env bash
# Runs the destination suite on a display and a session bus of its own: first
# with no window manager, then under openbox.
#   run-destinations.sh TESTS APP_WINDOW
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_APP_WINDOW=$2

x11_require Xvfb openbox dbus-daemon xprop
x11_start_display
# The stand-ins play the accessibility bus on the private session bus.
x11_start_bus
export QT_ACCESSIBILITY=0
timeout --kill-after=5 60 "$tests" --gtest_filter='DestinationsWithoutWindowManager.*'

x11_start_wm
timeout --kill-after=5 90 "$tests" --gtest_filter='DestinationsWithWindowManager.*'
