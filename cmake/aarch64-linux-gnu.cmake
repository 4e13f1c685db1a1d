# Cross build for 64-bit Arm Linux with Debian's cross compiler and the arm64
# packages of its multiarch layout (libhwy-dev:arm64, libgtest-dev:arm64).
# CTest runs the test programs under user-mode QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Packages and libraries from the arm64 folders (/usr/lib/aarch64-linux-gnu).
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# The C library and its loader must come from the same build. With only
# -L, QEMU takes the cross toolchain's loader but the loader finds the arm64
# libc.so.6 of libc6:arm64 first, a different build: threads then hang.
# LD_LIBRARY_PATH makes the loader take the cross toolchain's libraries.
set(CMAKE_CROSSCOMPILING_EMULATOR
    qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib)

# pkg-config (MPFR, GMP, libpng) must read the arm64 .pc files only, not the
# build machine's: PKG_CONFIG_LIBDIR replaces its default search path. The
# multiarch files name real paths (/usr/include, /usr/lib/aarch64-linux-gnu),
# so no sysroot is prefixed to them.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
