#!/usr/bin/env bash
# Pictures of the settings window, the rule editor and the tutorial under Xvfb
# with openbox, at device pixel ratios 1 and 2, into FOLDER.
#   tests/ui/Settings/shots.sh build/tests/tarvo-settings-shots FOLDER
set -euo pipefail
program=$1
out=$2
source "$(dirname "$0")/../../x11/session.sh"
x11_require Xvfb openbox
mkdir -p "$out"
for ratio in 1 2; do
    # A screen big enough for the window at twice its size.
    Xvfb -displayfd 3 -screen 0 "$((1280 * ratio))x$((800 * ratio))x24" -nolisten tcp \
        3>"$x11_work/display-$ratio" 2>"$x11_work/xvfb-$ratio.log" &
    x11_pids+=($!)
    x11_wait_for test -s "$x11_work/display-$ratio"
    export DISPLAY=":$(head -n1 "$x11_work/display-$ratio")"
    export HOME="$x11_work" XDG_CONFIG_HOME="$x11_work/config" XDG_CACHE_HOME="$x11_work/cache"
    export XDG_DATA_HOME="$x11_work/data" XDG_RUNTIME_DIR="$x11_work/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=xcb
    x11_start_wm
    QT_SCALE_FACTOR=$ratio "$program" "$out/ratio-$ratio"
done
