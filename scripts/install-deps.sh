#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, when it is missing:
# CMake and Ninja, the native compilers, GoogleTest's sources, the MinGW-w64
# cross compilers (posix thread model), Wine with its 32-bit part, Xvfb and
# ImageMagick for the window tests' screenshots, clang with libFuzzer for the
# fuzz targets, NSIS for the example add-on installer, zip for the release
# archive and faketime for its reproducibility check; and, where the kernel
# runs no 32-bit programs, the emulator that runs the 32-bit build.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v Xvfb >/dev/null || need+=(xvfb xauth)
command -v import >/dev/null || need+=(imagemagick)
command -v clang++ >/dev/null || need+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
command -v makensis >/dev/null || need+=(nsis)
command -v zip >/dev/null || need+=(zip)
command -v faketime >/dev/null || need+=(faketime)
if ! command -v wine >/dev/null || ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  # 32-bit programs need Wine's 32-bit half and the i386 X client libraries,
  # or they run without ever showing a window.
  need+=(fonts-wine wine wine64 wine32:i386 libx11-6:i386 libxext6:i386 libxrender1:i386 libxcursor1:i386
         libxi6:i386 libxrandr2:i386 libxinerama1:i386 libxcomposite1:i386 libfreetype6:i386
         libfontconfig1:i386)
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
if [ ${#need[@]} -gt 0 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  # A mirror caught mid-sync fails one index; the others still serve.
  $SUDO apt-get update -qq || echo "install-deps.sh: apt-get update reported a failed index; going on" >&2
  install "${need[@]}"
fi

# Where the kernel runs no 32-bit programs, the 32-bit build runs in a
# full-system emulator with Debian's own kernel (scripts/vm32.sh); so it does
# where SCENREG_WINE_32BIT=0 asks for that path (scripts/wine-loader.sh).
if [ "${SCENREG_WINE_32BIT:-}" = 0 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  emulator=()
  command -v qemu-system-x86_64 >/dev/null || emulator+=(qemu-system-x86)
  ls /boot/vmlinuz-* >/dev/null 2>&1 || emulator+=(linux-image-amd64)
  [ -x /bin/busybox ] || emulator+=(busybox-static)
  [ ${#emulator[@]} -eq 0 ] || install "${emulator[@]}"
fi
