#!/usr/bin/env bash
# Runs the tray and shortcut suite on a display of its own, under openbox,
# with trayer as the tray and a private session bus without a notifier
# watcher, so the icon is embedded the XEmbed way.
#   run-shell.sh TESTS KEY_GRABBER [gtest arguments...]
set -euo pipefail
source "$(dirname "$0")/session.sh"

tests=$1
export TARVO_KEY_GRABBER=$2
shift 2

x11_start_session --bus trayer
trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --expand true --transparent false >"$x11_work/trayer.log" 2>&1 &
x11_pids+=($!)
export QT_ACCESSIBILITY=0
timeout --kill-after=5 170 "$tests" "$@"
