#!/usr/bin/env bash
# Thumbnails of a large photo as whole processes, in one run: the corvella command against
# vipsthumbnail (Debian's libvips-tools), both single-threaded, 200 pixels wide, JPEG quality 75.
# Installs libvips-tools when it is missing. Uses hyperfine when it is installed, otherwise a loop
# timed with bash's time keyword; either way the wall-clock and processor times of several runs
# and their ratios are printed.
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

# Median of a list of numbers, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); if (NR % 2) print v[m]; else print (v[m] + v[m + 1]) / 2 }'; }

# Both the wall-clock time and the processor time (user + system) are reported: on a shared,
# loaded machine the wall-clock time swings with the other work, the processor time much less.
quote() { printf '%q ' "$@"; }
if command -v hyperfine >/dev/null; then
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" \
    -n corvella "$(quote "${ours[@]}")" -n vipsthumbnail "$(quote "${theirs[@]}")"
  field() { grep -o "\"$1\": *[0-9.eE+-]*" "$work/times.json" | sed 's/.*: *//' | sed -n "$2p"; }
  ourWall=$(field median 1)
  theirWall=$(field median 2)
  ourCpu=$(awk -v u="$(field user 1)" -v s="$(field system 1)" 'BEGIN { print u + s }')
  theirCpu=$(awk -v u="$(field user 2)" -v s="$(field system 2)" 'BEGIN { print u + s }')
  cpuKind="mean"
else
  # Alternating runs, so that both see the same state of the machine; bash's time keyword gives
  # wall-clock, user and system seconds of each run.
  TIMEFORMAT='%3R %3U %3S'
  "${ours[@]}" && "${theirs[@]}"  # warm-up
  for _ in $(seq "$runs"); do
    { time "${ours[@]}"; } 2>>"$work/ours"
    { time "${theirs[@]}"; } 2>>"$work/theirs"
  done
  ourWall=$(awk '{ print $1 }' "$work/ours" | median)
  theirWall=$(awk '{ print $1 }' "$work/theirs" | median)
  ourCpu=$(awk '{ print $2 + $3 }' "$work/ours" | median)
  theirCpu=$(awk '{ print $2 + $3 }' "$work/theirs" | median)
  cpuKind="median"
fi

awk -v ow="$ourWall" -v tw="$theirWall" -v oc="$ourCpu" -v tc="$theirCpu" -v runs="$runs" \
  -v kind="$cpuKind" 'BEGIN {
  printf "wall clock, median of %d runs: corvella %.3f s, vipsthumbnail %.3f s, ratio %.2f\n", runs, ow, tw, ow / tw
  printf "processor time (user + system), %s: corvella %.3f s, vipsthumbnail %.3f s, ratio %.2f\n", kind, oc, tc, oc / tc
  print "ratio = corvella / vipsthumbnail; below 1 means corvella is faster"
}'
