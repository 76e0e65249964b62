#!/usr/bin/env bash
# Installs what the build and the tests need, builds with warnings as errors, runs every test.
#   ./test.sh              the ordinary build in build/
#   ./test.sh --sanitize   the whole suite built with AddressSanitizer and UBSan in build-asan/
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
varnook_ensure_packages "${VARNOOK_PACKAGES[@]}"
varnook_ensure_locale

options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOOK_WERROR=ON)
build=${VARNOOK_BUILD_DIR:-build}
if [ "${1:-}" = --sanitize ]; then
  build=${VARNOOK_BUILD_DIR:-build-asan}
  options+=(-DVARNOOK_SANITIZE=ON)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
fi
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
# The installed tree: every file in place, the desktop entry and metainfo valid, lame found.
"$OLDPWD/scripts/check-install.sh" "$PWD"
