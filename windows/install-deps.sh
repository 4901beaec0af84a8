#!/usr/bin/env bash
# Installs the Debian packages that the Windows build and its tests under Wine need, and only
# those that are missing: the MinGW-w64 cross toolchain (posix thread model), widl and the IDL
# files it imports, nasm for libjpeg-turbo's SIMD code, Wine with its VBScript engine, the fonts,
# and dpkg-dev for unpacking Debian's source packages. Safe to run any number of times.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake make dpkg-dev
  mingw-w64 mingw-w64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  nasm wine wine64 libwine-dev fonts-liberation2
)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$package")
  fi
done
# The Linux build of the component, for the parity check.
scripts/install-deps
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y \
  --no-install-recommends "${missing[@]}"
