#!/usr/bin/env bash
# Runs the hand-off suite (xterm, Mousepad) on a display, a window manager and
# a session bus of its own.
#   run-handoff.sh TESTS [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
shift

x11_start_session --bus xdotool xterm mousepad
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 170 "$tests" "$@"
