#!/usr/bin/env bash
# Times the two new costs of Varnook beside the tools that do the same job:
#  1. converting a 3-minute 24-bit 96 kHz stereo FLAC to a 16-bit 48 kHz WAV (varnook with
#     every step off, so the run is the conversion) against
#     `sox in.flac -b 16 -r 48000 out.wav dither`;
#  2. the "/mode r128" analysis of the 16-bit WAV (varnook with only the analysis on) against
#     ffmpeg's ebur128 filter reading the same file;
#  3. the true peak: a whole "/mode r128" run without encoding, with "/tp -1" (the true peak
#     measured before and after leveling) against without; the measure against ffmpeg's
#     `ebur128=peak=true` and, in process, libebur128's (build/bench/true_peak_bench, built with
#     -DVARNOOK_BENCH=ON), each with its reading.
#
#   bench/formats_vs_peers.sh [build folder]
#
# Prints the best of RUNS (default 3) runs, as wall time and as CPU time (user + system): the
# machine is shared, so the CPU time is the steadier figure. The FLAC is music-like sound made by
# sox: two tones with a slow swell over pink noise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
varnook=$build/varnook
[[ -x $varnook ]] || { echo "build varnook first: $varnook is missing" >&2; exit 2; }
runs=${RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-formats-XXXXXX")
trap 'rm -rf "$work"' EXIT
export VARNOOK_INI=$work/varnook.ini
unset DISPLAY WAYLAND_DISPLAY

sox -n -b 24 -r 96000 -c 2 "$work/in.flac" synth 180 pinknoise synth 180 sine mix 220 \
    synth 180 sine mix 331 tremolo 0.1 40 gain -8
echo "source: $(soxi -D "$work/in.flac") s, $(soxi -b "$work/in.flac") bits, $(soxi -r "$work/in.flac") Hz"

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

report() { # label ours theirs
    read -r ow oc <<<"$2"
    read -r tw tc <<<"$3"
    echo "$1: varnook ${ow}s wall ${oc}s cpu; peer ${tw}s wall ${tc}s cpu;" \
        "ratio $(ratio "$ow" "$tw")x wall, $(ratio "$oc" "$tc")x cpu"
}

convert_ours() { rm -f "$work/in.wav"; "$varnook" "$work/in.flac" /ana0 /lev0 /tr0 /enc0; }
convert_sox() { sox "$work/in.flac" -b 16 -r 48000 "$work/sox.wav" dither; }
report "convert 24-bit 96 kHz FLAC" "$(best convert_ours)" "$(best convert_sox)"

convert_ours >/dev/null
r128_ours() { "$varnook" "$work/in.wav" /ana1 /mode r128 /lev0 /tr0 /enc0; }
r128_ffmpeg() { ffmpeg -hide_banner -nostats -i "$work/in.wav" -af ebur128 -f null -; }
report "r128 analysis of the 48 kHz WAV" "$(best r128_ours)" "$(best r128_ffmpeg)"

level() { rm -f "$work/out.wav"; "$varnook" "$work/in.wav" /ana1 /mode r128 /target -16 /lev1 /tr0 /enc0 "$@" /dest "$work/out.wav"; }
level_with_tp() { level /tp -1; }
report "r128 run with /tp -1 (peer: the same run without)" "$(best level_with_tp)" "$(best level)"
level_with_tp | grep "True peak"
tp_ffmpeg() { ffmpeg -hide_banner -nostats -i "$work/in.wav" -af ebur128=peak=true -f null -; }
read -r fw fc <<<"$(best tp_ffmpeg)"
echo "ffmpeg ebur128=peak=true: ${fw}s wall ${fc}s cpu; reads $(tp_ffmpeg 2>&1 | awk '/True peak:/ { getline; print $2, $3 }')"
if [[ -x $build/bench/true_peak_bench ]]; then
    VARNOOK_BENCH_WAV=$work/in.wav "$build/bench/true_peak_bench" --benchmark_counters_tabular=true 2>/dev/null
fi
