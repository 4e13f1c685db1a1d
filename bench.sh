#!/usr/bin/env bash
# Builds the benchmark in the default preset's build and runs it: for the
# start-up region, the six presets and a region inside the set, the reference
# path against the fast path (plain kernel and with the cycle check, on one
# thread and on every core). Arguments go to the benchmark, e.g.
#   ./bench.sh --repeat 15 --reference-repeat 3
# BENCH_BUILD_DIR=dir uses a separate Release build without the window instead.
set -euo pipefail
cd "$(dirname "$0")"

if [ -n "${BENCH_BUILD_DIR:-}" ]; then
  cmake -S . -B "$BENCH_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMANDEL_BUILD_UI=OFF >/dev/null
  cmake --build "$BENCH_BUILD_DIR" --target mandelbrot-bench >/dev/null
  bench="$BENCH_BUILD_DIR/bin/mandelbrot-bench"
else
  source scripts/setup.sh
  ensure_packages
  cmake --preset default >/dev/null
  cmake --build --preset default --target mandelbrot-bench >/dev/null
  bench=build/bin/mandelbrot-bench
fi
echo "== $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //') ($(nproc) cores)"
"$bench" "$@"
