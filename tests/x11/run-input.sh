#!/usr/bin/env bash
# Runs the suite of keys and clicks on the running tarvo program on a display,
# a window manager and a session bus of its own.
#   run-input.sh TESTS TARVO [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
shift 2

x11_start_session --bus xclip
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 200 "$tests" "$@"
