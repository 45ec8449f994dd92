#!/usr/bin/env bash
# Two real game windows under one X server on 127.0.0.1: the first hosts with -host, the
# second joins through the menu with keys (Online..., Join a Match, the address typed,
# Ready), the host starts the match, a rally is played, and the host's Escape ends it on
# both. Both machines' replays then give the same hash after every rally they both played.
# Usage: net_windows.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
game="$build/tibrel"
[ -x "$game" ] || { echo "FAIL: $game is missing"; exit 1; }
[ -d "$root/data" ] || { echo "FAIL: $root/data has not been generated"; exit 1; }
# two software-rendered windows and a sanitizer build do not keep a match's pace
grep -q 'TIBREL_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null && { echo "skipped in a sanitizer tree"; exit 77; }

if [ -z "${TIBREL_WINDOW_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 1280x1024x24" env TIBREL_WINDOW_DISPLAY=1 bash "$0" "$build"
fi
command -v xdotool >/dev/null || { echo "FAIL: xdotool is not installed"; exit 1; }
export SDL_AUDIODRIVER=dummy
# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
preload=$(tibrel_game_preload "$game")

work=$(mktemp -d /tmp/tibrel-netwin-XXXXXX)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do
        kill -KILL "$p" 2>/dev/null || true
    done
    if [ -n "${TIBREL_NET_KEEP:-}" ]; then echo "kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# a free UDP port on 127.0.0.1
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# machine NAME ARGS...: a game in its own folder with its own settings; sets WID to its window
machine() {
    local name=$1
    shift
    local dir="$work/$name"
    mkdir -p "$dir/config/tibrel"
    ln -s "$root/data" "$dir/data"
    # three-point rounds; one keyboard each; matches are looked for on 127.0.0.1 only
    printf '[net]\nname=%s\ndevices=1\nport=%s\nfindaddress=127.0.0.1\n[game]\nroundlength=0\n' \
        "$name" "$port" > "$dir/config/tibrel/tibrel.conf"
    (cd "$dir" && HOME="$dir" XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/share" \
        LD_PRELOAD="$preload" exec "$game" -w -size 640x480 "$@") > "$dir/out.log" 2>&1 &
    pids+=($!)
    local waited=0
    WID=""
    while [ -z "$WID" ] && [ "$waited" -lt 90 ]; do
        sleep 1
        waited=$((waited + 1))
        WID=$(xdotool search --name '^Tibrel 2006$' 2>/dev/null | grep -vx "${KNOWN:-none}" | head -n 1 || true)
    done
    [ -n "$WID" ] || { echo "FAIL: no window for $name"; cat "$dir/out.log"; exit 1; }
    KNOWN=$WID
    echo "$name: window $WID after ${waited}s"
}

# keys to window $1 (the one under the pointer with the focus)
to() {
    xdotool mousemove --window "$1" 100 100 windowfocus "$1" 2>/dev/null || true
    sleep 0.3
}
# one xdotool for the press and the release: a key held past the menus' 0.4 s repeat delay
# would move twice
press() {
    xdotool keydown "$1" sleep 0.15 keyup "$1"
    sleep 0.4
}
shot() {
    import -window root "$work/$1.png" 2>/dev/null || true
}

machine anna -host "$port"
host=$WID
xdotool windowmove "$host" 0 0
sleep 3
machine bob
client=$WID
xdotool windowmove "$client" 640 0   # side by side: the screenshots show both
sleep 8   # the title pictures begin

to "$client"
# three title pictures, then Up from the first line wraps to Quit, Start!, Online...
press Return; press Return; press Return
press Up; press Up; press Up
press Return
sleep 2
shot online         # anna's match in the list
press Down          # Join a Match
press Return
xdotool type --delay 120 "127.0.0.1:$port"
sleep 0.5
press Return
sleep 3
press Up; press Up  # Leave, Ready
press Return        # Ready: Yes
sleep 2
shot lobby

to "$host"
press Up; press Up  # Leave, Start Match
press Return
sleep 8
press x             # anna serves (the hit key)
sleep 25            # three-point rounds: a rally or more
shot match
press Escape        # the host ends the match for everyone
sleep 4
shot after

for p in "${pids[@]}"; do
    kill -TERM "$p" 2>/dev/null || true
done
sleep 3

status=0
hashes() {
    local replay
    replay=$(ls "$work/$1"/share/tibrel/replays/* 2>/dev/null | head -n 1)
    [ -n "$replay" ] || { echo "FAIL: $1 kept no replay" >&2; return 1; }
    LD_PRELOAD="$preload" "$build/tibrel_netpeer" --replay "$replay" | grep '^hash' || true
}
a=$(hashes anna) || status=1
b=$(hashes bob) || status=1
[ "$status" -eq 0 ] || exit 1
na=$(printf '%s\n' "$a" | grep -c . || true)
nb=$(printf '%s\n' "$b" | grep -c . || true)
n=$((na < nb ? na : nb))
echo "rallies: anna $na, bob $nb"
[ "$n" -ge 1 ] || { echo "FAIL: no rally was played"; cat "$work"/*/out.log; exit 1; }
if [ "$(printf '%s\n' "$a" | head -n "$n")" != "$(printf '%s\n' "$b" | head -n "$n")" ]; then
    echo "FAIL: the machines' rallies differ"
    printf 'anna:\n%s\nbob:\n%s\n' "$a" "$b"
    exit 1
fi
grep -q "The host ended the match" "$work/bob/out.log" || { echo "FAIL: bob was not told the host ended the match"; cat "$work/bob/out.log"; exit 1; }
echo "both machines agree on $n rallies"
