#!/usr/bin/env bash
# The movie of a keyframes folder, once the array has rendered every keyframe:
#   sbatch --dependency=afterok:ARRAY_JOB zoom_movie.sbatch DIR --fps F --seconds S [--size WxH] [--out PATH]
# MANDELBROT_ZOOM names the program when it is not on the PATH.
#SBATCH --job-name=zoom-movie
#SBATCH --ntasks=1
set -euo pipefail
exec "${MANDELBROT_ZOOM:-mandelbrot-zoom}" movie "$@"
