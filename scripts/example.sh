#!/usr/bin/env bash
# Builds circog and runs it on the bundled example (E. coli K-12 against
# Salmonella Typhi CT18, alignment on) in a fresh copy under build/example-run,
# then finds the collinear blocks and inversions, draws the dot plot with them
# and writes the report with circog-kit.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target circog
rm -rf build/example-run
cp -r example build/example-run
cd build/example-run
status=0
../release/circog > console.txt || status=$?
echo "circog exited with status $status; console output in build/example-run/console.txt"
echo "candidate alignments: $(grep -c '^[0-9]*/[0-9]*:' console.txt)"
wc -l angle1/*.txt out/*.txt
[ "$status" -eq 0 ] || exit "$status"
cd ../..
kit/circog-kit blocks build/example-run
cat build/example-run/blocks/summary.tsv
kit/circog-kit plot build/example-run
cat build/example-run/plots/summary.tsv
echo "report: $(kit/circog-kit report build/example-run)"
