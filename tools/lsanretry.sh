#!/bin/bash
# Runs a sanitizer-built test program (the sanitizer tree's tests go through it). Now and then
# LeakSanitizer's own tracer, the helper that stops every thread to look for leaks, crashes
# ("Tracer caught signal 11") after every test has passed, and the program exits 1 without any
# report about the code. Only then the program runs once more, and that run's status counts.
# Any report, a failing test or a second crash keeps its status.
#
# usage: tools/lsanretry.sh PROGRAM [ARGUMENTS...]
out=$(mktemp /tmp/tibrel-lsanretry-XXXXXX)
trap 'rm -f "$out"' EXIT
# the test's whole output is read as one, as CTest reads it
"$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ] && grep -q "Tracer caught signal" "$out" &&
    ! grep -qE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|\[  FAILED  \]" "$out"; then
    echo "lsanretry: LeakSanitizer's tracer crashed after the program had passed; running it again"
    "$@"
    rc=$?
fi
exit "$rc"
