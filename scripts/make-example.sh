#!/usr/bin/env bash
# Rebuilds the bundled example's inputs from the NCBI files in example/sources
# with circog-kit, and its expected results (example/expected/out) with a
# circog run. Needs build/release/circog (scripts/example.sh builds it).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kit/circog-kit import "$work/run" Ecoli_K12 example/sources/NC_000913.ptt \
  --proteins example/sources/NC_000913.faa.gz
kit/circog-kit import "$work/run" Styphi_CT18 example/sources/NC_003198.ptt \
  --proteins example/sources/NC_003198.faa.gz
cp "$work"/run/genes/*.tab example/genes/
cp "$work"/run/angle1/*.faa example/angle1/
cp "$work"/run/genome_sizes.txt "$work"/run/genome_origins.txt example/
(cd "$work/run" && "$OLDPWD/build/release/circog" >/dev/null)
mkdir -p example/expected/out
cp "$work"/run/out/*.txt example/expected/out/
