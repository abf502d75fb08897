#!/usr/bin/env bash
# Runs the drag-capture suite on a display of its own, under openbox.
#   run.sh TESTS DRAG_SOURCE GTK_PROBE [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_DRAG_SOURCE=$2
export TARVO_GTK_PROBE=$3
shift 3

x11_start_session
timeout --kill-after=5 170 "$tests" "$@"
