#!/usr/bin/env bash
# Installs what the build and the tests need, builds with warnings as errors, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
varnook_ensure_packages "${VARNOOK_PACKAGES[@]}"
varnook_ensure_locale

build=${VARNOOK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOOK_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
