#!/bin/sh
# Runs the built circog over one golden case and shows how today's output
# differs from the expected files. It writes nothing into the case folder:
# expected files are worked out and edited by hand.
#
# usage: tests/golden/regenerate.sh <case> [path/to/circog]
#        (default binary: $CIRCOG_BINARY, else build-golden/circog)
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ $# -lt 1 ]; then
    echo "usage: $0 <case> [circog binary]" >&2
    ls "$here/cases" >&2
    exit 2
fi
case_dir="$here/cases/$1"
binary=${2:-${CIRCOG_BINARY:-$root/build-golden/circog}}
[ -d "$case_dir" ] || { echo "no case $case_dir" >&2; exit 2; }
[ -x "$binary" ] || { echo "no binary $binary (build the circog target first)" >&2; exit 2; }
binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/circog-regen-XXXXXX")
mkdir "$tmp/work"
[ -d "$case_dir/input" ] && cp -R "$case_dir/input/." "$tmp/work/"
(cd "$tmp/work" && "$binary" </dev/null >"$tmp/stdout" 2>"$tmp/stderr")
status=$?

rc=0
echo "== stdout (expected vs actual)"
if ! diff -u --label expected/stdout --label actual "$case_dir/expected/stdout" "$tmp/stdout" | cat -A; then :; fi
cmp -s "$case_dir/expected/stdout" "$tmp/stdout" || rc=1
expected_status=$(tr -d ' \n\r' <"$case_dir/expected/status")
echo "== status: expected $expected_status, actual $status"
[ "$expected_status" = "$status" ] || rc=1
echo "== files"
(cd "$tmp/work" && find . -type f | sort) | while read -r f; do
    rel=${f#./}
    if [ -f "$case_dir/expected/files/$rel" ]; then
        if ! cmp -s "$case_dir/expected/files/$rel" "$tmp/work/$rel"; then
            echo "differs: $rel"
            diff -u --label "expected/files/$rel" --label actual "$case_dir/expected/files/$rel" "$tmp/work/$rel" | cat -A
        fi
    elif [ -f "$case_dir/input/$rel" ]; then
        cmp -s "$case_dir/input/$rel" "$tmp/work/$rel" || echo "input changed, not in expected/files: $rel"
    else
        echo "unexpected file: $rel"
    fi
done | tee "$tmp/files.report"
[ -s "$tmp/files.report" ] && rc=1
if [ -d "$case_dir/expected/files" ]; then
    (cd "$case_dir/expected/files" && find . -type f | sort) | while read -r f; do
        rel=${f#./}
        [ -f "$tmp/work/$rel" ] || echo "missing: $rel"
    done | tee "$tmp/missing.report"
    [ -s "$tmp/missing.report" ] && rc=1
fi
[ -s "$tmp/stderr" ] && { echo "== stderr"; cat "$tmp/stderr"; }
if [ $rc -eq 0 ]; then
    echo "== $1: matches"
    rm -rf "$tmp"
else
    echo "== $1: differs; run kept in $tmp"
fi
exit $rc
