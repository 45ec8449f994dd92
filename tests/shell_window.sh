#!/usr/bin/env bash
# Runs the real game in a window with frame capture, once with the data folder and once
# without one: the window must appear, the capture must grow by whole 800x600 frames, and
# skipping the three title pictures and choosing "Quit" must end the game with status 0.
# Usage: shell_window.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
game="$build/tibrel"
[ -x "$game" ] || { echo "FAIL: $game is missing"; exit 1; }

# a display of our own, so no other test's window can take the keys sent here
if [ -z "${TIBREL_WINDOW_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 1280x1024x24" env TIBREL_WINDOW_DISPLAY=1 bash "$0" "$build"
fi
command -v xdotool >/dev/null || { echo "FAIL: xdotool is not installed"; exit 1; }

export SDL_AUDIODRIVER=dummy
FRAME=$((800 * 600 * 3))
# sanitizer builds and software GL are slow: generous limits, short checks
START_LIMIT=90
EXIT_LIMIT=60
HOLD=0.8

# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
preload=$(tibrel_game_preload "$game")

work=$(mktemp -d /tmp/tibrel-window-XXXXXX)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        # a game that did not end by itself is ended outright, so it cannot go on capturing
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

# a direction is let go well before its 0.4 s repeat; one xdotool presses and lets go, so the
# start of a second one on a loaded machine cannot lengthen the hold
press() {
    local hold=$HOLD
    case $1 in Up | Down | Left | Right) hold=0.2 ;; esac
    xdotool keydown "$1" sleep "$hold" keyup "$1"
    sleep "$HOLD"
}

# one run of the game in folder $1 (made here); $2 says whether it gets the data folder
run_game() {
    local dir=$1 withData=$2
    mkdir -p "$dir/config"
    if [ "$withData" = yes ]; then
        [ -d "$root/data" ] || { echo "FAIL: $root/data has not been generated"; return 1; }
        ln -s "$root/data" "$dir/data"
    fi
    echo "== run with data: $withData"
    # settings go to the run's own folder, the capture to its working folder
    (cd "$dir" && HOME="$dir" XDG_CONFIG_HOME="$dir/config" LD_PRELOAD="$preload" exec "$game" -w -capture) \
        >"$dir/out.log" 2>&1 &
    pid=$!

    local wid="" waited=0
    while [ -z "$wid" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "FAIL: the game ended before its window appeared"
            cat "$dir/out.log"
            return 1
        fi
        if [ "$waited" -ge "$START_LIMIT" ]; then
            echo "FAIL: no window titled \"Tibrel 2006\" after ${START_LIMIT}s"
            return 1
        fi
        sleep 1
        waited=$((waited + 1))
        wid=$(xdotool search --name '^Tibrel 2006$' 2>/dev/null | head -n 1 || true)
    done
    local geometry
    geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: *//p')
    echo "window $wid, $geometry, after ${waited}s"
    [ "$geometry" = "800x600" ] || { echo "FAIL: window is $geometry, not 800x600"; return 1; }

    # loading can outlast the window's appearance on a busy machine: wait for the first frame
    local loading=0
    while [ "$(size_of "$dir/video.out")" -lt "$FRAME" ] && [ "$loading" -lt "$START_LIMIT" ]; do
        sleep 1
        loading=$((loading + 1))
    done
    # the capture keeps growing while the game runs
    local s1 s2
    sleep 2
    s1=$(size_of "$dir/video.out")
    sleep 3
    s2=$(size_of "$dir/video.out")
    echo "video.out: $s1 then $s2 bytes"
    [ "$s2" -gt "$s1" ] || { echo "FAIL: video.out does not grow"; return 1; }
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: the game ended by itself"; cat "$dir/out.log"; return 1; }

    # keys go to the window under the pointer
    xdotool mousemove --window "$wid" 400 300
    xdotool windowfocus "$wid" 2>/dev/null || true
    # three title pictures skipped (a title that already ended leaves Return on the first
    # menu line, which only changes player 1's device), then Up wraps to "Quit"
    press Return
    press Return
    press Return
    press Up
    press Return

    local status=0 left=$EXIT_LIMIT
    while kill -0 "$pid" 2>/dev/null && [ "$left" -gt 0 ]; do
        sleep 1
        left=$((left - 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the game is still running ${EXIT_LIMIT}s after \"Quit\""
        return 1
    fi
    wait "$pid" || status=$?
    pid=""
    if [ "$status" -ne 0 ]; then
        echo "FAIL: the game ended with status $status"
        cat "$dir/out.log"
        return 1
    fi

    local total
    total=$(size_of "$dir/video.out")
    echo "video.out: $total bytes, $((total / FRAME)) frames"
    [ "$total" -ge $((2 * FRAME)) ] || { echo "FAIL: fewer than two frames captured"; return 1; }
    [ $((total % FRAME)) -eq 0 ] || { echo "FAIL: video.out is not whole frames"; return 1; }
    if [ -s "$dir/out.log" ]; then
        echo "output of the game:"
        cat "$dir/out.log"
    fi
    return 0
}

run_game "$work/with-data" yes
run_game "$work/no-data" no
echo "PASS"
