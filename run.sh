#!/usr/bin/env bash
# Installs what is missing, builds, and runs varnook with the arguments given.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/ensure-packages.sh"
varnook_ensure_packages build-essential cmake pkg-config qt6-base-dev lame libgtest-dev libbenchmark-dev
build="$here/build"
if [ ! -x "$build/varnook" ] || [ -n "$(find "$here/src" "$here/CMakeLists.txt" -newer "$build/varnook" -print -quit)" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)" --target varnook >/dev/null
fi
exec "$build/varnook" "$@"
