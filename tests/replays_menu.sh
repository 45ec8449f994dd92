#!/bin/bash
# The Replays screen in the real game, as a player who never reads the README meets it:
#   1. a match of Extreme! at night is played with "-play" and left through the pause screen
#      (a replay);
#   2. the player's own settings are then Classic in the morning;
#   3. "tibrel -w": title pictures, main menu, "Replays...", the match's line, Return watches
#      it, Escape returns to the Replays screen, K keeps it, Escape to the main menu, "Quit";
#   4. E writes the kept replay as a video next to it (through a stand-in for ffmpeg that
#      counts the frames it is sent);
#   5. the game ended with status 0, the kept replay is in kept/, and the settings file still
#      holds the player's own Classic and Morning.
#
# usage: tests/replays_menu.sh <build dir>     (run from the repository root)
# TIBREL_E2E_KEEP=1 keeps the working folder and its screen shots.

set -u

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ -z "${TIBREL_E2E_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 1024x768x24" env TIBREL_E2E_DISPLAY=1 bash "$0" "$@"
fi

[ $# -ge 1 ] || fail "usage: $0 <build dir>"
GAME=$(cd "$1" 2>/dev/null && pwd)/tibrel
[ -x "$GAME" ] || fail "no game at $GAME"
[ -d data/titles ] || fail "data/ has not been generated (run from the repository root)"
command -v xdotool >/dev/null || fail "xdotool is not installed"

TIBREL_ROOT=$(pwd)
# shellcheck source=tools/deps.sh
source "$TIBREL_ROOT/tools/deps.sh"
PRELOAD=$(tibrel_game_preload "$GAME")

WORK=$(mktemp -d /tmp/tibrel-replays-XXXXXX)
GAME_PID=""
cleanup() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
        kill -KILL "$GAME_PID" 2>/dev/null
        wait "$GAME_PID" 2>/dev/null
    fi
    if [ -n "${TIBREL_E2E_KEEP:-}" ]; then
        echo "kept in $WORK"
    else
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT

export HOME=$WORK/home
export XDG_CONFIG_HOME=$WORK/config
export XDG_DATA_HOME=$WORK/share
export SDL_AUDIODRIVER=dummy
STORE=$XDG_CONFIG_HOME/tibrel/tibrel.conf
REPLAYS=$XDG_DATA_HOME/tibrel/replays
mkdir -p "$HOME" "$(dirname "$STORE")" "$WORK/bin"
# ffmpeg as the game calls it: frames from the pipe after -i, "frame=N" into the -progress
# file, and the output file (the last word) holding the bytes it was sent
cat >"$WORK/bin/ffmpeg" <<'FAKE'
#!/bin/bash
while [ $# -gt 1 ]; do
    case $1 in
        -i) input=$2; shift ;;
        -progress) progress=$2; shift ;;
    esac
    shift
done
bytes=$(cat "$input" | wc -c)
echo "frame=$((bytes / 1440000))" >"$progress"
echo "$bytes" >"$1"
FAKE
chmod +x "$WORK/bin/ffmpeg"
export PATH="$WORK/bin:$PATH"
cd "$WORK" || fail "no working folder"
ln -s "$TIBREL_ROOT/data" data

# a key must stay down for a frame and up for a frame; under load a frame takes long
HOLD=${KEY_HOLD:-0.5}
GAP=${KEY_GAP:-0.5}
# A direction held for 0.4 s repeats in a menu: held well under that it acts once. One xdotool
# presses and lets go, so the start of a second one on a loaded machine cannot lengthen the hold.
DIR_HOLD=${KEY_DIR_HOLD:-0.2}
key() {
    local k=$1 n=${2:-1} hold=$HOLD
    case $k in Up | Down | Left | Right) hold=$DIR_HOLD ;; esac
    for ((i = 0; i < n; i++)); do
        xdotool keydown "$k" sleep "$hold" keyup "$k"
        sleep "$GAP"
    done
}

GEOMETRY=""
shot() {
    import -window root -crop "$GEOMETRY" +repage "$1" 2>/dev/null
}
differing() {
    compare -metric AE -fuzz 3% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}
# takes shots into $2 until one differs from $1 in more than 100 000 pixels (a new scene, not a
# transition's first frames); a sanitizer build on a loaded machine may take seconds to show it
shown_apart() {
    local ref=$1 out=$2
    for ((t = 0; t < 60; t++)); do
        shot "$out"
        [ "$(differing "$ref" "$out")" -gt 100000 ] && return 0
        sleep 1
    done
    return 1
}

# takes shots into $2 until one is within 2 000 pixels of $1 (the screen came back), at most
# 60 s: a slow frame can make a screen look settled before a key has taken effect
shown_like() {
    local ref=$1 out=$2
    for ((t = 0; t < 60; t++)); do
        shot "$out"
        [ "$(differing "$ref" "$out")" -lt 2000 ] && return 0
        sleep 1
    done
    return 1
}

