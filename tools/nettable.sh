#!/bin/bash
# The poor-network table: a paced online match (50 steps a second, as played) of two headless
# machines through the seeded UDP relay on 127.0.0.1, once per network case. For each case it
# prints the input delays the host chose (at the start, then at rally starts, in turn), the share of steps the client stalled, and the
# bytes per second each machine sent (ENet's count: packets with their ENet headers, without
# the UDP and IP headers), and checks that both machines' rally hashes agree.
#
# usage: tools/nettable.sh [build dir]      (default build/; run from the repository root)
# Each case is a whole match of 3-point rounds, about a minute; needs Xvfb.
set -u
BUILD=$(cd "${1:-build}" && pwd)
TIBREL_NET_KEEP=${TIBREL_NET_KEEP:-}
# shellcheck source=tests/netlib.bash
source "$(dirname "$0")/../tests/netlib.bash"

cases=(
    "clean|"
    "50 ms, 5 % loss|--delay 50 --loss 5"
    "50 ms, 5 % loss, 20 ms jitter, 2 % reorder, 1 % duplicates|--delay 50 --loss 5 --jitter 20 --reorder 2 --duplicate 1"
    "125 ms, 10 % loss|--delay 125 --loss 10"
)
printf "%-58s %9s %8s %9s %9s %6s\n" "case (each way)" delays stalled "host B/s" "client B/s" hashes
# NET_CASES="2 3" runs only those cases (counted from 1)
n=0
for c in "${cases[@]}"; do
    n=$((n + 1))
    [[ " ${NET_CASES:-1 2 3 4} " == *" $n "* ]] || continue
    name=${c%%|*}
    RELAY_ARGS="--seed 7 ${c#*|}"
    peer host --host 0 --machines 2 --seed 5
    host_pid=$LAST_PID
    port=$(port_of host)
    "$BUILD/tibrel_netrelay" --to "127.0.0.1:$port" --limit 300 $RELAY_ARGS > "$WORK/relay.out" 2>&1 &
    PIDS+=($!)
    port=$(port_of relay)
    peer c1 --join "127.0.0.1:$port"
    client_pid=$LAST_PID
    wait_for "$host_pid" 300
    wait_for "$client_pid" 30
    same=no
    hashes c1 | diff -q - <(hashes host) > /dev/null && [ "$(hashes host | wc -l)" -gt 3 ] && same=yes
    delay=$(lines host delays | tr ' ' '\n' | sed -n 's/.*://p' | paste -sd,)
    read -r _ steps stalled seconds hbytes < <(lines host stats | sed 's/[a-z]*=//g; s/stats //')
    read -r _ csteps cstalled cseconds cbytes < <(lines c1 stats | sed 's/[a-z]*=//g; s/stats //')
    printf "%-58s %9s %7.1f%% %9.0f %9.0f %6s\n" "$name" "$delay" \
        "$(echo "100 * $cstalled / $csteps" | bc -l)" "$(echo "$hbytes / $seconds" | bc -l)" \
        "$(echo "$cbytes / $cseconds" | bc -l)" "$same"
    [ -n "$TIBREL_NET_KEEP" ] && mkdir -p "$WORK/case$n" && cp "$WORK"/*.out "$WORK/case$n/"
    fresh
done
