#!/usr/bin/env bash
# Builds the libFuzzer targets (clang++) and runs each for the given number of
# seconds (default 30) from its seed corpus in fuzz/corpus/<target>/. New
# inputs go to build/fuzz/work/<target>/; a crash leaves its input in
# build/fuzz/crash-<target>-* and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIRCOG_FUZZ=ON \
  -DBUILD_TESTING=OFF -DCIRCOG_BENCHMARKS=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)"
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  mkdir -p "build/fuzz/work/$name"
  echo "== fuzz_$name, $seconds s"
  max_len=8192
  [ "$name" = kernels ] && max_len=1024  # keeps each run of the five kernels short
  "build/fuzz/fuzz/fuzz_$name" "build/fuzz/work/$name" "$corpus" -max_total_time="$seconds" \
    -max_len="$max_len" -timeout=20 -rss_limit_mb=4096 -artifact_prefix="build/fuzz/crash-$name-" \
    -print_final_stats=1 2>&1 | grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==|SUMMARY)|Done [0-9]+ runs|ERROR" || true
  [ -z "$(ls build/fuzz/crash-"$name"-* 2>/dev/null)" ] || { echo "fuzz_$name found a crash"; exit 1; }
done
