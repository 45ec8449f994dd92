#!/bin/bash
# Joining refused, each case in its own words: another game version, other game data, a full
# match, a match already running, and nobody answering at the address.
#
# usage: tests/net_refusals.sh <build dir>     (TIBREL_NET_KEEP=1 keeps the working folder)
set -u
BUILD=$(cd "$1" && pwd)
# shellcheck source=tests/netlib.bash
source "$(dirname "$0")/netlib.bash"

# refused NAME WORDS ARGS...: a client joining the host at PORT with ARGS stops with WORDS
refused() {
    local name=$1 words=$2
    shift 2
    peer "$name" --join "127.0.0.1:$PORT" "$@"
    wait_for "$LAST_PID" 15
    [ "$STATUS" = 3 ] || fail "$name: ended with $STATUS"
    lines "$name" stopped | grep -qF "$words" || fail "$name: \"$(lines "$name" stopped)\", not \"$words\""
    echo "ok: $name: $(lines "$name" stopped)"
}

peer h --host 0 --machines 9 --devices 3 --version "Tibrel 1.1.0" --data-hash 77
PORT=$(port_of h)
[ -n "$PORT" ] || exit 1
refused version "The host runs Tibrel 1.1.0; you run Tibrel 1.0.0" --version "Tibrel 1.0.0" --data-hash 77
refused data "The host's game data differ from yours" --version "Tibrel 1.1.0" --data-hash 78
refused full "The match is full: 3 of 4 seats are taken and you bring 2 players" --version "Tibrel 1.1.0" --data-hash 77 --devices 2
fresh

# a match running: two machines play, a third comes late
peer h --host 0 --machines 2
PORT=$(port_of h)
[ -n "$PORT" ] || exit 1
peer first --join "127.0.0.1:$PORT"
wait_hashes h 1
refused late "A match is already running on h's machine; join when it is over"
fresh

# nobody at the address: a port nothing listens on
PORT=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
refused nobody "No answer from 127.0.0.1:$PORT - check the address and that UDP port $PORT is open on the host"
