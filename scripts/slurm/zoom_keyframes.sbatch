#!/usr/bin/env bash
# One task of a Slurm job array rendering a zoom's keyframes: task I of T
# renders the keyframes k with k mod T = I (mandelbrot-zoom reads
# SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT). Every task runs the same
# command; a rerun of the array skips the keyframes already finished.
#   sbatch --array=0-7 zoom_keyframes.sbatch DIR [keyframes options] REAL_MIN IMAG_MIN SIDE LIMIT
# MANDELBROT_ZOOM names the program when it is not on the PATH.
#SBATCH --job-name=zoom-keyframes
#SBATCH --ntasks=1
set -euo pipefail
dir="$1"
shift
exec "${MANDELBROT_ZOOM:-mandelbrot-zoom}" keyframes --out "$dir" "$@"
