#!/usr/bin/env bash
# Times a library run: eight 3-minute stereo WAVs analysed, amplified, trimmed and encoded, once
# with one job and once with one job per CPU, and prints the speed-up; then the same run with one
# job per CPU as one album (/album folder), against the run of the tracks one by one. Builds
# nothing: run it after building varnook (VARNOOK_EXE names another program file).
#   bench/library_run.sh [FILES]    FILES defaults to 8
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${VARNOOK_EXE:-build/varnook}
count=${1:-8}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"

# Tones with noise, different in every file and alternating between two seconds, so lame meets
# something busier than one period repeated; silence at both ends gives the trim step something to cut.
python3 - "$work/src" "$count" <<'PY'
import array, math, random, sys, wave
folder, count = sys.argv[1], int(sys.argv[2])
rate, seconds = 44100, 180
for n in range(count):
    rng = random.Random(n)
    seconds_of_sound = []
    for _ in range(2):
        second = array.array('h')
        freqs = [rng.uniform(110, 880) for _ in range(3)]
        for i in range(rate):
            t = i / rate
            v = sum(math.sin(2 * math.pi * f * t) for f in freqs) * 3000 + rng.gauss(0, 800)
            s = max(-32768, min(32767, int(v)))
            second.extend((s, -s // 2))
        seconds_of_sound.append(second.tobytes())
    silence = array.array('h', [0]) * (2 * rate)
    with wave.open(f"{folder}/track {n + 1}.wav", 'wb') as w:
        w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
        w.writeframes(silence.tobytes())
        for k in range(seconds - 2):
            w.writeframes(seconds_of_sound[k % 2])
        w.writeframes(silence.tobytes())
PY

cores=$(nproc)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $cores CPUs"
declare -A took
for run in "1 off" "$cores off" "$cores folder"; do
  read -r jobs album <<< "$run"
  rm -rf "$work/out"
  mkdir "$work/out"
  start=$(date +%s.%N)
  VARNOOK_INI="$work/varnook.ini" "$exe" "$work/src" /ana1 /lev1 /tr1 /enc1 /jobs "$jobs" /album "$album" \
    /dest "$work/out/" > "$work/log"
  end=$(date +%s.%N)
  took[$run]=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
  printf 'jobs %-3s album %-6s %8.2f s   %s\n' "$jobs" "$album" "${took[$run]}" "$(tail -n 1 "$work/log")"
done
awk -v one="${took[1 off]}" -v many="${took[$cores off]}" -v cores="$cores" \
  'BEGIN { printf "speed-up %.2f with %d jobs (aim: at least %.1f)\n", one / many, cores, 0.9 * cores }'
awk -v album="${took[$cores folder]}" -v tracks="${took[$cores off]}" \
  'BEGIN { printf "album run %.2f times the run by tracks (aim: at most 1.10)\n", album / tracks }'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
