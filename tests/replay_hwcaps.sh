#!/bin/bash
# Machines of an online match must compute the same floats even when their C libraries take
# different code paths. GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA,-AVX2 makes this machine's glibc
# use its other versions of the double-precision maths functions (sin, cos, exp, pow differ
# in about 1 input in 1500), as another CPU would. A match recorded normally plays back with
# those paths to the same hash after every rally, and the recording's own hashes hold.
#
# usage: tests/replay_hwcaps.sh <build dir>     (TIBREL_NET_KEEP=1 keeps the working folder)
set -u
BUILD=$(cd "$1" && pwd)
# shellcheck source=tests/netlib.bash
source "$(dirname "$0")/netlib.bash"

# a host alone with two scripted humans, played to its end in Extreme! mode
peer host --host 0 --machines 1 --devices 2 --mode 2 --seed 11 --fast
wait_for "$LAST_PID" 120
[ "$STATUS" = 0 ] || fail "the match ended with $STATUS: $(tail -2 "$WORK/host.out")"
for tunables in "" "glibc.cpu.hwcaps=-FMA,-AVX2"; do
    GLIBC_TUNABLES=$tunables LD_PRELOAD=$PRELOAD "$PEER" --replay "$WORK/host.rp" > "$WORK/replay.out" 2>&1 ||
        fail "with GLIBC_TUNABLES=\"$tunables\" the recording does not play back: $(tail -2 "$WORK/replay.out")"
    hashes replay | diff -q - <(hashes host) > /dev/null ||
        fail "with GLIBC_TUNABLES=\"$tunables\" the rally hashes differ"
    echo "ok: GLIBC_TUNABLES=\"$tunables\": $(hashes replay | wc -l) rally hashes agree"
done
