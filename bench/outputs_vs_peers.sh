#!/usr/bin/env bash
# Times Varnook's library encoders on one 3-minute 16-bit 44.1 kHz stereo WAV beside the tools
# made for each format, encoding only:
#   FLAC   build/bench/encode_output flac    against  flac -5
#   Opus   build/bench/encode_output opus    against  opusenc --bitrate 160
#   Vorbis build/bench/encode_output vorbis  against  oggenc -q6
# Varnook's path also checks its output (libFLAC's verify, then every output decoded back whole),
# which the peers do not by default; so each format has a second row with the peer doing the same
# work: `flac -5 -V` then `flac -t`, `opusenc` then `opusdec`, `oggenc` then `oggdec`.
#
#   bench/outputs_vs_peers.sh [build folder with -DVARNOOK_BENCH=ON]   (needs sox, flac,
#   opus-tools, vorbis-tools)
#
# Prints the best of RUNS (default 3) runs, as wall time and as CPU time (user + system): the
# machine is shared, so the CPU time is the steadier figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
encode=${1:-$root/build}/bench/encode_output
[[ -x $encode ]] || { echo "build the benchmarks first: $encode is missing" >&2; exit 2; }
for tool in sox flac opusenc opusdec oggenc oggdec; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install sox flac opus-tools vorbis-tools)" >&2; exit 2; }
done
runs=${RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-outputs-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Music-like sound: two tones with a slow swell over pink noise.
sox -n -b 16 -r 44100 -c 2 "$work/in.wav" synth 180 pinknoise synth 180 sine mix 220 \
    synth 180 sine mix 331 tremolo 0.1 40 gain -8
echo "source: $(soxi -D "$work/in.wav") s, $(soxi -b "$work/in.wav") bits, $(soxi -r "$work/in.wav") Hz, 2 channels"

# "wall cpu" in seconds, best of $runs by CPU time.
best() {
  local best_wall="" best_cpu=""
  for _ in $(seq "$runs"); do
    local t
    t=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
    read -r wall user sys <<<"$t"
    local cpu
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    if [[ -z $best_cpu ]] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
      best_cpu=$cpu best_wall=$wall
    fi
  done
  echo "$best_wall $best_cpu"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

row() { # label ours theirs
  read -r ow oc <<<"$2"
  read -r tw tc <<<"$3"
  printf '| %-34s | %6s | %6s | %11s | %10s | %9sx | %8sx |\n' "$1" "$ow" "$oc" "$tw" "$tc" \
    "$(ratio "$ow" "$tw")" "$(ratio "$oc" "$tc")"
}

ours() { rm -f "$work/ours.$1"; "$encode" "$1" "$work/in.wav" "$work/ours.$1"; }
flac_plain() { flac -5 -f -s -o "$work/peer.flac" "$work/in.wav"; }
flac_checked() { flac -5 -V -f -s -o "$work/peer.flac" "$work/in.wav" && flac -t -s "$work/peer.flac"; }
opus_plain() { opusenc --quiet --bitrate 160 "$work/in.wav" "$work/peer.opus"; }
opus_checked() { opus_plain && opusdec --quiet --rate 48000 --float "$work/peer.opus" /dev/null; }
vorbis_plain() { oggenc -Q -q6 -o "$work/peer.ogg" "$work/in.wav"; }
vorbis_checked() { vorbis_plain && oggdec -Q -o /dev/null "$work/peer.ogg"; }

echo
echo "| varnook against                    | wall s | cpu s  | peer wall s | peer cpu s | wall ratio | cpu ratio |"
echo "|------------------------------------|--------|--------|-------------|------------|------------|-----------|"
for format in flac opus vorbis; do
  mine=$(best ours "$format")
  case $format in
    flac) row "FLAC: flac -5" "$mine" "$(best flac_plain)"
          row "FLAC: flac -5 -V, then flac -t" "$mine" "$(best flac_checked)" ;;
    opus) row "Opus: opusenc --bitrate 160" "$mine" "$(best opus_plain)"
          row "Opus: opusenc, then opusdec" "$mine" "$(best opus_checked)" ;;
    vorbis) row "Vorbis: oggenc -q6" "$mine" "$(best vorbis_plain)"
            row "Vorbis: oggenc, then oggdec" "$mine" "$(best vorbis_checked)" ;;
  esac
done
