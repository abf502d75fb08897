#!/usr/bin/env bash
# Runs the panel-state suite on a display with no window manager: the tests
# act as the manager themselves.
#   run-panel-states.sh TESTS [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
shift

x11_require Xvfb
x11_start_display
export QT_ACCESSIBILITY=0
timeout --kill-after=5 80 "$tests" "$@"
