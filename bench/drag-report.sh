#!/usr/bin/env bash
# Runs the drag-report benchmark on a display of its own, under openbox.
#   bench/drag-report.sh [BUILD_DIR] [benchmark arguments...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
source "$(dirname "$0")/../tests/x11/session.sh"
x11_start_session
export TARVO_GTK_PROBE="$build/tests/tarvo-test-gtk-probe"
"$build/bench/TarvoDragReportBench" "$@"
