#!/usr/bin/env bash
# Builds corvella.dll (and the test program) for Windows with MinGW-w64:
#   windows/build.sh [x86_64|i686]...     (default: x86_64)
# Installs the missing Debian packages, cross-builds the codec and font libraries once (cached,
# see windows/deps.sh), then builds in build/windows-<arch>. Prints the path of each DLL.
set -euo pipefail
cd "$(dirname "$0")/.."

archs=("$@")
[ ${#archs[@]} -eq 0 ] && archs=(x86_64)
windows/install-deps.sh
for arch in "${archs[@]}"; do
  echo "== Windows $arch: libraries" >&2
  prefix=$(windows/deps.sh "$arch" | tail -n 1)
  echo "== Windows $arch: corvella.dll" >&2
  cmake -S windows -B "build/windows-$arch" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/windows/cmake/$arch-w64-mingw32.cmake" \
    -DCORVELLA_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "build/windows-$arch" -j "${CORVELLA_JOBS:-2}" >/dev/null
  echo "$PWD/build/windows-$arch/corvella.dll"
done
