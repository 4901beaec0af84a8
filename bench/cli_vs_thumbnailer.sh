#!/usr/bin/env bash
# Thumbnails of a large photo as whole processes, in one run: the corvella command against
# vipsthumbnail (Debian's libvips-tools), both single-threaded, 200 pixels wide, JPEG quality 75.
# Installs libvips-tools when it is missing. Uses hyperfine when it is installed, otherwise a loop
# timed with date; either way the medians of several runs and their ratio are printed.
#   bench/cli_vs_thumbnailer.sh [RUNS]        (default 7 runs each, after one warm-up run)
# Environment: CORVELLA (the program to time, default build/release/cli/corvella, built when
# missing), IMAGE (default tests/data/images/seeding_5312x2988_base.jpg).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-7}
image=$(realpath "${IMAGE:-tests/data/images/seeding_5312x2988_base.jpg}")
corvella=${CORVELLA:-build/release/cli/corvella}
[ -x "$corvella" ] || scripts/build release >/dev/null
corvella=$(realpath "$corvella")

if ! dpkg -s libvips-tools 2>/dev/null | grep -q '^Status: install ok installed'; then
  echo "installing: libvips-tools"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root (or sudo) to install libvips-tools" >&2; exit 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y \
    --no-install-recommends libvips-tools
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ours=("$corvella" convert "$image" "$work/corvella.jpg" --resample 200,0 --quality 75)
theirs=(vipsthumbnail "$image" --size 200x -o "$work/vips.jpg[Q=75]")
export VIPS_CONCURRENCY=1  # libvips is single-threaded like the component

# One run each first: both must work and make a 200-pixel-wide JPEG.
if ! "${ours[@]}" 2>"$work/error"; then
  echo "corvella cannot make the thumbnail in this build: $(cat "$work/error")" >&2
  exit 1
fi
"${theirs[@]}"
echo "corvella:      $("$corvella" info "$work/corvella.jpg")"
echo "vipsthumbnail: $("$corvella" info "$work/vips.jpg")"

# Median of a list of seconds, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); if (NR % 2) print v[m]; else print (v[m] + v[m + 1]) / 2 }'; }

quote() { printf '%q ' "$@"; }
if command -v hyperfine >/dev/null; then
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" \
    -n corvella "$(quote "${ours[@]}")" -n vipsthumbnail "$(quote "${theirs[@]}")"
  mapfile -t medians < <(grep -o '"median": *[0-9.eE+-]*' "$work/times.json" | sed 's/.*: *//')
  ourMedian=${medians[0]}
  theirMedian=${medians[1]}
else
  # Alternating runs, so that both see the same state of the machine.
  "${ours[@]}" && "${theirs[@]}"  # warm-up
  : >"$work/ours"
  : >"$work/theirs"
  for _ in $(seq "$runs"); do
    start=$(date +%s.%N); "${ours[@]}"; end=$(date +%s.%N)
    awk -v a="$end" -v b="$start" 'BEGIN { print a - b }' >>"$work/ours"
    start=$(date +%s.%N); "${theirs[@]}"; end=$(date +%s.%N)
    awk -v a="$end" -v b="$start" 'BEGIN { print a - b }' >>"$work/theirs"
  done
  ourMedian=$(median <"$work/ours")
  theirMedian=$(median <"$work/theirs")
fi

awk -v ours="$ourMedian" -v theirs="$theirMedian" -v runs="$runs" 'BEGIN {
  printf "median of %d runs: corvella %.3f s, vipsthumbnail %.3f s\n", runs, ours, theirs
  printf "corvella / vipsthumbnail = %.2f (below 1: corvella is faster)\n", ours / theirs
}'
