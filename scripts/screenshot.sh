#!/usr/bin/env bash
# Takes the README's pictures of Varnook's windows under a virtual X display with a window manager
# (openbox, so the windows have their frames): at 100% and at 200% (QT_SCALE_FACTOR=2), as a first
# start shows them and after a run with one failure. Saves them in docs/ (or the folder given) as
# window-100-empty.png, window-100-run.png, window-200-empty.png and window-200-run.png.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build=${VARNOOK_BUILD_DIR:-$here/build}
outdir=${1:-$here/docs}
case "$outdir" in /*) ;; *) outdir="$PWD/$outdir" ;; esac

for tool in xvfb-run openbox ffmpeg lame; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh needs $tool (xvfb, openbox, ffmpeg, lame)" >&2; exit 1; }
done
cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnook_screenshot >/dev/null
mkdir -p "$outdir"

shoot() {  # SCALE MODE: one picture
  local scale=$1 mode=$2 work
  work=$(mktemp -d)
  # The screen grows with the scale, so the windows have the same room in logical pixels.
  local screen="$((1280 * scale))x$((800 * scale))x24"
  # The program grabs the screen itself once the windows have settled (after the run, for
  # "run"), so the picture never depends on how fast the machine is.
  QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 $screen" bash -c '
    set -euo pipefail
    openbox & wm=$!
    sleep 1
    "$1" "$2/screen.png" "$2" "$3"
    kill "$wm"
  ' screenshot "$build/tests/varnook_screenshot" "$work" "$mode"
  # The windows stand at the top left of an empty black screen; cut the picture down to them.
  local crop out="$outdir/window-$((scale * 100))-$mode.png"
  crop=$(ffmpeg -hide_banner -i "$work/screen.png" -vf cropdetect=limit=0.02:round=2:reset=1:skip=0 \
           -f null - 2>&1 | sed -n 's/.*crop=\([0-9:]*\).*/\1/p' | tail -1)
  [ -n "$crop" ] || { echo "screenshot.sh: found no windows on the screen" >&2; exit 1; }
  ffmpeg -loglevel error -i "$work/screen.png" -vf "crop=$crop" -y "$out"
  rm -rf "$work"
  echo "saved $out ($crop)"
}

for scale in 1 2; do
  for mode in empty run; do shoot "$scale" "$mode"; done
done
