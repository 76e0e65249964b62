#!/usr/bin/env bash
# Installs the Debian packages Varnook needs to build, run and test, when any is missing.
# Sourced by test.sh and run.sh. As root it installs them; otherwise it says what to install.
# VARNOOK_PACKAGES is the one list: a test (tests/data/package_list.sh) asks dpkg which package
# holds each library CMake looks for and fails when that package is not here.
set -euo pipefail

VARNOOK_PACKAGES=(
  build-essential cmake pkgconf
  libgtest-dev libbenchmark-dev
  qt6-base-dev
  libtag1-dev zlib1g-dev
  lame
  libsndfile1-dev libsoxr-dev libebur128-dev
  libflac-dev libopusenc-dev libopusfile-dev libvorbis-dev libogg-dev
  sox libsox-fmt-base ffmpeg
  locales
  xvfb xauth openbox
  desktop-file-utils appstream man-db
  id3v2 python3-mutagen
  strace
  nlohmann-json3-dev
)

varnook_missing_packages() {
  local missing=()
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]:-}"
}

varnook_ensure_packages() {
  local missing
  missing=$(varnook_missing_packages "$@")
  if [ -n "$missing" ]; then
    if [ "$(id -u)" = 0 ]; then
      echo "Installing: $missing"
      export DEBIAN_FRONTEND=noninteractive
      apt-get update -qq
      # shellcheck disable=SC2086
      apt-get install -y -qq --no-install-recommends $missing >/dev/null
    else
      echo "Varnook needs these Debian packages: $missing" >&2
      echo "Install them with: sudo apt-get install $missing" >&2
      exit 1
    fi
  fi
}

# The comma-locale tests need de_DE.UTF-8.
varnook_ensure_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    if [ "$(id -u)" = 0 ]; then
      sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
      grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
      locale-gen >/dev/null
    else
      echo "warning: the de_DE.UTF-8 locale is missing; comma-locale tests will be skipped" >&2
    fi
  fi
}
