#!/usr/bin/env bash
# Builds circog three ways and runs every test in each: the release build,
# AddressSanitizer with UndefinedBehaviorSanitizer, and the scalar-only build;
# then the pool tests and the golden cases under ThreadSanitizer, the kit's and the workflow's tests
# with the release build's binary, and a short run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
run() {
  local name=$1
  shift
  echo "== $name build"
  cmake -S . -B "build/$name" -DCIRCOG_WERROR=ON "$@" >/dev/null
  cmake --build "build/$name" -j"$jobs"
  ctest --test-dir "build/$name" --output-on-failure -j"$jobs"
}
run sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIRCOG_SANITIZE=ON -DCIRCOG_BENCHMARKS=OFF
run scalar -DCMAKE_BUILD_TYPE=Release -DCIRCOG_SCALAR_ONLY=ON -DCIRCOG_BENCHMARKS=OFF
run release -DCMAKE_BUILD_TYPE=Release
echo "== ThreadSanitizer build of the pool and helper tests and the program (golden cases, chosen pairs)"
cmake -S . -B build/tsan -DCIRCOG_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIRCOG_TSAN=ON \
  -DCIRCOG_BENCHMARKS=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target test_compare test_engine circog test_golden
build/tsan/tests/test_compare --gtest_brief=1
build/tsan/tests/test_engine --gtest_brief=1
ctest --test-dir build/tsan -R 'Golden|PairList' --output-on-failure -j"$jobs"
echo "== kit"
CIRCOG_BINARY="$PWD/build/release/circog" /usr/bin/python3 -m pytest -q -rs -p no:cacheprovider kit/tests
echo "== workflow"
CIRCOG_BINARY="$PWD/build/release/circog" /usr/bin/python3 -m pytest -q -rs -p no:cacheprovider workflow/tests
echo "== fuzzers, 30 s each"
scripts/fuzz.sh 30
