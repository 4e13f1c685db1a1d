#!/usr/bin/env bash
# mandelbrot-zoom movie as users run it: the frame count and duration asked
# for (read back with ffprobe), an H.264 yuv420p MP4, the first frame the
# deepest keyframe and the last the whole set; a missing keyframe, an odd
# size and Ctrl+C leave no movie behind.
set -euo pipefail
zoom="$1"
python="$2"
for program in ffmpeg ffprobe; do
  command -v $program >/dev/null || { echo "SKIP: $program is missing (Debian's ffmpeg package)"; exit 0; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$zoom" keyframes --out "$dir/keys" --size 128x72 -0.74534 0.11273 2e-6 400 >/dev/null
last=$(($(ls "$dir/keys" | grep -c '^keyframe-.*txt$') - 1))
"$zoom" movie "$dir/keys" --fps 10 --seconds 2.5 >"$dir/summary"
grep -q "^frames=25 size=128x72 .* path=$dir/keys/zoom.mp4$" "$dir/summary" || fail "summary: $(cat "$dir/summary")"
probe=$(ffprobe -v error -select_streams v:0 -count_frames \
  -show_entries stream=codec_name,pix_fmt,width,height,nb_read_frames:format=duration -of csv=p=0 "$dir/keys/zoom.mp4" |
  tr '\n' ',')
[ "$probe" = "h264,128,72,yuv420p,25,2.500000," ] || fail "ffprobe: $probe"
echo "movie: $probe"

raw() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgb24 -; }
raw "$dir/keys/zoom.mp4" >"$dir/frames.rgb"
raw "$dir/keys/keyframe-000000.png" >"$dir/first.rgb"
raw "$dir/keys/keyframe-$(printf %06d $last).png" >"$dir/last.rgb"
"$python" - "$dir" <<'PY'
import sys
import numpy
d = sys.argv[1]
frames = numpy.fromfile(d + "/frames.rgb", numpy.uint8).reshape(-1, 72, 128, 3).astype(int)
first = numpy.fromfile(d + "/first.rgb", numpy.uint8).reshape(72, 128, 3).astype(int)
last = numpy.fromfile(d + "/last.rgb", numpy.uint8).reshape(72, 128, 3).astype(int)
# Mean colour difference of 4x4 blocks: H.264 halves the colours'
# resolution (yuv420p), which blurs these sharp pictures' edges.
def distance(a, b):
    blocks = lambda x: x.reshape(18, 4, 32, 4, 3).mean(axis=(1, 3))
    return float(numpy.abs(blocks(a) - blocks(b)).mean())
# Lossy encoding leaves small differences; the other keyframe is far.
print("first frame to keyframe 0: %.1f, to the last keyframe: %.1f" % (distance(frames[0], first), distance(frames[0], last)))
print("last frame to the last keyframe: %.1f, to keyframe 0: %.1f" % (distance(frames[-1], last), distance(frames[-1], first)))
assert distance(frames[0], first) < 4 and distance(frames[0], last) > 30
assert distance(frames[-1], last) < 4 and distance(frames[-1], first) > 30
PY

# A size of the movie's own, and the mistakes.
"$zoom" movie "$dir/keys" --fps 24 --seconds 1 --size 256x144 --out "$dir/large.mp4" >/dev/null
[ "$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$dir/large.mp4")" = "256,144" ] || fail "--size"
status=0
"$zoom" movie "$dir/keys" --fps 24 --seconds 1 --size 65x36 --out "$dir/odd.mp4" 2>"$dir/err" || status=$?
[ $status = 2 ] && [ ! -e "$dir/odd.mp4" ] || fail "odd size: status $status, $(cat "$dir/err")"
mv "$dir/keys/keyframe-000002.npy" "$dir/away.npy"
status=0
"$zoom" movie "$dir/keys" --fps 24 --seconds 1 --out "$dir/gap.mp4" 2>"$dir/err" || status=$?
[ $status = 1 ] && grep -q "keyframe 2 .* is missing or damaged" "$dir/err" && [ ! -e "$dir/gap.mp4" ] ||
  fail "missing keyframe: status $status, $(cat "$dir/err")"
mv "$dir/away.npy" "$dir/keys/keyframe-000002.npy"

# Ctrl+C while encoding: exit 1 and neither the movie nor a partial one.
"$zoom" movie "$dir/keys" --fps 30 --seconds 600 --size 640x360 --out "$dir/long.mp4" 2>"$dir/err" &
pid=$!
sleep 1
kill -INT $pid
status=0
wait $pid || status=$?
[ $status = 1 ] && grep -q "interrupted" "$dir/err" || fail "Ctrl+C: status $status, $(cat "$dir/err")"
[ -z "$(ls -A "$dir" | grep -i 'long')" ] || fail "Ctrl+C left $(ls -A "$dir")"
echo "odd size, missing keyframe and Ctrl+C leave no movie"
