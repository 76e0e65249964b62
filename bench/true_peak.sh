#!/usr/bin/env bash
# The cost of the true peak, on one generated 3-minute 44100 Hz stereo WAV:
#  1. a whole "/mode r128" run without encoding, with "/tp -1" against without (the true peak is
#     measured twice then, before and after leveling);
#  2. the measure against ffmpeg's `ebur128=peak=true` and, in process, against libebur128's
#     (build/bench/true_peak_bench on the same file), each with its reading.
#
#   bench/true_peak.sh [build folder]
#
# Prints the best of RUNS (default 5) runs, as wall time and as CPU time (user + system): the
# machine may be shared, so the CPU time is the steadier figure. The WAV is music-like sound made
# by sox: two tones with a slow swell over pink noise, peaking near full scale.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
varnook=$build/varnook
[[ -x $varnook ]] || { echo "build varnook first: $varnook is missing" >&2; exit 2; }
runs=${RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-true-peak-XXXXXX")
trap 'rm -rf "$work"' EXIT
export VARNOOK_INI=$work/varnook.ini
unset DISPLAY WAYLAND_DISPLAY

sox -n -b 16 -r 44100 -c 2 "$work/in.wav" synth 180 pinknoise synth 180 sine mix 220 \
    synth 180 sine mix 1760 tremolo 0.1 40 gain -n -0.5

# "wall cpu" in seconds, best of $runs by CPU time.
best() {
    local best_wall="" best_cpu=""
    for _ in $(seq "$runs"); do
        local t
        t=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
        read -r wall user sys <<<"$t"
        local cpu
        cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
        if [[ -z $best_cpu ]] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
            best_cpu=$cpu best_wall=$wall
        fi
    done
    echo "$best_wall $best_cpu"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

r128_run() { rm -f "$work/out.wav"; "$varnook" "$work/in.wav" /mode r128 /target -16 /ana1 /lev1 /tr0 /enc0 "$@" /dest "$work/out.wav"; }
read -r pw pc <<<"$(best r128_run)"
read -r tw tc <<<"$(best r128_run /tp -1)"
echo "r128 run, no encoding: ${pw}s wall ${pc}s cpu; with /tp -1: ${tw}s wall ${tc}s cpu;" \
    "ratio $(ratio "$tw" "$pw")x wall, $(ratio "$tc" "$pc")x cpu"
r128_run /tp -1 | grep "True peak"

ffmpeg_tp() { ffmpeg -hide_banner -nostats -i "$work/in.wav" -af ebur128=peak=true -f null -; }
read -r fw fc <<<"$(best ffmpeg_tp)"
echo "ffmpeg ebur128=peak=true: ${fw}s wall ${fc}s cpu; reads" \
    "$(ffmpeg_tp 2>&1 | awk '/True peak:/ { getline; print $2, $3 }')"

if [[ -x $build/bench/true_peak_bench ]]; then
    VARNOOK_BENCH_WAV=$work/in.wav "$build/bench/true_peak_bench" --benchmark_counters_tabular=true
else
    echo "(build/bench/true_peak_bench is not built: configure with -DVARNOOK_BENCH=ON)"
fi
