#!/bin/bash
# "-play" starts in the match with the stored time of day: with Night stored the court, the
# venue and its sky are the dark Night ones, not the Day ones the match was built with.
# Two runs, Day and Night stored; the upper half of the Night picture (venue and sky) must be
# far darker than the Day one.
#
# usage: tests/play_timeofday.sh <build dir>     (run from the repository root)

set -u
# shellcheck source=tests/lib/window.sh
source tests/lib/window.sh
window_script 800x600x24 play "$@"

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
