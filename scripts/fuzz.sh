#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh                 # 60 seconds per target
#   scripts/fuzz.sh 1800            # 30 minutes per target
#   scripts/fuzz.sh 60 fuzz_id3     # one target
# The corpus grows in build-fuzz/corpus/<target> (seeded from scripts/make_fuzz_seeds.py);
# a crash, hang or leak stops the run with the input saved in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

source scripts/ensure-packages.sh
varnook_ensure_packages clang libclang-rt-14-dev

build=build-fuzz
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOOK_FUZZ=ON \
  -DVARNOOK_GUI=OFF -DVARNOOK_TESTS=OFF -DVARNOOK_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_wav_time fuzz_wav_steps fuzz_id3 fuzz_settings fuzz_command_line)
fi
python3 scripts/make_fuzz_seeds.py "$build/seeds"
mkdir -p "$build/findings"
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  echo "== $t: ${seconds}s"
  log="$build/$t.log"
  if ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/$t" "$corpus" "$build/seeds/$t" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
      -artifact_prefix="$build/findings/$t-" -print_final_stats=1 >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | sed 's/^/   /'
  else
    echo "   FAILED: see $log and $build/findings/"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
