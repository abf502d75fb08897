#!/usr/bin/env bash
# Runs the tutorial's suite on a display of its own under openbox, with a
# private session bus.
#   run-onboarding.sh TESTS TARVO [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_PROGRAM=$2
shift 2

x11_start_session --bus
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 150 "$tests" "$@"
