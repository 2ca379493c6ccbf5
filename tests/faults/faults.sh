#!/usr/bin/env bash
# Fault injection through the built binary: read errors, files that cannot be
# written, a file-size limit, kills while writing, a memory limit, a console
# that cannot be written and a FIFO for an input.
# Usage: faults.sh <circog binary> <read-fault shim> <sanitized: 0 or 1>
set -uo pipefail
bin=$(realpath "$1")
shim=$(realpath "$2")
sanitized=$3
root=$(mktemp -d "${TMPDIR:-/tmp}/circog-faults-XXXXXX")
failures=0
# A preloaded shim would otherwise stop AddressSanitizer at start-up.
export ASAN_OPTIONS=verify_asan_link_order=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Genome G<n>: a gene table of $2 genes with 20 COG identifiers, so that every
# gene has many partners, and the protein file the angle file will need.
make_genome() {
  local dir=$1 name=$2 genes=$3
  awk -v n="$genes" 'BEGIN {
    print "Locus\tGene\tPID\tStart\tStrand\tLength\tCOG\tLocation\tCode\tProduct\tMarker"
    for (i = 1; i <= n; ++i)
      printf "b%05d\tgene%d\t%d\t%d\t+\t300\tCOG%04dE\t%d..%d\t-\tsome protein of the test genome\t\n",
        i, i, 10000 + i, i * 997, i % 20, i * 997, i * 997 + 300
  }' >"$dir/genes/$name.tab"
  awk -v n="$genes" 'BEGIN {
    split("MKVLA MKVIA WWCKV MKALA PPGWY", seq, " ")
    for (i = 1; i <= n; ++i) printf ">gi|%d|ref|NP_%d.1| test protein\n%s\n", 10000 + i, i, seq[i % 5 + 1]
  }' >"$dir/angle1/$name.faa"
}

# A working directory with two genomes; alignment on or off.
make_case() {
  local dir=$1 genes=$2 align=$3
  mkdir -p "$dir/genes" "$dir/angle1" "$dir/out"
  printf 'G1\t4000000\nG2\t4100000\n' >"$dir/size.txt"
  make_genome "$dir" G1 "$genes"
  make_genome "$dir" G2 "$genes"
  cat >"$dir/config.txt" <<CONFIG
GenomeSizePath=.\\size.txt
TranformDataDir=.\\genes\\
TranformDataFormat=.tab
TranformDataSubFormat=
TranformDataOutPath=.\\angle1\\
AnglePath=.\\angle1\\
AngleFormat=.txt
AlignmentFlag=$align
PairOutputPath=.\\out\\
Similarity=0.3
CONFIG
  awk 'BEGIN { for (r = 1; r <= 20; ++r) { for (c = 1; c <= r; ++c) printf "%d ", (r == c ? 5 : c % 3 - 1); print "" } }' \
    >"$dir/PAM-250.txt"
}

# Runs circog in $1 with the remaining words as a prefix command; sets out
# (standard output), err and status.
run_in() {
  local dir=$1
  shift
  out=$(cd "$dir" && "$@" "$bin" 2>"$root/stderr")
  status=$?
  err=$(cat "$root/stderr")
}

expect_end() {
  local what=$1 line=$2 code=$3
  [ "$status" = "$code" ] || fail "$what: status $status, expected $code"
  [ "$(tail -n 1 <<<"$out")" = "$line" ] || fail "$what: last line '$(tail -n 1 <<<"$out")', expected '$line'"
}

