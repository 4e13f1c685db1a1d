#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages
configure_and_build default --target mandelbrot
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "error: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open." >&2
  echo "Run it on a virtual X server instead:  xvfb-run -a ./run.sh" >&2
  exit 1
fi
exec ./build/bin/mandelbrot "$@"
