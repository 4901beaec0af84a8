#!/usr/bin/env bash
# Cross-builds the libraries behind the codecs and the text overlay (zlib, libpng, giflib,
# libjpeg-turbo, FreeType) as static Windows libraries, from Debian's own source packages of the
# versions that the Linux build uses, so that both builds decode, encode and draw the same pixels.
#
#   windows/deps.sh x86_64|i686
#
# The result is cached: a prefix (include/, lib/) per architecture under
# ${CORVELLA_WIN_CACHE:-${XDG_CACHE_HOME:-~/.cache}/corvella-win}, keyed by the library versions and
# this script's contents, so that a second run does nothing. The last line printed is the prefix.
# Needs the toolchain that windows/install-deps.sh installs, and root (or sudo) for the deb-src
# list. Exits with 77 when the sources cannot be had (no archive, no network, no root): that is
# the machine's failing, not the code's; any other failure exits with 1.
set -euo pipefail

arch=${1:?usage: windows/deps.sh x86_64|i686}
case "$arch" in
  x86_64) host=x86_64-w64-mingw32 processor=AMD64 ;;
  i686) host=i686-w64-mingw32 processor=x86 ;;
  *) echo "deps.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
cache=${CORVELLA_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvella-win}
jobs=${CORVELLA_JOBS:-2}
mkdir -p "$cache/sources"

say() { echo "[deps $arch] $*" >&2; }
unavailable() {
  echo "deps.sh: $*" >&2
  exit 77
}
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# --- Debian source packages ----------------------------------------------------------------------

# The source packages and the Linux development packages whose versions they must match.
libraries=(
  "zlib zlib1g-dev"
  "libpng1.6 libpng-dev"
  "giflib libgif-dev"
  "libjpeg-turbo libjpeg62-turbo-dev"
  "freetype libfreetype-dev"
)

sources_list=/etc/apt/sources.list.d/corvella-src.sources

