#!/usr/bin/env bash
# mandelbrot-render --deep as a user runs it: the count map loads in numpy with
# the drawing's shape and counts, and Ctrl+C during a large drawing leaves
# neither of its files.
set -euo pipefail
render="$1"
python="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$render" --deep --size 48x32 --counts "$dir/counts.npy" --png "$dir/picture.png" \
  -0.7454 0.1128 0.0006 400 >"$dir/summary"
"$python" - "$dir/counts.npy" "$dir/summary" <<'PY'
import sys
import numpy
counts = numpy.load(sys.argv[1])
summary = dict(field.split("=") for field in open(sys.argv[2]).read().split())
assert counts.dtype == numpy.dtype("<i4"), counts.dtype
assert counts.shape == (32, 48), counts.shape
assert counts.sum() == int(summary["iterations"]), (counts.sum(), summary)
assert 1 <= counts.min() and counts.max() <= 400 and len(numpy.unique(counts)) > 10
print("count map", counts.shape, counts.dtype, counts.min(), counts.max())
PY

"$render" --deep --size 32000 --counts "$dir/big.npy" --png "$dir/big.png" -0.7454 0.1128 0.0006 400 \
  >/dev/null 2>"$dir.err" &
pid=$!
until ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- "$dir/"; do
  kill -0 "$pid" 2>/dev/null || { echo "the renderer ended before writing"; cat "$dir.err"; exit 1; }
  sleep 0.05
done
sleep 0.5
kill -s INT "$pid"
status=0
{ wait "$pid"; } 2>/dev/null || status=$?
left=$(ls -A "$dir" | grep -v -e '^counts.npy$' -e '^picture.png$' -e '^summary$' || true)
rm -f "$dir.err"
echo "Ctrl+C: status $status (expected 130), left: [$left]"
[ "$status" -eq 130 ] && [ -z "$left" ]
