#!/usr/bin/env bash
# Runs the shelf-map benchmark on a display of its own, under openbox.
#   bench/shelf-map.sh [BUILD_DIR] [benchmark arguments...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
source "$(dirname "$0")/../tests/x11/session.sh"
x11_start_session --bus
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
export TARVO_PROGRAM="$build/TarvoApp/tarvo"
export TARVO_GTK_PROBE="$build/tests/tarvo-test-gtk-probe"
export TARVO_DRAG_SOURCE="$build/tests/tarvo-test-drag-source"
"$build/bench/TarvoShelfMapBench" "$@"
