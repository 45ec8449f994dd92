#!/bin/bash
# The data generator is deterministic: two runs into fresh folders give byte-identical trees.
# $1: the build directory holding tibrel_datagen.
set -u
build=${1:?usage: datagen_determinism.sh <build dir>}
gen="$build/tibrel_datagen"
if [ ! -x "$gen" ]; then
    echo "FAIL: $gen not found"
    exit 1
fi
work=$(mktemp -d /tmp/tibrel-datagen-XXXXXX)
trap 'rm -rf "$work"' EXIT

for run in a b; do
    start=$(date +%s%N)
    if ! "$gen" "$work/$run" > "$work/$run.log" 2>&1; then
        echo "FAIL: run $run of tibrel_datagen failed:"
        cat "$work/$run.log"
        exit 1
    fi
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    printf 'run %s: %d.%03d s, %d files\n' "$run" $((ms / 1000)) $((ms % 1000)) "$(find "$work/$run" -type f | wc -l)"
done

if [ -z "$(find "$work/a" -type f -print -quit)" ]; then
    echo "FAIL: the generator wrote no files"
    exit 1
fi
if ! diff -r "$work/a" "$work/b" > "$work/diff.log" 2>&1; then
    echo "FAIL: the two runs differ:"
    head -20 "$work/diff.log"
    exit 1
fi
echo "PASS: both runs are byte-identical"
