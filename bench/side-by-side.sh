#!/usr/bin/env bash
# Runs the side-by-side benchmarks with their reference installed: pdftoppm
# (poppler-utils), needed by nothing but this comparison, so not in scripts/deps.
#   bench/side-by-side.sh [BUILD_DIR] [benchmark options...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true

if ! dpkg-query -W -f='${Status}' poppler-utils 2>/dev/null | grep -q 'install ok installed'; then
  echo "bench: installing poppler-utils for the comparison"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq --no-install-recommends poppler-utils >/dev/null
fi

scripts/deps
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target TarvoSideBySideBench
"$build/bench/TarvoSideBySideBench" "$@"
