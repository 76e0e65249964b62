#!/usr/bin/env bash
# Times library runs of many one-second stereo WAVs in one folder with every step but encoding
# (/ana1 /lev1 /tr1 /enc0, one job per CPU), and prints the time per file of each run and how the
# largest run's compares with the smallest's. Decoding and encoding aside, a file costs the same
# whatever the number of files beside it, so the ratio should stay within 1.2. Builds nothing: run
# it after building varnook (VARNOOK_EXE names another program file).
#   bench/many_files.sh [COUNT...]    COUNTs default to 1000 10000
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${VARNOOK_EXE:-build/varnook}
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 10000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 0.2 s of silence, 0.6 s of a 440 Hz tone, 0.2 s of silence: every step has work to do.
make_library() {
  python3 - "$work/lib" "$1" <<'PY'
import array, math, os, sys, wave
folder, count = sys.argv[1], int(sys.argv[2])
rate = 44100
frames = array.array('h')
for i in range(rate):
    v = int(8000 * math.sin(2 * math.pi * 440 * i / rate)) if 0.2 * rate <= i < 0.8 * rate else 0
    frames.extend((v, v))
os.makedirs(folder)
with wave.open(f"{folder}/track 1.wav", 'wb') as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    w.writeframes(frames.tobytes())
data = open(f"{folder}/track 1.wav", 'rb').read()
for n in range(2, count + 1):
    with open(f"{folder}/track {n}.wav", 'wb') as f:
        f.write(data)
PY
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) CPUs"
declare -A perFile
for count in "${counts[@]}"; do
  rm -rf "$work/lib"
  make_library "$count"
  sync
  start=$(date +%s.%N)
  VARNOOK_INI="$work/varnook.ini" "$exe" "$work/lib" /ana1 /lev1 /tr1 /enc0 > "$work/log"
  end=$(date +%s.%N)
  perFile[$count]=$(awk -v a="$start" -v b="$end" -v n="$count" 'BEGIN { print (b - a) * 1000 / n }')
  printf '%6d files %8.2f ms a file   %s\n' "$count" "${perFile[$count]}" "$(tail -n 1 "$work/log")"
done
first=${counts[0]}
last=${counts[${#counts[@]}-1]}
awk -v a="${perFile[$first]}" -v b="${perFile[$last]}" -v f="$first" -v l="$last" \
  'BEGIN { printf "per file at %d over per file at %d: %.2f (aim: at most 1.2)\n", l, f, b / a }'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
