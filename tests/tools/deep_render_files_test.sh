#!/usr/bin/env bash
# mandelbrot-render --deep as a user runs it: the count map loads in numpy with
# the drawing's shape and counts, the flag map and the PNG agree with the
# summary on the pixels the precision cap left undecided, and Ctrl+C during a
# large drawing leaves neither of its files.
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

# The number of uncertified pixels: the summary's, the flag map's zeros and
# the PNG's closing text field (after the image data) are one number; the
# certified pixels have the counts of the drawing at the automatic cap.
check_flags() {  # name expectation(some|none) max-bits(or "") REAL_MIN IMAG_MIN SIDE LIMIT
  local name=$1 expect=$2 bits=$3
  shift 3
  "$render" --deep --size 16 ${bits:+--max-bits "$bits"} --flags "$dir/$name.flags.npy" \
    --counts "$dir/$name.npy" --png "$dir/$name.png" "$@" >"$dir/$name.summary"
  "$render" --deep --size 16 --counts "$dir/$name.exact.npy" "$@" >/dev/null
  "$python" - "$dir/$name" "$expect" <<'PY'
import struct
import sys
import numpy
base, expect = sys.argv[1], sys.argv[2]
summary = open(base + ".summary").read()
fields = dict(field.split("=") for field in summary.split())
uncertified = int(fields["uncertified_pixels"])
assert summary.rstrip("\n").endswith(" uncertified_pixels=%d" % uncertified), summary
flags = numpy.load(base + ".flags.npy")
assert flags.dtype == numpy.dtype("u1") and flags.shape == (16, 16), (flags.dtype, flags.shape)
assert set(numpy.unique(flags)) <= {0, 1}, numpy.unique(flags)
assert (flags == 0).sum() == uncertified, ((flags == 0).sum(), uncertified)
counts, exact = numpy.load(base + ".npy"), numpy.load(base + ".exact.npy")
assert (counts[flags == 1] == exact[flags == 1]).all(), "a certified count differs"
assert (expect == "some") == (uncertified > 0), (expect, uncertified)
png = open(base + ".png", "rb").read()
at, seen_data, text = 8, False, {}
while at < len(png):
    length, kind = struct.unpack(">I4s", png[at:at + 8])
    body = png[at + 8:at + 8 + length]
    if kind == b"IDAT":
        seen_data = True
    if kind == b"tEXt":
        keyword, value = body.split(b"\0", 1)
        text[keyword.decode()] = (value.decode(), seen_data)
    at += 12 + length
assert text["Uncertified pixels"] == (str(uncertified), True), text.get("Uncertified pixels")
assert text["Side length"][1] is False, "the location fields come before the image data"
print(base.rsplit("/", 1)[1], "uncertified", uncertified, "of", flags.size)
PY
}
# |c| = 2 crosses this view: at 64 bits some escape tests stay undecided, at
# the automatic cap none do. The other view needs no MPFR settling at all.
circle=(1.1999999999999999999999999999999999999999999999949 1.6 1e-17 50)
check_flags circle some 64 "${circle[@]}"
check_flags circle-auto none "" "${circle[@]}"
check_flags plain none 64 -0.7454 0.1128 0.0006 400

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
left=$(ls -A "$dir" | grep -v -e '^counts.npy$' -e '^picture.png$' -e '^summary$' -e '^circle' -e '^plain' || true)
rm -f "$dir.err"
echo "Ctrl+C: status $status (expected 130), left: [$left]"
[ "$status" -eq 130 ] && [ -z "$left" ]