# waits until the window stops changing, then keeps its picture in $1
settle() {
    shot "$WORK/a.png"
    for ((t = 0; t < 60; t++)); do
        sleep 0.7
        shot "$WORK/b.png"
        if [ "$(differing "$WORK/a.png" "$WORK/b.png")" -lt 50 ]; then
            cp "$WORK/b.png" "$1"
            return 0
        fi
        mv "$WORK/b.png" "$WORK/a.png"
    done
    fail "the screen did not settle for $1"
}

start_game() {
    LD_PRELOAD="$PRELOAD" "$GAME" -w "$@" >"$WORK/game.log" 2>&1 &
    GAME_PID=$!
    local wid
    wid=$(timeout 60 xdotool search --sync --name "Tibrel 2006" | head -n 1)
    [ -n "$wid" ] || fail "no game window"
    xdotool windowfocus "$wid"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    GEOMETRY="${WIDTH}x${HEIGHT}+${X}+${Y}"
    # loading shows plain grey; a picture means the loop runs
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

stored() {
    awk -F= -v s="[$1]" -v k="$2" \
        '$0 == s { inside = 1; next } /^\[/ { inside = 0 } inside && $1 == k { print $2 }' "$STORE"
}

# ---- 1. a match to watch ----
printf '[game]\ntimeofday=3\ngamemode=2\n' >"$STORE"
start_game -play
for ((t = 0; t < 240; t++)); do
    sleep 0.5
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended by itself"
    replay=$(ls "$REPLAYS"/*.tibrelreplay 2>/dev/null | head -n 1)
    [ -n "$replay" ] && break
done
[ -n "$replay" ] || fail "no replay recorded"
# a few seconds of play: the first chunks are written
size=$(stat -c %s "$replay")
for ((t = 0; t < 240; t++)); do
    sleep 0.5
    [ "$(stat -c %s "$replay")" -gt $((size + 100)) ] && break
done
sleep 1
key Escape                        # the pause screen
key Up                            # "Leave Match"
key Return
for ((t = 0; t < 120; t++)); do
    [ "$(tail -c 5 "$replay" | head -c 1 | tr -d "\\0")" = "E" ] && break
    sleep 0.5
done
[ "$(tail -c 5 "$replay" | head -c 1 | tr -d "\\0")" = "E" ] || fail "the replay was not closed on Escape"
kill -KILL "$GAME_PID"
wait "$GAME_PID" 2>/dev/null
GAME_PID=""

# ---- 2. the player's own settings ----
printf '[game]\ntimeofday=0\ngamemode=0\n' >"$STORE"

# ---- 3. find, watch, keep ----
start_game
key Return 3                      # the title pictures
key Up 4                          # "Quit", "Start!", "Online...", "Replays..."
settle "$WORK/menu.png"
key Return
settle "$WORK/replays.png"
[ "$(differing "$WORK/menu.png" "$WORK/replays.png")" -gt 1000 ] || fail "no Replays screen"
key Return                        # the newest replay: watch it
shown_apart "$WORK/replays.png" "$WORK/watching.png" || fail "no match shown"
kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended while watching"
key Escape
shown_like "$WORK/replays.png" "$WORK/back.png" || fail "Escape did not return to the Replays screen"
key k
for ((t = 0; t < 20; t++)); do
    [ -f "$REPLAYS/kept/$(basename "$replay")" ] && break
    sleep 0.5
done
[ -f "$REPLAYS/kept/$(basename "$replay")" ] || fail "K did not keep the replay"
shot "$WORK/kept.png"
key e                             # a video, next to the kept replay
video="$REPLAYS/kept/$(basename "$replay" .tibrelreplay).mp4"
for ((t = 0; t < 400; t++)); do
    [ -s "$video" ] && break
    sleep 1
done
[ -s "$video" ] || fail "no video at $video"
bytes=$(cat "$video")
[ "$bytes" -ge $((25 * 1440000)) ] && [ $((bytes % 1440000)) -eq 0 ] ||
    fail "the video was sent $bytes bytes, not whole 800x600 frames of the match"
settle "$WORK/exported.png"
key Escape                        # the main menu
shown_like "$WORK/menu.png" "$WORK/menu-again.png" ||
    fail "Escape did not return to the main menu, or it shows other settings"
key Down 3                        # "Online...", "Start!", "Quit"
key Return
for ((t = 0; t < 120; t++)); do
    kill -0 "$GAME_PID" 2>/dev/null || break
    sleep 0.5
done
kill -0 "$GAME_PID" 2>/dev/null && fail "the game did not end after Quit"
wait "$GAME_PID"
rc=$?
GAME_PID=""
[ "$rc" -eq 0 ] || fail "the game ended with status $rc: $(cat "$WORK/game.log")"

# ---- 5. the player's game is untouched ----
[ "$(stored game timeofday)" = "0" ] || fail "time of day is now $(stored game timeofday)"
[ "$(stored game gamemode)" = "0" ] || fail "game mode is now $(stored game gamemode)"
[ ! -e "$replay" ] || fail "the kept replay is still in the folder itself"
echo "replays: found, watched, kept and left again; the player's settings stayed"
