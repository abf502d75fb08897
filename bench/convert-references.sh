#!/usr/bin/env bash
# Runs the image-conversion benchmark beside its two references: vipsthumbnail
# (libvips-tools) and ImageMagick's convert (imagemagick-6.q16), measured by GNU time. Both are
# installed here when missing and are needed by nothing but this comparison,
# so they are not in scripts/deps.
#   bench/convert-references.sh [BUILD_DIR] [benchmark options...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true

references=(libvips-tools imagemagick-6.q16 time)
missing=()
for p in "${references[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench: installing ${missing[*]} for the comparison"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

scripts/deps
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target TarvoConvertBench
"$build/bench/TarvoConvertBench" --benchmark_counters_tabular=true "$@"
