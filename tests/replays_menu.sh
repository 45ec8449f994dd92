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
# shellcheck source=tests/lib/window.sh
source tests/lib/window.sh
window_script 1024x768x24 replays "$@"
mkdir -p "$WORK/bin"
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
    replay_closed "$replay" && break
    sleep 0.5
done
replay_closed "$replay" || fail "the replay was not closed on Escape"
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
wait_exit

# ---- 5. the player's game is untouched ----
[ "$(stored game timeofday)" = "0" ] || fail "time of day is now $(stored game timeofday)"
[ "$(stored game gamemode)" = "0" ] || fail "game mode is now $(stored game gamemode)"
[ ! -e "$replay" ] || fail "the kept replay is still in the folder itself"
echo "replays: found, watched, kept and left again; the player's settings stayed"
