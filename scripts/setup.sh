#!/usr/bin/env bash
# Installs the Debian packages the project needs, if any are missing.
# Sourced by run.sh and test.sh.
set -euo pipefail

MANDEL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libhwy-dev libgtest-dev
  fontconfig fonts-ipafont-gothic
  libcanberra-dev libasound2-dev sound-theme-freedesktop libpng-dev libdeflate-dev
  libmpfr-dev libgmp-dev qt6-translations-l10n python3-numpy
  desktop-file-utils appstream
  xvfb xauth xdotool openbox
  ffmpeg slurm-wlm munge
)
# The engine's tests on 64-bit Arm (test.sh): a cross compiler, the arm64
# libraries from Debian's multiarch archive, and user-mode QEMU to run them.
MANDEL_ARM64_PACKAGES=(
  g++-aarch64-linux-gnu qemu-user
  libhwy-dev:arm64 libgtest-dev:arm64 libpng-dev:arm64 libdeflate-dev:arm64 libmpfr-dev:arm64 libgmp-dev:arm64
)

# Prints which of the project's packages and of the given ones are missing.
missing_packages() {
  local p
  for p in "${MANDEL_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      echo "$p"
    fi
  done
}

# Installs the project's packages and the given ones, where missing.
ensure_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing missing packages: $(echo $missing | tr '\n' ' ')"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo=(sudo)
    elif command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
      echo "sudo will ask for your password to install them."
    else
      echo "error: these Debian packages are missing and this user can neither run apt-get nor sudo:" >&2
      echo "  $missing" >&2
      echo "Ask an administrator to run: apt-get install $(echo $missing | tr '\n' ' ')" >&2
      exit 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  if echo "$missing" | grep -q ':arm64$' && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    "${sudo[@]}" dpkg --add-architecture arm64
  fi
  "${sudo[@]}" apt-get update -qq
  # shellcheck disable=SC2086
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends $missing
}

configure_and_build() {
  local preset="$1"
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" "$@"
}
