#!/usr/bin/env bash
# Submits a zoom movie to Slurm: a job array of TASKS tasks for the keyframes,
# then the movie as a job that starts only once every task has succeeded.
#   submit_zoom.sh TASKS DIR "MOVIE OPTIONS" [keyframes options] REAL_MIN IMAG_MIN SIDE LIMIT
# such as
#   submit_zoom.sh 16 /shared/zoom "--fps 30 --seconds 60" --size 1280x720 \
#     -0.7436438870 0.1318259042 1e-100 20000
# DIR must be on a file system every node sees. Prints the two job ids.
# Extra sbatch options (a partition, a time limit) go in SBATCH_* variables,
# such as SBATCH_PARTITION. MANDELBROT_ZOOM names the program when it is not
# on the PATH of the nodes.
set -euo pipefail
if [ $# -lt 7 ]; then
  sed -n '2,12s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
tasks="$1" dir="$2" movie="$3"
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$dir"
array=$(sbatch --parsable --array=0-$((tasks - 1)) --output="$dir/slurm-keyframes-%a.log" \
  "$here/zoom_keyframes.sbatch" "$dir" "$@")
array=${array%%;*}
# shellcheck disable=SC2086  # the movie's options are words
movie_job=$(sbatch --parsable --dependency=afterok:"$array" --output="$dir/slurm-movie.log" \
  "$here/zoom_movie.sbatch" "$dir" $movie)
echo "keyframes job array $array, movie job ${movie_job%%;*}"
