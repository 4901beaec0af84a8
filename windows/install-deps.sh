#!/usr/bin/env bash
# Installs the Debian packages that the Windows build and its tests under Wine need, and only
# those that `dpkg -s` does not report installed: the MinGW-w64 cross toolchain (posix thread
# model), widl and the IDL files it imports, nasm for libjpeg-turbo's SIMD code, Wine with its
# VBScript engine, the fonts, dpkg-dev for unpacking Debian's source packages, and the Linux
# build's own packages (for the parity check). One `apt-get update` and one install for all of
# them, none when nothing is missing. Safe to run any number of times.
set -euo pipefail
cd "$(dirname "$0")/.."

exec scripts/install-deps \
  dpkg-dev \
  mingw-w64 mingw-w64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
  nasm wine wine64 libwine-dev fonts-liberation2
