#!/usr/bin/env bash
# Runs the drag-out suite on a display of its own, under openbox.
#   run-dragout.sh TESTS TARGET SAVE_TARGET [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_DRAGOUT_TARGET=$2
export TARVO_DRAGOUT_SAVE_TARGET=$3
shift 3

x11_start_session
export QT_ACCESSIBILITY=0
timeout --kill-after=5 170 "$tests" "$@"