# Every visible result and angle file of $1 is absent or equal to the one in $2.
expect_old_or_new() {
  local what=$1 dir=$2 reference=$3 file
  for file in "$dir"/out/* "$dir"/angle1/*.txt; do
    [ -e "$file" ] || continue
    cmp -s "$file" "$reference/${file#"$dir"/}" || fail "$what: $file is incomplete"
  done
}

no_temporaries() {
  local what=$1 dir=$2
  [ -z "$(find "$dir" -name '.*.tmp')" ] || fail "$what: temporaries left: $(find "$dir" -name '.*.tmp')"
}

# A complete run, the reference for the files of every other one.
reference=$root/reference
make_case "$reference" 2000 TRUE
run_in "$reference" env
expect_end "reference run" "size is 2" 0
[ -s "$reference/out/G1&G2_mul.txt" ] || fail "reference run wrote no results"

fresh() {
  rm -rf "$root/$1"
  cp -r "$reference" "$root/$1"
  rm -f "$root/$1"/out/* "$root/$1"/angle1/*.txt
  echo "$root/$1"
}

# Read errors part way through each kind of input.
for fault in "config.txt:60|config.txt" "size.txt:10|.\\size.txt" "G1.tab:100000|.\\genes\\G1.tab" \
  "G2.txt:5000|.\\angle1\\G2.txt" "G2.faa:5000|.\\angle1\\G2.faa" "PAM-250.txt:100|PAM-250.txt"; do
  dir=$(fresh readerror)
  [ "${fault%%|*}" = "G2.txt:5000" ] && cp "$reference"/angle1/G2.txt "$dir/angle1/"
  run_in "$dir" env CIRCOG_FAIL_READ="${fault%%|*}" LD_PRELOAD="$shim"
  expect_end "read error ${fault%%|*}" "[SYS]	Fail to read file ${fault#*|}" 255
  [ -e "$dir/out/G1&G2_mul.txt" ] && fail "read error ${fault%%|*}: results written"
done

# A read error part way through a pair list ends the run before any pair.
dir=$(fresh readerror-pairs)
printf 'PairList=.\\pairs.txt\n' >>"$dir/config.txt"
printf 'G1\tG2\nG2\tG1\n' >"$dir/pairs.txt"
run_in "$dir" env CIRCOG_FAIL_READ="pairs.txt:8" LD_PRELOAD="$shim"
expect_end "read error pairs.txt:8" "[SYS]	Fail to read file .\\pairs.txt" 255
grep -q '^Open file:' <<<"$out" && fail "read error pairs.txt:8: a genome was loaded"
[ -e "$dir/out/G1&G2_mul.txt" ] && fail "read error pairs.txt:8: results written"

# Result and angle files that are links to a full device.
dir=$(fresh full)
ln -s /dev/full "$dir/out/G1&G2_sin.txt"
run_in "$dir" env
expect_end "result file on /dev/full" "[SYS]	Fail to Open file .\\out\\" 255
dir=$(fresh full)
ln -s /dev/full "$dir/angle1/G2.txt"
run_in "$dir" env
expect_end "angle file on /dev/full" "[SYS]	Fail to Open file .\\angle1\\" 255

# A file-size limit: the angle file cannot be written whole; the earlier one stays.
dir=$(fresh limit)
echo "an earlier angle file" >"$dir/angle1/G1.txt"
run_in "$dir" bash -c 'ulimit -f 20 && exec "$0"'
expect_end "file-size limit" "[SYS]	Fail to Open file .\\angle1\\" 255
[ "$(cat "$dir/angle1/G1.txt")" = "an earlier angle file" ] || fail "file-size limit: earlier angle file changed"
no_temporaries "file-size limit" "$dir"

# Kills at any moment leave each file complete, old or new: at random times,
# and while the multiple pairing result is being written.
dir=$(fresh kill)
for attempt in $(seq 1 16); do
  (cd "$dir" && exec "$bin" >/dev/null 2>&1) &
  if [ $((attempt % 2)) = 0 ]; then
    sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.3f", r / 32768 * 1.5 }')"
  else
    for wait in $(seq 1 5000); do
      compgen -G "$dir/out/.G1&G2_mul.txt.*.tmp" >/dev/null && break
      sleep 0.001
    done
  fi
  kill -9 $! 2>/dev/null
  wait $! 2>/dev/null
  expect_old_or_new "kill $attempt" "$dir" "$reference"
done

# Standard output closed, full, or a pipe closed early: files complete, status -1.
for console in closed full pipe; do
  dir=$(fresh "console-$console")
  case $console in
    closed) (cd "$dir" && exec "$bin" >&- 2>"$root/stderr"); status=$? ;;
    full) (cd "$dir" && exec "$bin" >/dev/full 2>"$root/stderr"); status=$? ;;
    pipe) (cd "$dir" && exec "$bin" 2>"$root/stderr") | head -n 2 >/dev/null; status=${PIPESTATUS[0]} ;;
  esac
  [ "$status" = 255 ] || fail "console $console: status $status, expected 255"
  [ "$(cat "$root/stderr")" = "[SYS]	Fail to write standard output" ] || fail "console $console: stderr '$(cat "$root/stderr")'"
  for file in "$reference"/out/* "$reference"/angle1/*.txt; do
    cmp -s "$file" "$dir/${file#"$reference"/}" || fail "console $console: ${file#"$reference"/} differs"
  done
done

# A FIFO as the configuration is no file; opening it must not block.
dir=$(fresh fifo)
rm "$dir/config.txt"
mkfifo "$dir/config.txt"
run_in "$dir" timeout 20
expect_end "FIFO configuration" "[SYS]	Fail to open configure file." 255
[ "$out" = "[SYS]	Fail to open configure file." ] || fail "FIFO configuration: more output than the failure line"

# Out of memory: a pair of 300,000-residue proteins, and a protein line that
# does not fit under the limit at all.
if [ "$sanitized" = 1 ]; then
  echo "SKIP: memory limits: AddressSanitizer reserves more address space than any ulimit -v allows"
else
  dir=$(fresh memory)
  head -c 300000 /dev/zero | tr '\0' 'W' >"$root/huge"
  for genome in G1 G2; do
    { echo ">gi|10001|ref|NP_1.1| huge"; cat "$root/huge"; echo; } >"$dir/angle1/$genome.faa"
  done
  run_in "$dir" bash -c 'ulimit -v 2000000 && exec "$0"'
  expect_end "huge pair" "[SYS]	Out of memory" 255
  [ -z "$(ls -A "$dir/out")" ] || fail "huge pair: result files written: $(ls -A "$dir/out")"
  dir=$(fresh memory-line)
  head -c 400000000 /dev/zero | tr '\0' 'W' >"$dir/angle1/G1.faa"
  run_in "$dir" bash -c 'ulimit -v 600000 && exec "$0"'
  expect_end "huge line" "[SYS]	Out of memory" 255
  rm -f "$dir/angle1/G1.faa"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures fault case(s) failed; files kept in $root"
  exit 1
fi
[ -n "${CIRCOG_KEEP_FAULTS:-}" ] || rm -rf "$root"
echo "all fault cases passed"
