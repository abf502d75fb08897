#!/usr/bin/env bash
# Runs the side-by-side benchmarks: each measured path beside its reference in
# the same process (the fingerprint beside reading the file and hashing it with
# OpenSSL, a PDF page beside poppler drawing it), so no process start-up sits
# on one side only.
#   bench/side-by-side.sh [BUILD_DIR] [benchmark options...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true

scripts/deps
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target TarvoSideBySideBench
"$build/bench/TarvoSideBySideBench" "$@"
