#!/bin/bash
# "-play" starts in the match with the stored time of day: with Night stored the court, the
# venue and its sky are the dark Night ones, not the Day ones the match was built with.
# Two runs, Day and Night stored; the upper half of the Night picture (venue and sky) must be
# far darker than the Day one.
#
# usage: tests/play_timeofday.sh <build dir>     (run from the repository root)

set -u
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ -z "${TIBREL_PLAY_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 800x600x24" env TIBREL_PLAY_DISPLAY=1 bash "$0" "$@"
fi

[ $# -ge 1 ] || fail "usage: $0 <build dir>"
GAME=$(cd "$1" 2>/dev/null && pwd)/tibrel
[ -x "$GAME" ] || fail "no game at $GAME"
[ -f data/venues/Night_venue.3ds ] || fail "data/ has not been generated (run from the repository root)"
command -v xdotool >/dev/null || fail "xdotool is not installed"
# shellcheck source=tools/deps.sh
source "$(pwd)/tools/deps.sh"
PRELOAD=$(tibrel_game_preload "$GAME")

WORK=$(mktemp -d /tmp/tibrel-play-XXXXXX)
GAME_PID=""
cleanup() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
        kill -KILL "$GAME_PID" 2>/dev/null
        wait "$GAME_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
export SDL_AUDIODRIVER=dummy

# mean brightness (0 ... 1) of the upper half of the match picture with time of day $1 stored
upper_brightness() {
    export HOME=$WORK/home-$1 XDG_CONFIG_HOME=$WORK/config-$1
    mkdir -p "$HOME" "$XDG_CONFIG_HOME/tibrel"
    printf '[game]\ntimeofday=%s\n' "$1" >"$XDG_CONFIG_HOME/tibrel/tibrel.conf"
    LD_PRELOAD="$PRELOAD" "$GAME" -w -play >"$WORK/game-$1.log" 2>&1 &
    GAME_PID=$!
    local wid
    wid=$(timeout 60 xdotool search --sync --name "Tibrel 2006" | head -n 1)
    [ -n "$wid" ] || fail "no game window"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    # the match is drawn once the grey loading screens are over: wait for a picture with detail
    local shot=$WORK/shot-$1.png sd
    for ((t = 0; t < 240; t++)); do
        sleep 0.5
        import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot" 2>/dev/null || continue
        sd=$(convert "$shot" -format '%[fx:standard_deviation]' info:)
        if awk -v s="$sd" 'BEGIN { exit !(s > 0.05) }'; then
            sleep 1
            import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot" 2>/dev/null
            # the game leaves only through its menu; SDL turns a plain kill into a quit event
            kill -KILL "$GAME_PID"
            wait "$GAME_PID" 2>/dev/null
            GAME_PID=""
            convert "$shot" -crop "${WIDTH}x$((HEIGHT / 2))+0+0" +repage -colorspace Gray -format '%[fx:mean]' info:
            return 0
        fi
        kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended while loading"
    done
    fail "no match picture within two minutes"
}

day=$(upper_brightness 1) || exit 1
night=$(upper_brightness 3) || exit 1
echo "upper half brightness: Day $day, Night $night"
awk -v d="$day" -v n="$night" 'BEGIN { exit !(n < 0.75 * d) }' ||
    fail "with Night stored, -play shows a venue as bright as by day ($night against $day)"
