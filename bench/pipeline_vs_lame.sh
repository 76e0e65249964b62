#!/usr/bin/env bash
# Compares the whole varnook run on a 3-minute stereo MP3 (analyse, level, trim, encode) with
# lame alone decoding and encoding the same file by hand, the floor varnook cannot go below.
# Usage: bench/pipeline_vs_lame.sh [build folder]   (needs hyperfine, ffmpeg, lame)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
varnook="$build/varnook"
[ -x "$varnook" ] || { echo "build varnook first: $varnook is missing" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Three minutes of a steady tone over pink noise, with two seconds of silence at each end so the
# trim step has work to do.
ffmpeg -hide_banner -loglevel error \
  -f lavfi -i "anoisesrc=d=176:c=pink:a=0.15:seed=7" -f lavfi -i "sine=f=330:d=176" \
  -filter_complex "[0][1]amix=inputs=2,adelay=2000|2000,apad=pad_dur=2,aformat=channel_layouts=stereo" \
  -ar 44100 -c:a pcm_s16le "$work/long.wav"
lame --quiet -h "$work/long.wav" "$work/source.mp3"
rm "$work/long.wav"
echo "source: $(stat -c %s "$work/source.mp3") bytes, $(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/source.mp3") s"

export VARNOOK_INI="$work/varnook.ini"
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-markdown "$work/result.md" \
  --prepare "rm -f '$work/_source.mp3' '$work/hand.wav' '$work/hand.mp3'" \
  -n "varnook, all switches on" \
  "'$varnook' '$work/source.mp3' /ana1 /lev1 /tr1 /enc1 /lame -h > /dev/null 2>&1" \
  -n "lame by hand: decode, encode" \
  "lame --quiet --decode '$work/source.mp3' '$work/hand.wav' && lame --quiet -h '$work/hand.wav' '$work/hand.mp3'"
cat "$work/result.md"
