#!/usr/bin/env bash
# Times Varnook's analysis (bench/analyze_file: header check, filter, windows, percentile) side
# by side with ffmpeg's replaygain filter on the same WAV files, and prints both gains.
#
#   bench/compare.sh [--hour] [FILE.wav...]
#
# Without files it makes its own material with ffmpeg in a temp folder: three minutes of
# 44100 Hz music-like sound (pink noise swelling and fading) as a stereo file with two equal
# channels and as its mono twin. --hour adds a one-hour stereo file and reports the peak
# resident memory of both programs on it.
#
# Reading the gains: ffmpeg upmixes a mono file at -3 dB per channel, so on the mono twin its
# gain is about 3 dB above ours; compare it on the stereo file. ffmpeg filters in single
# precision and quantises window levels to 0.01 dB, so the two differ by a few hundredths.
#
# Needs build/bench/analyze_file (cmake --build build --target analyze_file) or ANALYZE_FILE.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
analyze=${ANALYZE_FILE:-$root/build/bench/analyze_file}
varnook=${VARNOOK:-$root/build/varnook}
if [[ ! -x $analyze ]]; then
    echo "no $analyze: build it with 'cmake --build build --target analyze_file'" >&2
    exit 2
fi

if ! command -v ffmpeg >/dev/null; then
    if [[ $(id -u) == 0 ]]; then
        apt-get update -qq && apt-get install -y -qq ffmpeg >/dev/null
    else
        echo "ffmpeg is missing: sudo apt-get install ffmpeg" >&2
        exit 2
    fi
fi

hour=0
files=()
for arg in "$@"; do
    case $arg in
    --hour) hour=1 ;;
    *) files+=("$arg") ;;
    esac
done

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Music-like test sound: reproducible pink noise under a slow swell, 16-bit PCM. The stereo
# file copies the one channel to both at full level (ffmpeg's own upmix would lower it 3 dB).
make_wav() { # seconds channels path
    local layout=pan=mono\|c0=c0
    [[ $2 == 2 ]] && layout=pan=stereo\|c0=c0\|c1=c0
    ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "anoisesrc=d=$1:c=pink:r=44100:a=0.5:seed=42" \
        -af "volume='0.6+0.4*sin(2*PI*0.1*t)':eval=frame,$layout" \
        -c:a pcm_s16le "$3"
}

if [[ ${#files[@]} -eq 0 ]]; then
    echo "Generating three minutes of 44100 Hz test sound in $work ..."
    make_wav 180 2 "$work/stereo-3min.wav"
    make_wav 180 1 "$work/mono-3min.wav"
    files=("$work/stereo-3min.wav" "$work/mono-3min.wav")
fi

ffmpeg_cmd() {
    printf 'ffmpeg -hide_banner -nostats -i %q -af replaygain -f null -' "$1"
}

ffmpeg_gain() {
    eval "$(ffmpeg_cmd "$1")" 2>&1 | grep -o 'track_gain = [-+0-9.]* dB' | tail -1 | sed 's/track_gain = //'
}

# Best of a few runs, in seconds, when hyperfine is not there.
best_time() {
    local best=""
    for _ in 1 2 3; do
        local start end
        start=$(date +%s.%N)
        eval "$1" >/dev/null 2>&1
        end=$(date +%s.%N)
        best=$(echo "$start $end ${best:-999999}" | awk '{ t = $2 - $1; print (t < $3 ? t : $3) }')
    done
    echo "$best"
}

for f in "${files[@]}"; do
    echo
    echo "== $f"
    ours=$("$analyze" "$f" | cut -f1)
    echo "gain: varnook $ours, ffmpeg replaygain $(ffmpeg_gain "$f")"
    ours_cmd=$(printf '%q %q' "$analyze" "$f")
    theirs_cmd=$(ffmpeg_cmd "$f")
    # The whole program with only the analysis on: start-up, settings, header check, analysis
    # and the log, without a window.
    program_cmd=$(printf 'env -u DISPLAY -u WAYLAND_DISPLAY VARNOOK_INI=%q %q %q /ana1 /lev0 /tr0 /enc0' \
        "$work/varnook.ini" "$varnook" "$f")
    if command -v hyperfine >/dev/null; then
        if [[ -x $varnook ]]; then
            hyperfine --style basic --warmup 1 --runs 5 -n analyze_file "$ours_cmd" \
                -n "varnook /ana1 /lev0 /tr0 /enc0" "$program_cmd" -n ffmpeg "$theirs_cmd"
        else
            hyperfine --style basic --warmup 1 --runs 5 -n analyze_file "$ours_cmd" -n ffmpeg "$theirs_cmd"
        fi
    else
        a=$(best_time "$ours_cmd")
        b=$(best_time "$theirs_cmd")
        echo "time (best of 3): varnook ${a}s, ffmpeg ${b}s" \
            "($(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')x)"
    fi
done

if [[ $hour -eq 1 ]]; then
    echo
    echo "Generating one hour of 44100 Hz stereo in $work ..."
    make_wav 3600 2 "$work/stereo-1h.wav"
    peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ { print $2 " KiB" }'; }
    echo "peak resident memory, one hour: varnook $(peak "$analyze" "$work/stereo-1h.wav")," \
        "ffmpeg $(peak ffmpeg -hide_banner -nostats -i "$work/stereo-1h.wav" -af replaygain -f null -)"
    a=$(best_time "$(printf '%q %q' "$analyze" "$work/stereo-1h.wav")")
    echo "time, one hour: varnook ${a}s"
fi
