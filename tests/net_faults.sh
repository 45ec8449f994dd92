#!/bin/bash
# Faults of an online match between two headless machines on 127.0.0.1:
#   a client killed outright: after 5 s its seat is the computer's and the host plays on;
#   the host killed: the client stops, saying the host was lost, and keeps its recording;
#   a client leaving (Escape): the host is told at once and plays on;
#   the host ending the match: the client says so;
#   a client that reads nothing for 20 s as the match starts: it is waited for;
#   the relay between them blacked out for 3 s: the match resumes, nobody replaced;
#   ... for 6 s: the seat goes to the computer at the same step on both; hashes still agree;
#   one sand cell changed on the client: both stop at the first check after it with
#   "Out of sync at rally N, step S", and their state dumps differ exactly there.
#
# usage: tests/net_faults.sh <build dir>     (TIBREL_NET_KEEP=1 keeps the working folder)
set -u
BUILD=$(cd "$1" && pwd)
# shellcheck source=tests/netlib.bash
source "$(dirname "$0")/netlib.bash"
# The cases hang on wall-clock times (5 s to hand a seat over, blackouts of 3 and 6 s) that a
# sanitizer build on a loaded two-core machine does not keep: there a client was seen to miss
# its 5 s to connect. The session and the decoder run under the sanitizers in test_netsession,
# test_netprotocol and net_loopback; this test runs in the normal tree.
[ -z "$PRELOAD" ] || { echo "skipped: a sanitizer build"; exit 77; }

# the host's recording plays back offline with the host's hashes
replays_as_played() {
    LD_PRELOAD=$PRELOAD "$PEER" --replay "$WORK/$1.rp" > "$WORK/replay.out" 2>&1
    hashes replay | diff -q - <(hashes "$1" | head -n "$(hashes replay | wc -l)") > /dev/null ||
        fail "$2: $1's recording plays back differently"
}

# a client killed with SIGKILL
pair "" ""
wait_hashes c1 2
kill -9 "$CLIENT_PID"
wait_for "$HOST_PID" 60
[ "$STATUS" = 0 ] || fail "killed client: the host ended with $STATUS"
lines host notice | grep -q "c1 stopped sending; the computer plays for them" ||
    fail "killed client: no hand-over: $(lines host notice)"
replays_as_played host "killed client"
echo "ok: killed client"
fresh

# the host killed
pair "" ""
wait_hashes c1 2
kill -9 "$HOST_PID"
wait_for "$CLIENT_PID" 20
[ "$STATUS" = 3 ] || fail "killed host: the client ended with $STATUS"
lines c1 stopped | grep -q "The connection to the host was lost" || fail "killed host: $(lines c1 stopped)"
replays_as_played c1 "killed host"
echo "ok: killed host"
fresh

# a client leaving, and the host ending the match
pair "" "--leave-at 400"
wait_for "$HOST_PID" 60
wait_for "$CLIENT_PID" 10
lines c1 stopped | grep -q "You left the match" || fail "client leaving: $(lines c1 stopped)"
lines host notice | grep -q "c1 left; the computer plays for them" || fail "client leaving: $(lines host notice)"
echo "ok: client leaving"
fresh
pair "--leave-at 400" ""
wait_for "$CLIENT_PID" 20
lines c1 stopped | grep -q "The host ended the match" || fail "host ending: $(lines c1 stopped)"
echo "ok: host ending the match"
fresh

# a client that reads nothing for 20 s while it builds the match (stopped with SIGSTOP, as a
# slow machine is): both wait for it, and the match is played to its end, nobody replaced
pair "" ""
for i in $(seq 300); do
    lines c1 seats > /dev/null && break
    sleep 0.1
done
kill -STOP "$CLIENT_PID"
sleep 20
kill -CONT "$CLIENT_PID"
wait_for "$HOST_PID" 90
wait_for "$CLIENT_PID" 30
[ "$STATUS" = 0 ] || fail "slow start: the client ended with $STATUS: $(lines c1 stopped)"
[ -z "$(lines host notice)" ] || fail "slow start: $(lines host notice)"
hashes c1 | diff -q - <(hashes host) > /dev/null || fail "slow start: hashes differ"
echo "ok: a client 20 s late to begin"
fresh

# blackouts of the relay between them
for dark in 3 6; do
    RELAY_ARGS="--seed 3 --blackout $dark" pair "" ""
    wait_hashes c1 2
    kill -USR1 "$RELAY_PID"
    wait_for "$HOST_PID" 90
    wait_for "$CLIENT_PID" 30
    [ "$(lines host stats)" ] || fail "blackout $dark s: the host did not finish"
    hashes c1 | diff -q - <(hashes host) > /dev/null || fail "blackout $dark s: hashes differ"
    handed_host=$(lines host notice | grep "is played by the computer")
    handed_client=$(lines c1 notice | grep "is played by the computer")
    if [ "$dark" = 3 ]; then
        [ -z "$handed_host$handed_client" ] || fail "blackout 3 s: a seat was handed over: $handed_host"
    else
        [ -n "$handed_host" ] && [ "$handed_host" = "$handed_client" ] ||
            fail "blackout 6 s: hand-over host \"$handed_host\", client \"$handed_client\""
    fi
    echo "ok: blackout $dark s ${handed_host:+($handed_host)}"
    fresh
done
unset RELAY_ARGS

# out of sync: a sand cell changed on the client at step 250
pair "" "--desync-at 250"
wait_for "$HOST_PID" 30
wait_for "$CLIENT_PID" 20
stop_host=$(lines host stopped)
stop_client=$(lines c1 stopped)
[[ $stop_host == *"Out of sync at rally "*", step "* ]] || fail "out of sync: host says \"$stop_host\""
[ "$stop_host" = "$stop_client" ] || fail "out of sync: \"$stop_host\" and \"$stop_client\""
step=$(sed 's/.*, step \([0-9]*\).*/\1/' <<< "$stop_host")
[ "$step" -gt 250 ] && [ "$step" -le 300 ] || fail "out of sync: stopped at step $step, not at the first check after 250"
[ -s "$WORK/host.rp.dump" ] && [ -s "$WORK/c1.rp.dump" ] || fail "out of sync: no state dumps"
differ=$(diff <(cat "$WORK/host.rp.dump") <(cat "$WORK/c1.rp.dump") | grep '^<' | cut -c3- | awk '{ print ($1 == "sand") ? $1 " " $2 : $1 }' | tr '\n' '|')
[ "$differ" = "hash|sand 256:|" ] || fail "out of sync: the dumps differ in \"$differ\""
echo "ok: out of sync ($stop_host)"
