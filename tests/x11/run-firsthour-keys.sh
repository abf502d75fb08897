#!/usr/bin/env bash
# Runs the first hour's shortcut suite on a display of its own under openbox,
# or with TARVO_TEST_DESKTOP=xfce under xfwm4 (its compositor on) and
# xfce4-panel; the suite changes the key map with xmodmap, which goes with
# the display.
#   run-firsthour-keys.sh TESTS [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
shift

x11_start_desktop xmodmap
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 110 "$tests" "$@"
