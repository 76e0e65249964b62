#!/usr/bin/env bash
# Makes demo/demo.mp3: eight seconds of a small stereo tune with a second of digital silence at
# both ends and a full ID3v2 tag, so ./run.sh has something to level, trim and re-tag.
# Needs python3, lame and mid3v2 (python3-mutagen). The result is committed; run this only to
# make it again.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$here/demo/demo.mp3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$work/demo.wav" <<'PY'
import math, struct, sys, wave

rate = 44100
silence = rate            # one second at each end
notes = [(262, 0.5), (330, 0.5), (392, 0.5), (523, 1.0), (392, 0.5), (440, 0.5), (349, 1.0), (262, 1.5)]
frames = bytearray()

def add(left, right):
    frames.extend(struct.pack('<hh', left, right))

for _ in range(silence):
    add(0, 0)
for freq, seconds in notes:
    count = int(rate * seconds)
    for i in range(count):
        t = i / rate
        # Quick attack, slow decay, a little harmonic colour; the right channel slightly softer.
        envelope = min(1.0, i / (0.01 * rate)) * math.exp(-2.5 * t)
        value = envelope * (math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t))
        add(int(round(6000 * value)), int(round(4800 * value)))
for _ in range(silence):
    add(0, 0)

with wave.open(sys.argv[1], 'wb') as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(bytes(frames))
PY

lame --quiet -b 128 "$work/demo.wav" "$work/demo.mp3"
mid3v2 --song "Demo Tune" --artist "Varnook Test Band" --album "Even Loudness" --year 2024 \
       --track 3 --genre Instrumental --comment "Made by scripts/make-demo.sh" "$work/demo.mp3"
mkdir -p "$(dirname "$out")"
cp "$work/demo.mp3" "$out"
echo "Wrote $out ($(stat -c %s "$out") bytes)"
