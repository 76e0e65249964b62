#!/usr/bin/env bash
# Takes a picture of both windows as window mode opens them, under a virtual X display, and
# saves it as docs/screenshot.png (or the path given). QT_SCALE_FACTOR=2 shows the 200% look.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build=${VARNOOK_BUILD_DIR:-$here/build}
out=${1:-$here/docs/screenshot.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

for tool in xvfb-run ffmpeg; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh needs $tool (xvfb, ffmpeg)" >&2; exit 1; }
done
cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnook >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings file of its own, so the picture shows the defaults and the user's file is untouched.
export VARNOOK_INI="$work/varnook.ini"

xvfb-run -a -s "-screen 0 1920x1200x24" bash -c '
  set -euo pipefail
  "$1" & pid=$!
  sleep 3
  ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size 1920x1200 -i "$DISPLAY" -frames:v 1 -y "$2/screen.png"
  kill "$pid"
' screenshot "$build/varnook" "$work"

# The windows open at the top left of an empty black screen; cut the picture down to them.
crop=$(ffmpeg -hide_banner -i "$work/screen.png" -vf cropdetect=limit=0.02:round=2:reset=1:skip=0 \
         -f null - 2>&1 | sed -n 's/.*crop=\([0-9:]*\).*/\1/p' | tail -1)
[ -n "$crop" ] || { echo "screenshot.sh: found no windows on the screen" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
ffmpeg -loglevel error -i "$work/screen.png" -vf "crop=$crop" -y "$out"
echo "saved $out ($crop)"
