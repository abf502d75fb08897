#!/usr/bin/env bash
# Runs the image conversion beside its two references, vipsthumbnail
# (libvips-tools) and ImageMagick's convert (imagemagick-6.q16), like with like:
#  - whole processes in turn, A B A B: one conversion by TarvoConvertBench
#    --convert-once, then one by the reference, ROUNDS times (default 9); it
#    prints each side's median wall time and peak resident size and the median
#    of the per-round ratios, so that a change in the machine's load hits both
#    sides of a ratio alike;
#  - in process: the benchmark program, where one conversion stands beside
#    vips_thumbnail called in the same process.
# The references are installed here when missing and are needed by nothing but
# this comparison, so they are not in scripts/deps.
#   bench/convert-references.sh [BUILD_DIR] [benchmark options...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true
rounds=${ROUNDS:-9}

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
bench="$build/bench/TarvoConvertBench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photo="$work/photo-24mp.jpg"
"$bench" --write-photo "$photo"

# Runs a command once; prints its wall time in milliseconds and its peak
# resident size in MB (GNU time reports the peak of the command alone).
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v kb="$(cat "$work/rss")" \
    'BEGIN { printf "%.1f %.1f\n", ns / 1e6, kb / 1024 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

tarvo=("$bench" --convert-once "$photo" "$work/tarvo.jpg")
vipsthumbnail=(/usr/bin/vipsthumbnail "$photo" --size 1600 -o "$work/vips.jpg[Q=85]")
imagemagick=(/usr/bin/convert-im6.q16 "$photo" -resize 1600x1600 -quality 85 "$work/im.jpg")

# One warm-up of each, so that the first round reads nothing from the disk.
for name in tarvo vipsthumbnail imagemagick; do
  declare -n command=$name
  "${command[@]}" >/dev/null
done

echo
echo "Whole processes, $rounds rounds A B A B (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-14s %12s %12s %12s %12s %14s\n' reference tarvo_ms ref_ms tarvo_MB ref_MB ratio_median
for name in vipsthumbnail imagemagick; do
  declare -n reference=$name
  : >"$work/a"
  : >"$work/b"
  : >"$work/ratio"
  for ((i = 0; i < rounds; ++i)); do
    read -r a_ms a_mb < <(measure "${tarvo[@]}")
    read -r b_ms b_mb < <(measure "${reference[@]}")
    echo "$a_ms $a_mb" >>"$work/a"
    echo "$b_ms $b_mb" >>"$work/b"
    awk -v a="$a_ms" -v b="$b_ms" 'BEGIN { printf "%.3f\n", a / b }' >>"$work/ratio"
  done
  printf '%-14s %12s %12s %12s %12s %14s\n' "$name" \
    "$(cut -d' ' -f1 "$work/a" | median)" "$(cut -d' ' -f1 "$work/b" | median)" \
    "$(cut -d' ' -f2 "$work/a" | median)" "$(cut -d' ' -f2 "$work/b" | median)" \
    "$(median <"$work/ratio")"
done
echo

"$bench" --benchmark_counters_tabular=true "$@"
