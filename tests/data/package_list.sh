#!/usr/bin/env bash
# Fails when a library the build looks for comes from a Debian package missing from the one
# package list (VARNOOK_PACKAGES in scripts/ensure-packages.sh), so that ./run.sh and ./test.sh
# on a fresh machine install everything CMake asks for. dpkg names the package that holds each
# pkg-config module's .pc file and each CMake package's config file, as every CMakeLists.txt
# of the source tree asks for them.
#   tests/data/package_list.sh SOURCE_DIR
set -euo pipefail
src=$1
source "$src/scripts/ensure-packages.sh"
failed=0
checked=0

# WHAT PATH: the package holding PATH (a dpkg glob) must be in the list.
require() {
  local package
  # "package[:arch][, other]: path"; the first package is the one that holds it.
  package=$(dpkg -S "$2" 2>/dev/null | head -n1 | sed 's/[:,].*//') || true
  checked=$((checked + 1))
  if [ -z "$package" ]; then
    echo "package_list: no Debian package holds $2 ($1)" >&2
    failed=1
  elif [[ " ${VARNOOK_PACKAGES[*]} " != *" $package "* ]]; then
    echo "package_list: $1 comes from $package, which scripts/ensure-packages.sh does not list" >&2
    failed=1
  fi
}

# Every CMakeLists.txt of the tree as one line, so that a call over several lines is one match.
calls=$(find "$src" -path "$src/build*" -prune -o -name CMakeLists.txt -print0 | xargs -0 cat | tr '\n' ' ')

# pkg_check_modules(PREFIX [REQUIRED] [IMPORTED_TARGET] ... MODULE[>=VERSION]...)
while read -r prefix words; do
  for word in $words; do
    case $word in REQUIRED | QUIET | IMPORTED_TARGET | GLOBAL | NO_CMAKE_PATH | NO_CMAKE_ENVIRONMENT_PATH) continue ;; esac
    module=${word%%[<>=]*}
    if ! folder=$(pkg-config --variable=pcfiledir "$module"); then
      echo "package_list: pkg-config knows no module $module (for $prefix)" >&2
      failed=1
      continue
    fi
    require "pkg-config module $module" "$folder/$module.pc"
  done
done < <(grep -o 'pkg_check_modules([^)]*)' <<<"$calls" | sed 's/^pkg_check_modules(//; s/)$//')

# find_package(NAME [...] [COMPONENTS C...]): the config files of NAME and of each NAMEC.
while read -r name words; do
  if [ "$name" = PkgConfig ]; then
    # CMake's own module, which runs the pkg-config program.
    require "the pkg-config program" "$(command -v pkg-config || echo /usr/bin/pkg-config)"
    continue
  fi
  names=("$name")
  if [[ " $words " == *" COMPONENTS "* ]]; then
    for component in ${words#*COMPONENTS}; do names+=("$name$component"); done
  fi
  for package in "${names[@]}"; do require "CMake package $package" "*/cmake/$package/*[Cc]onfig.cmake"; done
done < <(grep -o 'find_package([^)]*)' <<<"$calls" | sed 's/^find_package(//; s/)$//')

[ "$checked" -gt 0 ] || { echo "package_list: found nothing CMake looks for" >&2; exit 1; }
[ "$failed" -eq 0 ] || exit 1
echo "package_list: the $checked libraries and tools CMake looks for all come from listed packages"
