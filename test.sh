#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
# The engine's tests also run under AddressSanitizer + UBSan and ThreadSanitizer,
# and, cross-compiled for 64-bit Arm, under QEMU.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages "${MANDEL_ARM64_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen

for preset in asan tsan default arm64; do
  echo "== $preset: build"
  configure_and_build "$preset"
  echo "== $preset: test"
  ctest --preset "$preset" -j"$(nproc)"
done
