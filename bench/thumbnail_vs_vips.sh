#!/usr/bin/env bash
# corvella thumbnail against single-threaded vipsthumbnail, as whole processes, side by side in
# one run, on large photos (12 to 24 megapixels: the bundled ones of that size, and bundled
# photos enlarged to it when there are fewer than four), 200 pixels wide:
#   1. time per photo: corvella thumbnail --jobs 1 and vipsthumbnail -s 200x100000 (goal: ratio
#      at most 0.4);
#   2. quality per photo: the PSNR of the thumbnail, of vipsthumbnail's and of the exact bilinear
#      convert --resample 200,0, each written losslessly (PNG) and measured against the photo
#      reduced by an exact area filter in floating point;
#   3. a batch of 40 photos with --jobs 2 against --jobs 1 (goal: ratio at most 0.6).
#   bench/thumbnail_vs_vips.sh [RUNS]        (default 5 runs each, after one warm-up run)
# Environment: CORVELLA (default build/release/cli/corvella, built when missing), PHOTOS (a
# folder of JPEG photos to use instead). Needs hyperfine, libvips-tools, python3-numpy and
# python3-pil (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
corvella=${CORVELLA:-build/release/cli/corvella}
[ -x "$corvella" ] || scripts/build release >/dev/null
corvella=$(realpath "$corvella")
scripts/install-deps hyperfine libvips-tools python3-numpy python3-pil >&2
quality=bench/thumbnail_quality.py
export VIPS_CONCURRENCY=1  # vipsthumbnail on one thread, like one thumbnail job

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"

# The photos: a folder given, else the bundled photos of 12 megapixels or more, topped up with
# bundled photos enlarged to 18 and 24 megapixels.
images=/work/shared/images
[ -d "$images" ] || images=tests/data/images
if [ -n "${PHOTOS:-}" ]; then
  cp "$PHOTOS"/*.jpg "$work/photos/"
else
  for photo in "$images"/*.jpg; do
    read -r w h < <("$corvella" info "$photo" | sed -E 's/.* ([0-9]+)x([0-9]+) .*/\1 \2/')
    if [ $((w * h)) -ge 12000000 ]; then cp "$photo" "$work/photos/"; fi
  done
  /usr/bin/python3 "$quality" enlarge "$images/umang_3840x2160_base444.jpg" \
    "$work/photos/umang_enlarged_5760x3240.jpg" 5760 3240
  /usr/bin/python3 "$quality" enlarge "$images/egret_600x450.jpg" \
    "$work/photos/egret_enlarged_5664x4248.jpg" 5664 4248
fi

echo "machine: $(nproc) processors, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# Values of one field of a hyperfine JSON export, one per command; the processor time (user +
# system, mean) per command. On a loaded machine the wall-clock time swings with the other work,
# the processor time much less, so both are reported.
field() { grep -o "\"$1\": *[0-9.eE+-]*" "$2" | sed 's/.*: *//'; }
cpu() { paste <(field user "$1") <(field system "$1") | awk '{ print $1 + $2 }'; }

summary=()
for photo in "$work"/photos/*.jpg; do
  name=$(basename "$photo" .jpg)
  echo "== $name: $("$corvella" info "$photo" | cut -d: -f2-)"
  ours=("$corvella" thumbnail "$photo" --size 200x100000 --jobs 1 -o "$work/$name.ours.jpg")
  theirs=(vipsthumbnail "$photo" -s 200x100000 -o "$work/$name.vips.jpg[Q=80]")
  quote() { printf '%q ' "$@"; }
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" \
    -n thumbnail "$(quote "${ours[@]}")" -n vipsthumbnail "$(quote "${theirs[@]}")" >/dev/null
  medians=($(field median "$work/times.json"))
  cpu=($(cpu "$work/times.json"))
  ratio=$(awk -v a="${medians[0]}" -v b="${medians[1]}" 'BEGIN { printf "%.2f", a / b }')
  cpuRatio=$(awk -v a="${cpu[0]}" -v b="${cpu[1]}" 'BEGIN { printf "%.2f", a / b }')

  # Lossless outputs, so that the PSNR measures the reduction and not the JPEG encoder.
  "$corvella" thumbnail "$photo" --size 200x100000 -o "$work/$name.ours.png"
  vipsthumbnail "$photo" -s 200x100000 -o "$work/$name.vips.png"
  "$corvella" convert "$photo" "$work/$name.resample.png" --resample 200,0
  psnr=($(/usr/bin/python3 "$quality" psnr "$photo" "$work/$name".{ours,vips,resample}.png |
    sed -E 's/.*PSNR ([0-9.]+) dB/\1/'))
  printf '   wall clock (median of %d): thumbnail %.3f s, vipsthumbnail %.3f s, ratio %s (goal <= 0.4)\n' \
    "$runs" "${medians[0]}" "${medians[1]}" "$ratio"
  printf '   processor time (mean): thumbnail %.3f s, vipsthumbnail %.3f s, ratio %s\n' \
    "${cpu[0]}" "${cpu[1]}" "$cpuRatio"
  printf '   PSNR against the area reference: thumbnail %s dB, vipsthumbnail %s dB, resample %s dB\n' \
    "${psnr[0]}" "${psnr[1]}" "${psnr[2]}"
  summary+=("$(printf '%-28s %6.3f %6.3f %5s  %5s  %6s %6s %6s' "$name" "${medians[0]}" \
    "${medians[1]}" "$ratio" "$cpuRatio" "${psnr[0]}" "${psnr[1]}" "${psnr[2]}")")
done

echo
echo "== batch of 40 photos, --jobs 2 against --jobs 1"
mkdir "$work/batch"
photos=("$work"/photos/*.jpg)
for i in $(seq 0 39); do
  ln -s "${photos[$((i % ${#photos[@]}))]}" "$work/batch/photo$i.jpg"
done
batch() { printf '%q ' "$corvella" thumbnail "$work"/batch/*.jpg --size 200 --out-dir "$work/out$1" --jobs "$1"; }
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/batch.json" \
  -n "jobs 1" "$(batch 1)" -n "jobs 2" "$(batch 2)" >/dev/null
medians=($(field median "$work/batch.json"))
cmp -s <(cat "$work"/out1/*) <(cat "$work"/out2/*) && same=yes || same=NO
batchRatio=$(awk -v a="${medians[1]}" -v b="${medians[0]}" 'BEGIN { printf "%.2f", a / b }')

echo
echo "seconds are wall-clock medians; cpu is the ratio of processor times; PSNR in dB"
printf '%-28s %6s %6s %5s  %5s  %6s %6s %6s\n' photo thumb vips ratio cpu "PSNR:t" vips resamp
printf '%s\n' "${summary[@]}"
printf 'batch of 40: --jobs 1 %.3f s, --jobs 2 %.3f s, ratio %s (goal <= 0.6); same bytes: %s\n' \
  "${medians[0]}" "${medians[1]}" "$batchRatio" "$same"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
