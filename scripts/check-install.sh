#!/usr/bin/env bash
# Installs a build into a scratch DESTDIR and checks what a desktop and a package rely on: every
# file in place, the desktop entry and the metainfo valid, the manual page clean, and lame found
# by the installed program (beside it first, then on PATH).
#   scripts/check-install.sh [BUILD_DIR]     (default build/)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-$here/build}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >/dev/null
prefix="$root/dest/usr"
for file in bin/varnook share/applications/varnook.desktop \
            share/icons/hicolor/scalable/apps/varnook.svg \
            share/icons/hicolor/256x256/apps/varnook.png \
            share/metainfo/org.varnook.Varnook.metainfo.xml share/man/man1/varnook.1 \
            share/doc/varnook/README.md; do
  [ -f "$prefix/$file" ] || fail "the install lacks $file"
done
# Only the build folder keeps its settings beside the program.
[ ! -e "$prefix/bin/varnook-build-folder" ] || fail "the install carries the build folder's marker"
desktop-file-validate "$prefix/share/applications/varnook.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/org.varnook.Varnook.metainfo.xml" >/dev/null \
  || appstreamcli validate --no-net "$prefix/share/metainfo/org.varnook.Varnook.metainfo.xml"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/varnook.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page has roff warnings: $warnings"

# One second of a quiet tone, so that each run is one short lame encode.
python3 - "$root/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(b"".join(struct.pack("<h", int(3000 * math.sin(2 * math.pi * 440 * i / 44100)))
                           for i in range(44100)))
PY
lame=$(command -v lame) || fail "lame is not installed"
encode() {  # PATH for the run; succeeds when the installed varnook wrote the MP3
  rm -f "$root/tone.mp3"
  env -u DISPLAY -u WAYLAND_DISPLAY PATH="$1" VARNOOK_INI="$root/varnook.ini" \
    "$prefix/bin/varnook" "$root/tone.wav" /ana0 /lev0 /tr0 /enc1 >"$root/log" 2>&1 \
    && [ -s "$root/tone.mp3" ]
}
encode /nonexistent && fail "varnook encoded with no lame beside it or on PATH"
ln -s "$lame" "$prefix/bin/lame"
encode /nonexistent || { cat "$root/log"; fail "varnook did not find the lame beside it"; }
rm "$prefix/bin/lame"
encode "$(dirname "$lame")" || { cat "$root/log"; fail "varnook did not find lame on PATH"; }
echo "check-install: the installed tree is complete and valid, and finds lame"
