# Shared by the network test scripts: headless machines of an online match on 127.0.0.1.
# Source it after setting BUILD (the build directory); it makes WORK and removes it at exit.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ -z "${TIBREL_NET_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 640x480x24" env TIBREL_NET_DISPLAY=1 bash "$0" "$@"
fi

PEER=$BUILD/tibrel_netpeer
[ -x "$PEER" ] || fail "no $PEER"
WORK=$(mktemp -d /tmp/tibrel-net-XXXXXX)
PIDS=()
cleanup() {
    local p
    for p in "${PIDS[@]}"; do
        kill -9 "$p" 2>/dev/null
    done
    if [ -n "${TIBREL_NET_KEEP:-}" ]; then echo "kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
export SDL_AUDIODRIVER=dummy HOME=$WORK
TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tools
# shellcheck source=tools/deps.sh
TIBREL_ROOT=$(dirname "$TOOLS") source "$TOOLS/deps.sh"
PRELOAD=$(tibrel_game_preload "$PEER")

# peer NAME ARGS...: a machine in the background, output in $WORK/NAME.out, its own settings
peer() {
    local name=$1
    shift
    mkdir -p "$WORK/$name"
    XDG_CONFIG_HOME=$WORK/$name XDG_DATA_HOME=$WORK/$name LD_PRELOAD=$PRELOAD \
        "$PEER" --name "$name" --record "$WORK/$name.rp" "$@" > "$WORK/$name.out" 2>&1 &
    PIDS+=($!)
    LAST_PID=$!
}

# the port host NAME listens on, once it says so
port_of() {
    local i
    for i in $(seq 100); do
        if grep -q '^port ' "$WORK/$1.out" 2>/dev/null; then
            awk '/^port / { print $2; exit }' "$WORK/$1.out"
            return 0
        fi
        sleep 0.1
    done
    fail "host $1 did not start: $(cat "$WORK/$1.out")"
}

# waits for pid, at most $2 seconds; STATUS becomes its exit status, or "timeout"
wait_for() {
    local pid=$1 limit=$2 i
    for i in $(seq $((limit * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"
        wait "$pid" 2>/dev/null
        STATUS=timeout
        return 0
    fi
    wait "$pid"
    STATUS=$?
}

hashes() {
    grep '^hash ' "$WORK/$1.out"
}

# waits until NAME has printed at least N hash lines (at most 60 s)
wait_hashes() {
    local i
    for i in $(seq 600); do
        [ "$(grep -c '^hash ' "$WORK/$1.out" 2>/dev/null)" -ge "$2" ] && return 0
        sleep 0.1
    done
    fail "$1 printed fewer than $2 hashes: $(tail -3 "$WORK/$1.out")"
}

# a host and one client joined to it, through a relay when RELAY_ARGS is set; HOST_PID,
# CLIENT_PID and RELAY_PID are theirs
pair() {
    local host_args=$1 client_args=$2 port
    peer host --host 0 --machines 2 --seed 5 --fast $host_args
    HOST_PID=$LAST_PID
    port=$(port_of host)
    [ -n "$port" ] || exit 1
    RELAY_PID=""
    if [ -n "${RELAY_ARGS:-}" ]; then
        # shellcheck disable=SC2086 # switches, one word each
        "$BUILD/tibrel_netrelay" --to "127.0.0.1:$port" --limit 120 $RELAY_ARGS > "$WORK/relay.out" 2>&1 &
        RELAY_PID=$!
        PIDS+=("$RELAY_PID")
        port=$(port_of relay)
        [ -n "$port" ] || exit 1
    fi
    peer c1 --join "127.0.0.1:$port" --fast $client_args
    CLIENT_PID=$LAST_PID
}

# the lines of NAME's output that begin with WORD
lines() {
    grep "^$2" "$WORK/$1.out"
}

fresh() {
    for p in "${PIDS[@]}"; do
        kill -9 "$p" 2>/dev/null
        wait "$p" 2>/dev/null
    done
    PIDS=()
    rm -f "$WORK"/*.out "$WORK"/*.rp "$WORK"/*.dump
}
