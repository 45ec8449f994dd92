# Shared by the test scripts that start the real game in a window, press its keys and read its
# screen. Source it from the repository root after `set -u`, then call
#   window_script <screen WxHxD> <name> "$@"
# which gives the script a virtual display of its own, the game ($GAME, run with $PRELOAD),
# a working folder $WORK with its own home and settings ($STORE, $REPLAYS) that is removed at
# exit together with any game still running ($GAME_PID). TIBREL_E2E_KEEP=1 keeps the folder.
# KEY_HOLD / KEY_GAP / KEY_DIR_HOLD (seconds) slow the key presses down for a loaded machine.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

window_script() {
    local screen=$1 name=$2
    shift 2
    if [ -z "${TIBREL_WINDOW_DISPLAY:-}" ]; then
        exec xvfb-run -a -s "-noreset -screen 0 $screen" env TIBREL_WINDOW_DISPLAY=1 bash "$0" "$@"
    fi
    [ $# -ge 1 ] || fail "usage: $0 <build dir>"
    GAME=$(cd "$1" 2>/dev/null && pwd)/tibrel
    [ -x "$GAME" ] || fail "no game at $GAME"
    [ -d data/titles ] || fail "data/ has not been generated (run from the repository root)"
    command -v xdotool >/dev/null || fail "xdotool is not installed"
    TIBREL_ROOT=$(pwd)
    # a sanitizer build keeps the GL driver loaded to the end, so its leak report can tell the
    # driver's leftovers from the game's
    # shellcheck source=tools/deps.sh
    source "$TIBREL_ROOT/tools/deps.sh"
    PRELOAD=$(tibrel_game_preload "$GAME")

    WORK=$(mktemp -d "/tmp/tibrel-$name-XXXXXX")
    GAME_PID=""
    trap window_cleanup EXIT
    export HOME=$WORK/home
    export XDG_CONFIG_HOME=$WORK/config
    export XDG_DATA_HOME=$WORK/share
    export SDL_AUDIODRIVER=dummy
    STORE=$XDG_CONFIG_HOME/tibrel/tibrel.conf
    REPLAYS=$XDG_DATA_HOME/tibrel/replays
    mkdir -p "$HOME" "$(dirname "$STORE")"
}

window_cleanup() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
        # a game that did not end by itself is ended outright, so it cannot go on capturing
        kill -KILL "$GAME_PID" 2>/dev/null
        wait "$GAME_PID" 2>/dev/null
    fi
    if [ -n "${TIBREL_E2E_KEEP:-}" ]; then
        echo "kept in $WORK"
    else
        rm -rf "$WORK"
    fi
}

# The game samples its input once per frame and reacts to changes, so a key must stay down for
# at least one frame and up for at least one frame; under load a frame takes far longer than
# 20 ms. A direction held for 0.4 s repeats in a menu: held well under that it acts once. One
# xdotool presses and lets go, so the start of a second one cannot lengthen the hold.
HOLD=${KEY_HOLD:-0.5}
GAP=${KEY_GAP:-0.5}
DIR_HOLD=${KEY_DIR_HOLD:-0.2}

# key NAME [times]
key() {
    local k=$1 n=${2:-1} hold=$HOLD
    case $k in Up | Down | Left | Right) hold=$DIR_HOLD ;; esac
    for ((i = 0; i < n; i++)); do
        xdotool keydown "$k" sleep "$hold" keyup "$k"
        sleep "$GAP"
    done
}

# the game window's picture into $1 (start_game finds the window)
GEOMETRY=""
shot() {
    import -window root -crop "$GEOMETRY" +repage "$1" 2>/dev/null
}

# differing pixels of two pictures of the same size
differing() {
    compare -metric AE -fuzz 3% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

# shown_when gt|lt LIMIT REF OUT: takes shots into OUT until one differs from REF in more (gt)
# or fewer (lt) pixels than LIMIT, at most 60 s: a sanitizer build on a loaded machine may take
# seconds to show a key's effect, and a slow frame can look settled before the key has acted
shown_when() {
    local op=$1 limit=$2 ref=$3 out=$4
    for ((t = 0; t < 60; t++)); do
        shot "$out"
        [ "$(differing "$ref" "$out")" "-$op" "$limit" ] && return 0
        sleep 1
    done
    return 1
}
# a new scene, not a transition's first frames
shown_apart() { shown_when gt 100000 "$@"; }
# the screen came back
shown_like() { shown_when lt 2000 "$@"; }

# start_game [switches]: the game in a window, focused, once its loop draws pictures
start_game() {
    LD_PRELOAD="$PRELOAD" "$GAME" -w "$@" >"$WORK/game.log" 2>&1 &
    GAME_PID=$!
    local wid
    wid=$(timeout 60 xdotool search --sync --name "Tibrel 2006" | head -n 1)
    [ -n "$wid" ] || fail "no game window"
    xdotool windowfocus "$wid"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    GEOMETRY="${WIDTH}x${HEIGHT}+${X}+${Y}"
    # loading shows plain grey; a picture with detail means the loop runs
    for ((t = 0; t < 240; t++)); do
        shot "$WORK/start.png"
        local sd
        sd=$(convert "$WORK/start.png" -format '%[fx:standard_deviation]' info:)
        awk -v s="$sd" 'BEGIN { exit !(s > 0.02) }' && return 0
        kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended while loading"
        sleep 0.5
    done
    fail "no picture within two minutes"
}

# waits up to a minute for the game to end by itself with status 0
wait_exit() {
    for ((t = 0; t < 120; t++)); do
        if ! kill -0 "$GAME_PID" 2>/dev/null; then
            wait "$GAME_PID"
            local rc=$?
            GAME_PID=""
            [ "$rc" = "0" ] || fail "the game ended with status $rc: $(tail -n 5 "$WORK/game.log")"
            return 0
        fi
        sleep 0.5
    done
    fail "the game did not end after Quit"
}

# stored SECTION KEY: the value of key= in [SECTION] of the settings file
stored() {
    awk -F= -v s="[$1]" -v k="$2" \
        '$0 == s { inside = 1; next } /^\[/ { inside = 0 } inside && $1 == k { print $2 }' "$STORE"
}

# whether a replay file ends with its end mark (written when a match is left or over)
replay_closed() {
    [ "$(tail -c 5 "$1" | head -c 1 | tr -d "\\0")" = "E" ]
}
