#!/usr/bin/env bash
# Installs what is missing, builds, and runs varnook.
#   ./run.sh                 processes a copy of the bundled demo (demo/demo.mp3) in out/demo/
#   ./run.sh FILE... /keys   processes your own files, e.g. ./run.sh take1.mp3 /nl -1,5
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/ensure-packages.sh"
# The one list of packages, the same as test.sh's: what CMake needs to configure grows with the
# libraries, and a list of run.sh's own fell behind it.
varnook_ensure_packages "${VARNOOK_PACKAGES[@]}"
build="$here/build"
if [ ! -x "$build/varnook" ] || [ -n "$(find "$here/src" "$here/CMakeLists.txt" -newer "$build/varnook" -print -quit)" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)" --target varnook >/dev/null
fi

if [ "$#" -gt 0 ]; then
  exec "$build/varnook" "$@"
fi

# The demo: a fresh copy every time, with its own settings file so that the options stored for
# your own runs neither change it nor are changed by it.
demo="$here/out/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$here/demo/demo.mp3" "$demo/demo.mp3"
status=0
VARNOOK_INI="$demo/varnook.ini" "$build/varnook" "$demo/demo.mp3" /ana1 /lev1 /tr1 /enc1 || status=$?
echo
if [ "$status" -eq 0 ]; then
  echo "Demo done: the leveled, trimmed and re-tagged result is $demo/_demo.mp3"
  echo "(the untouched source is $demo/demo.mp3)."
else
  echo "The demo run failed (exit status $status); the log above says where." >&2
fi
exit "$status"
