#!/usr/bin/env bash
# Runs the suite of drags into the desktop's own programs on a display, a
# window manager and a session bus of its own.
#   run-apps.sh TESTS GTK_PROBE [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_GTK_PROBE=$2
shift 2

x11_start_session --bus xdotool thunar mousepad xfce4-terminal chromium python3
# The programs need no accessibility bus of their own.
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
timeout --kill-after=5 220 "$tests" "$@"
