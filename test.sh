#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
# The engine's tests also run under AddressSanitizer + UBSan and ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages
export QT_QPA_PLATFORM=offscreen

for preset in asan tsan default; do
  echo "== $preset: build"
  configure_and_build "$preset"
  echo "== $preset: test"
  ctest --preset "$preset" -j"$(nproc)"
done
