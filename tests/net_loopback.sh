#!/bin/bash
# Online matches on 127.0.0.1 between headless machines with scripted inputs, each a whole
# match of 3-point rounds: 2 machines (1 + 1 and 2 + 2 humans), 3 machines (2 + 1 + 1) and
# 4 machines (1 each). Every machine's hashes after every rally are equal, and equal those of
# the host's recording played back offline. Then two matches in a row: after the first every
# machine goes back to the lobby, and the second has the same seats and agrees as well.
# In the three-machine match the host changes the input delay at rally starts (a plan given
# on its command line): every machine applies each change at the same step.
#
# usage: tests/net_loopback.sh <build dir>     (TIBREL_NET_KEEP=1 keeps the working folder)
set -u
BUILD=$(cd "$1" && pwd)
# shellcheck source=tests/netlib.bash
source "$(dirname "$0")/netlib.bash"

# play DEVICES...: one match, the host's devices first; HOST_ARGS go to the host alone
play() {
    local devices=("$@") n=$# i
    # shellcheck disable=SC2086
    peer host --host 0 --machines "$n" --devices "${devices[0]}" --seed $((n * 10 + devices[0])) --fast ${HOST_ARGS:-}
    local host_pid=$LAST_PID pids=() port
    port=$(port_of host)
    [ -n "$port" ] || exit 1
    for ((i = 1; i < n; i++)); do
        peer "c$i" --join "127.0.0.1:$port" --devices "${devices[i]}" --fast
        pids+=("$LAST_PID")
    done
    wait_for "$host_pid" 120
    [ "$STATUS" = 0 ] || fail "${devices[*]}: the host ended with $STATUS: $(tail -3 "$WORK/host.out")"
    for ((i = 1; i < n; i++)); do
        wait_for "${pids[i - 1]}" 20
        [ "$STATUS" = 0 ] || fail "${devices[*]}: machine $i ended with $STATUS: $(tail -3 "$WORK/c$i.out")"
        hashes "c$i" | diff -q - <(hashes host) > /dev/null ||
            fail "${devices[*]}: machine $i's hashes differ from the host's"
        [ "$(lines "c$i" delays)" = "$(lines host delays)" ] ||
            fail "${devices[*]}: machine $i applied the delays $(lines "c$i" delays), the host $(lines host delays)"
    done
    [ "$(hashes host | wc -l)" -ge 4 ] || fail "${devices[*]}: too few rallies"
    if [ -n "${PLAN:-}" ]; then
        # the changes the plan makes from the delay the match started with, in turn
        local applied=() expected=() d p
        read -ra applied <<< "$(lines host delays | tr ' ' '\n' | sed -n 's/.*://p' | paste -sd' ')"
        d=${applied[0]}
        for p in ${PLAN//,/ }; do
            [ "$p" = "$d" ] || expected+=("$p")
            d=$p
        done
        [ "${#applied[@]}" -ge 3 ] && [ "${applied[*]:1}" = "${expected[*]:0:${#applied[@]}-1}" ] ||
            fail "${devices[*]}: the host applied the delays ${applied[*]} for the plan $PLAN"
    fi
    LD_PRELOAD=$PRELOAD "$PEER" --replay "$WORK/host.rp" > "$WORK/replay.out" 2>&1 ||
        fail "${devices[*]}: the host's recording does not play back: $(tail -2 "$WORK/replay.out")"
    hashes replay | diff -q - <(hashes host) > /dev/null ||
        fail "${devices[*]}: the recording's hashes differ from the match's"
    echo "ok: ${devices[*]} humans, $(hashes host | wc -l) hashes, $(lines host delays), $(grep stats "$WORK/host.out")"
    rm -f "$WORK"/*.out "$WORK"/*.rp
}

play 1 1
play 2 2
# a plan longer than the rallies of a match
plan=$(printf '5,2,8,3,6,1,4,7,%.0s' {1..8})
PLAN=${plan%,} HOST_ARGS="--delays ${plan%,}" play 2 1 1
play 1 1 1 1

# two matches, the lobby between them
peer host --host 0 --machines 3 --devices 1 --seed 8 --fast --matches 2
host_pid=$LAST_PID
port=$(port_of host)
[ -n "$port" ] || exit 1
peer c1 --join "127.0.0.1:$port" --devices 2 --fast --matches 2
c1_pid=$LAST_PID
peer c2 --join "127.0.0.1:$port" --devices 1 --fast --matches 2
c2_pid=$LAST_PID
wait_for "$host_pid" 180
[ "$STATUS" = 0 ] || fail "two matches: the host ended with $STATUS: $(tail -3 "$WORK/host.out")"
for c in c1 c2; do
    pid_var=${c}_pid
    wait_for "${!pid_var}" 30
    [ "$STATUS" = 0 ] || fail "two matches: $c ended with $STATUS: $(tail -3 "$WORK/$c.out")"
    hashes "$c" | diff -q - <(hashes host) > /dev/null || fail "two matches: $c's hashes differ from the host's"
    [ "$(lines "$c" seats | uniq | wc -l)" = 1 ] || fail "two matches: $c's seats changed: $(lines "$c" seats)"
done
[ "$(lines host 'match over' | wc -l)" = 2 ] || fail "two matches: the host played $(lines host 'match over' | wc -l)"
[ "$(lines host seats | wc -l)" = 2 ] && [ "$(lines host seats | uniq | wc -l)" = 1 ] ||
    fail "two matches: the host's seats: $(lines host seats)"
echo "ok: two matches in a row, $(hashes host | wc -l) hashes, seats$(lines host seats | head -1 | cut -c6-)"