# Adds deb-src entries for the same archives as the machine's binary entries, once.
ensure_source_list() {
  local known
  known=$(apt-cache showsrc zlib 2>/dev/null || true)
  if [ -f "$sources_list" ] && grep -q '^Package:' <<<"$known"; then
    return
  fi
  if [ ${#sudo[@]} -ne 0 ] && ! command -v sudo >/dev/null; then
    unavailable "need root (or sudo) to add $sources_list"
  fi
  if [ ! -f "$sources_list" ]; then
    say "adding Debian source archives ($sources_list)"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        "${sudo[@]}" tee "$sources_list" >/dev/null || unavailable "cannot write $sources_list"
    else
      "${sudo[@]}" tee "$sources_list" >/dev/null <<'EOF' || unavailable "cannot write $sources_list"
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    fi
  fi
  say "apt-get update"
  "${sudo[@]}" apt-get update >/dev/null || unavailable "apt-get update failed"
}

# The source version of the installed Linux package, e.g. 1:2.1.5-2.
linux_version() {
  dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true
}

upstream_of() {
  local v=${1#*:}
  echo "${v%-*}"
}

# Fetches a source package into $cache/sources: the exact version of the Linux package when the
# archive still has it, else the newest revision of the same upstream version (a Debian security
# revision; the pixels do not change). Prints the version fetched.
fetch_source() {
  local package=$1 wanted=$2 candidates version
  candidates=$( (
    [ -n "$wanted" ] && echo "$wanted"
    apt-cache showsrc "$package" | awk '/^Version:/ {print $2}' | sort -rV
  ) | awk '!seen[$0]++')
  for version in $candidates; do
    if [ -n "$wanted" ] && [ "$(upstream_of "$version")" != "$(upstream_of "$wanted")" ]; then
      continue
    fi
    local dsc="${package}_${version#*:}.dsc"
    if [ -f "$cache/sources/$dsc" ] ||
      (cd "$cache/sources" && apt-get source --download-only "$package=$version" >/dev/null 2>&1); then
      if [ -n "$wanted" ] && [ "$version" != "$wanted" ]; then
        say "$package $wanted is no longer in the archive; using $version (same upstream version)"
      fi
      echo "$version"
      return
    fi
  done
  unavailable "no source of $package ${wanted:-(any version)} could be fetched"
}

# --- the cache key -------------------------------------------------------------------------------

key_text="$(sha256sum "$0" | cut -c1-16)"
for entry in "${libraries[@]}"; do
  read -r package linux <<<"$entry"
  key_text+=" $package=$(linux_version "$linux")"
done
key=$(echo "$key_text $host" | sha256sum | cut -c1-12)
prefix="$cache/$arch-$key"
if [ -f "$prefix/.complete" ]; then
  say "cached in $prefix"
  echo "$prefix"
  exit 0
fi

ensure_source_list
work=$(mktemp -d "${TMPDIR:-/tmp}/corvella-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib"

declare -A source_dir
for entry in "${libraries[@]}"; do
  read -r package linux <<<"$entry"
  version=$(fetch_source "$package" "$(linux_version "$linux")")
  dsc="$cache/sources/${package}_${version#*:}.dsc"
  # dpkg-source applies Debian's patches, as the Debian build does.
  (cd "$work" && dpkg-source --no-check -x "$dsc" "$package" >/dev/null)
  source_dir[$package]="$work/$package"
  echo "$package $version" >>"$prefix/VERSIONS"
  say "$package $version"
done

cc="$host-gcc-posix"
toolchain="$work/toolchain.cmake"
cat >"$toolchain" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $host-gcc-posix)
set(CMAKE_CXX_COMPILER $host-g++-posix)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$host $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
cmake_common=(-G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_C_FLAGS="-O2")

# zlib: the library only (Debian's source has no Windows makefile; the library is fifteen files).
say "building zlib"
(cd "${source_dir[zlib]}" &&
  for file in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
    inftrees trees uncompr zutil; do
    "$cc" -O2 -Wall -c "$file.c" -o "$work/z-$file.o"
  done &&
  "$host-ar" rcs "$prefix/lib/libz.a" "$work"/z-*.o &&
  cp zlib.h zconf.h "$prefix/include/")

# libpng: static only, on our zlib.
say "building libpng"
cmake -S "${source_dir[libpng1.6]}" -B "$work/build-png" "${cmake_common[@]}" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" >/dev/null
cmake --build "$work/build-png" -j "$jobs" --target png_static >/dev/null
cp "${source_dir[libpng1.6]}"/png.h "${source_dir[libpng1.6]}"/pngconf.h \
  "$work/build-png/pnglibconf.h" "$prefix/include/"
cp "$work/build-png/libpng16.a" "$prefix/lib/libpng16.a"
cp "$prefix/lib/libpng16.a" "$prefix/lib/libpng.a"

# giflib: its Makefile builds shared objects and tools as well; the library is eight files.
say "building giflib"
(cd "${source_dir[giflib]}" &&
  for file in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
    "$cc" -O2 -Wall -c "$file.c" -o "$work/gif-$file.o"
  done &&
  "$host-ar" rcs "$prefix/lib/libgif.a" "$work"/gif-*.o &&
  cp gif_lib.h "$prefix/include/")

# libjpeg-turbo: the 6.2 API with the SIMD extensions (nasm), as Debian configures it.
say "building libjpeg-turbo"
cmake -S "${source_dir[libjpeg-turbo]}" -B "$work/build-jpeg" "${cmake_common[@]}" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
  -DCMAKE_ASM_NASM_COMPILER=nasm >/dev/null
cmake --build "$work/build-jpeg" -j "$jobs" --target jpeg-static >/dev/null
cp "${source_dir[libjpeg-turbo]}"/{jpeglib.h,jmorecfg.h,jerror.h} "$work/build-jpeg/jconfig.h" \
  "$prefix/include/"
cp "$work/build-jpeg/libjpeg.a" "$prefix/lib/libjpeg.a"

# FreeType: as Debian configures it (no bzip2, no HarfBuzz), on our zlib; colour bitmaps (PNG)
# and WOFF2 (Brotli) are left out, since only outline fonts are drawn.
say "building FreeType"
cmake -S "${source_dir[freetype]}" -B "$work/build-freetype" "${cmake_common[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_BROTLI=ON \
  -DFT_DISABLE_PNG=ON -DFT_REQUIRE_ZLIB=ON -DZLIB_LIBRARY="$prefix/lib/libz.a" \
  -DZLIB_INCLUDE_DIR="$prefix/include" >/dev/null
cmake --build "$work/build-freetype" -j "$jobs" >/dev/null
cmake --install "$work/build-freetype" >/dev/null

touch "$prefix/.complete"
say "done: $prefix"
echo "$prefix"
