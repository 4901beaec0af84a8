#!/usr/bin/env bash
# Requests per second and latency of a thumbnail page (a 2-megapixel photo to 200 pixels wide)
# and of a static file, in one run: `corvella serve` with the example site's thumb.asp against
# the same page written with Flask and Pillow under gunicorn with one worker per core (two ways:
# a full decode and resize, and Pillow's thumbnail with scaled JPEG decoding). Load comes
# from wrk with the same connections and duration for each.
#   bench/serve_vs_flask.sh [SECONDS] [CONNECTIONS]     (default 10 seconds, 4 connections)
# Environment: CORVELLA (default build/release/cli/corvella). Needs python3-flask, python3-pil,
# gunicorn and wrk (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
connections=${2:-4}
corvella=$(realpath "${CORVELLA:-build/release/cli/corvella}")
for tool in wrk gunicorn; do
  command -v "$tool" >/dev/null || { echo "needs $tool: apt-get install wrk gunicorn python3-flask python3-pil" >&2; exit 1; }
done
/usr/bin/python3 -c "import flask, PIL" 2>/dev/null ||
  { echo "needs python3-flask and python3-pil" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The photo: 1920 x 1080 (2.07 megapixels) made from a 4K test image.
cp -r examples/site "$work/site"
"$corvella" convert tests/data/images/umang_3840x2160_base444.jpg "$work/site/photos/photo.jpg" \
  --resample 1920,1080 --quality 90 >/dev/null
cores=$(nproc)

"$corvella" serve "$work/site" --port 18471 --log /dev/null 2>"$work/corvella.err" &
pids+=($!)
(cd bench && PHOTOS="$work/site/photos" exec gunicorn --workers "$cores" --bind 127.0.0.1:18472 \
  --log-level warning serve_flask_app:app) 2>"$work/gunicorn.err" &
pids+=($!)
for port in 18471 18472; do
  for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && break || sleep 0.2
  done
done

# Both must answer a 200-pixel-wide JPEG before they are measured.
curl -sf "http://127.0.0.1:18471/thumb.asp?src=photo.jpg&w=200" -o "$work/a.jpg"
curl -sf "http://127.0.0.1:18472/thumb?src=photo.jpg&w=200" -o "$work/b.jpg"

measure() {  # name url -> "name requests/s p50 p99"
  local out
  out=$(wrk -t 2 -c "$connections" -d "${seconds}s" --latency "$2")
  local rps p50 p99
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  local errors
  errors=$(awk '/Non-2xx|Socket errors/' <<<"$out")
  printf "%-28s %10s req/s   p50 %8s   p99 %8s   %s\n" "$1" "$rps" "$p50" "$p99" "$errors"
  echo "$rps" >"$work/$1.rps"
}

echo "$cores cores, $connections connections, ${seconds} s each; thumbnail of a 1920x1080 JPEG to 200 wide"
measure corvella-thumbnail "http://127.0.0.1:18471/thumb.asp?src=photo.jpg&w=200"
measure flask-thumbnail "http://127.0.0.1:18472/thumb?src=photo.jpg&w=200"
measure flask-thumbnail-draft "http://127.0.0.1:18472/thumb-draft?src=photo.jpg&w=200"
measure corvella-static "http://127.0.0.1:18471/photos/egret_600x450.jpg"
measure flask-static "http://127.0.0.1:18472/photos/egret_600x450.jpg"
awk -v a="$(cat "$work/corvella-thumbnail.rps")" -v b="$(cat "$work/flask-thumbnail.rps")" \
  'BEGIN { printf "thumbnail requests/s, corvella / flask (resize): %.1fx\n", a / b }'
awk -v a="$(cat "$work/corvella-thumbnail.rps")" -v b="$(cat "$work/flask-thumbnail-draft.rps")" \
  'BEGIN { printf "thumbnail requests/s, corvella / flask (thumbnail, scaled decoding): %.1fx\n", a / b }'
awk -v a="$(cat "$work/corvella-static.rps")" -v b="$(cat "$work/flask-static.rps")" \
  'BEGIN { printf "static requests/s, corvella / flask: %.1fx\n", a / b }'
