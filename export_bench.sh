#!/usr/bin/env bash
# Builds mandelbrot-export-bench in the default preset's build and measures
# picture export at sizes 500 to 32000 on the third preset and on a region
# inside the set: compute time (the computation alone), encode time
# (processor time of colouring, encoding and writing, on a thread of its own
# beside the computation), total time of the export, lane-iterations per second of the
# computation, peak RSS of the process and file size. Prints a Markdown
# table of medians over several runs. Each size runs in a process of its own,
# so that its peak RSS is its own.
#   ./export_bench.sh [--sizes "500 2000 ..."] [--format png|bmp] [--no-overlap] [--png-level L]
#                     [--png-strategy rle|default]
set -euo pipefail
cd "$(dirname "$0")"

sizes="500 2000 8000 16000 32000"
bench_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --sizes) sizes=$2; shift 2 ;;
    *) bench_args+=("$1"); shift ;;
  esac
done

source scripts/setup.sh
ensure_packages
cmake --preset default >/dev/null
cmake --build --preset default --target mandelbrot-export-bench >/dev/null
bench=build/bin/mandelbrot-export-bench

regions=("preset 3|-0.775 0.107 0.01 180" "interior|-0.3 -0.3 0.2 1500")
echo "== $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //') ($(nproc) cores); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| region | size | compute ms | encode ms | total ms | total / compute | 10⁹ lane-iterations/s | peak RSS MB | file bytes |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for entry in "${regions[@]}"; do
  name=${entry%%|*}
  read -r -a region <<<"${entry#*|}"
  for size in $sizes; do
    # Medians of several runs; small pictures take milliseconds, the largest a minute.
    repeat=3
    [ "$size" -le 2000 ] && repeat=15
    [ "$size" -ge 32000 ] && repeat=1
    line=$("$bench" --repeat "$repeat" "${bench_args[@]}" "$size" "${region[@]}")
    value() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$line"; }
    echo "| $name | $size | $(value compute_ms) | $(value encode_ms) | $(value total_ms) | $(value total_per_compute) | $(value giga_lane_iterations_per_s) | $(value peak_rss_mb) | $(value file_bytes) |"
  done
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
