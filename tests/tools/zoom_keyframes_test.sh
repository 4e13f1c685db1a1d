#!/usr/bin/env bash
# mandelbrot-zoom keyframes as users run them: split 1, 2 and 3 ways (by
# --tasks/--task, Slurm's and Kubernetes' variables) and with 1 or 2 threads,
# the keyframes are the same bytes; a run killed with SIGKILL mid-way and run
# again gives them too; a damaged keyframe is redone, a finished one skipped;
# a folder of another zoom is refused; the keyframes are in smooth colour
# with one colour map, unless in bands.
set -euo pipefail
zoom="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
view=(--size 64x36 -0.74534 0.11273 2e-6 400)

fail() { echo "FAIL: $*" >&2; exit 1; }
same() {  # folder [model]: every file of the model's (by default $dir/one) is there, the same bytes
  local name model=${2:-$dir/one}
  for name in $(cd "$model" && ls); do
    cmp -s "$model/$name" "$1/$name" || fail "$1/$name differs from $model/$name"
  done
  [ "$(ls "$1" | wc -l)" = "$(ls "$model" | wc -l)" ] || fail "$1 has other files than $model"
}

"$zoom" keyframes --out "$dir/one" --threads 2 "${view[@]}" >"$dir/one.summary"
count=$(sed -n 's/^keyframes=\([0-9]*\) rendered=\1 skipped=0 .*/\1/p' "$dir/one.summary")
[ -n "$count" ] && [ "$count" -ge 15 ] || fail "unexpected summary: $(cat "$dir/one.summary")"
echo "single run: $count keyframes"

# Smooth colour by default: each keyframe with its smooth map, and one colour
# map for the whole zoom in every record; in bands neither.
[ "$(ls "$dir/one" | grep -c 'smooth\.npy$')" = "$count" ] || fail "not one smooth map per keyframe"
grep -q '^colouring --colouring smooth --palette classic --density ' "$dir/one/keyframe-000000.txt" ||
  fail "keyframe 0's colouring: $(grep colouring "$dir/one/keyframe-000000.txt")"
[ "$(cat "$dir"/one/keyframe-*.txt | grep '^colour_map automatic ' | sort -u | wc -l)" = 1 ] ||
  fail "the keyframes' colour maps differ"
"$zoom" keyframes --out "$dir/bands" --colouring bands --frames 3 "${view[@]}" >/dev/null
[ -z "$(ls "$dir/bands" | grep 'smooth\.npy$')" ] && grep -q '^colour_map -$' "$dir/bands/keyframe-000002.txt" ||
  fail "bands: $(ls "$dir/bands")"
echo "smooth colour with one map, bands without"

for i in 0 1; do "$zoom" keyframes --out "$dir/two" --threads 1 --tasks 2 --task $i "${view[@]}" >/dev/null; done
same "$dir/two"
for i in 1 2 3; do  # a Slurm array numbered from 1
  SLURM_ARRAY_TASK_ID=$i SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=3 \
    "$zoom" keyframes --out "$dir/three" "${view[@]}" >"$dir/three.$i"
done
grep -q "rendered=$(( (count + 2) / 3 ))" "$dir/three.1" || fail "task 1 of 3: $(cat "$dir/three.1")"
same "$dir/three"
for i in 2 0 1; do JOB_COMPLETION_INDEX=$i "$zoom" keyframes --tasks 3 --out "$dir/k8s" "${view[@]}" >/dev/null; done
same "$dir/k8s"
echo "split 2 and 3 ways: identical"

# SIGKILL once a few keyframes are finished, then the same command again
# (larger keyframes, so that the kill comes mid-way).
large=(--size 400x224 -0.74534 0.11273 2e-6 400)
"$zoom" keyframes --out "$dir/whole" "${large[@]}" >"$dir/whole.summary"
count=$(sed -n 's/^keyframes=\([0-9]*\) .*/\1/p' "$dir/whole.summary")
"$zoom" keyframes --out "$dir/killed" --threads 1 "${large[@]}" >/dev/null &
pid=$!
while [ "$(ls "$dir/killed" 2>/dev/null | grep -c 'txt$' || true)" -lt 5 ]; do
  kill -0 $pid 2>/dev/null || fail "the run ended before it could be killed"
  sleep 0.05
done
kill -KILL $pid
wait $pid 2>/dev/null || true
left=$(ls "$dir/killed" | grep -c '^keyframe-.*txt$')
[ "$left" -lt "$count" ] || fail "the run finished before the kill"
"$zoom" keyframes --out "$dir/killed" --threads 2 "${large[@]}" >"$dir/rerun.summary"
grep -q "skipped=$left " "$dir/rerun.summary" || fail "rerun after $left keyframes: $(cat "$dir/rerun.summary")"
same "$dir/killed" "$dir/whole"
echo "killed after $left keyframes, rerun: identical"

# A damaged picture and a truncated count map are redone; nothing else is.
printf 'X' | dd of="$dir/killed/keyframe-000003.png" bs=1 seek=100 conv=notrunc status=none
truncate -s 500 "$dir/killed/keyframe-000007.npy"
"$zoom" keyframes --out "$dir/killed" "${large[@]}" >"$dir/repair.summary"
grep -q "rendered=2 skipped=$((count - 2)) " "$dir/repair.summary" || fail "repair: $(cat "$dir/repair.summary")"
same "$dir/killed" "$dir/whole"
echo "damaged keyframes redone: identical"

# Another zoom in the same folder, and bad command lines: exit status 2.
status=0
"$zoom" keyframes --out "$dir/one" --size 64x40 -0.74534 0.11273 2e-6 400 2>"$dir/err" || status=$?
[ $status = 2 ] && grep -q "another zoom" "$dir/err" || fail "another zoom: status $status, $(cat "$dir/err")"
for bad in "--png x.png" "--smooth s.npy" "--task 1" "--tasks 2 --task 2" "--frames 0"; do
  status=0
  # shellcheck disable=SC2086
  "$zoom" keyframes --out "$dir/bad" $bad "${view[@]}" 2>"$dir/err" || status=$?
  [ $status = 2 ] && [ "$(wc -l <"$dir/err")" = 1 ] || fail "$bad: status $status, $(cat "$dir/err")"
done
echo "other zoom and bad command lines refused"
