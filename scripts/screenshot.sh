#!/usr/bin/env bash
# Takes the README's picture of Varnook at work under a virtual X display with a window manager
# (openbox, so the windows have their frames), and saves it as docs/screenshot.png (or the path
# given): the main window with four files on its list, the progress window's log mid-run and its
# strip with the second file's loudness and cuts. QT_SCALE_FACTOR=2 shows the 200% look.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build=${VARNOOK_BUILD_DIR:-$here/build}
out=${1:-$here/docs/screenshot.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

for tool in xvfb-run openbox ffmpeg; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh needs $tool (xvfb, openbox, ffmpeg)" >&2; exit 1; }
done
cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnook_screenshot >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/Music"
# The program drops generated recordings on the list, presses Go! and grabs the screen itself
# once the second file is trimmed, so the picture never depends on how fast the machine is.
xvfb-run -a -s "-screen 0 1920x1200x24" bash -c '
  set -euo pipefail
  openbox & wm=$!
  sleep 1
  "$1" "$2/screen.png" "$2/Music"
  kill "$wm"
' screenshot "$build/tests/varnook_screenshot" "$work"

# The windows stand at the top left of an empty black screen; cut the picture down to them.
crop=$(ffmpeg -hide_banner -i "$work/screen.png" -vf cropdetect=limit=0.02:round=2:reset=1:skip=0 \
         -f null - 2>&1 | sed -n 's/.*crop=\([0-9:]*\).*/\1/p' | tail -1)
[ -n "$crop" ] || { echo "screenshot.sh: found no windows on the screen" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
ffmpeg -loglevel error -i "$work/screen.png" -vf "crop=$crop" -y "$out"
echo "saved $out ($crop)"
