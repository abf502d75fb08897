#!/usr/bin/env bash
# The shelf's first unfold in a freshly started program, on a display,
# window manager and session bus of its own (no other Tarvo answers there).
#   bench/first-unfold.sh [BUILD_DIR] [benchmark arguments...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
source "$(dirname "$0")/../tests/x11/session.sh"
x11_start_session --bus
unset QT_QPA_PLATFORM
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/TarvoFirstUnfoldBench" "$@"
