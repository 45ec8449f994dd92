#!/bin/bash
# End to end: the game is played through the keyboard as a person would, three times over
# with the same settings folder.
#   1. first run: skip the title pictures, quit;
#   2. set the time of day to Evening, give player one the next upper body, set the game mode
#      to Extreme!, play a match for a few seconds, leave it through the pause screen (Escape,
#      "Leave Match") and quit;
#   3. start again: the main menu shows Evening and player one's screen the new upper body;
#      quit.
# Every run must end by itself with status 0, and the settings file must hold the choices.
#
# usage: tests/e2e_game.sh <build dir>     (run from the repository root)
# KEY_HOLD / KEY_GAP (seconds) slow the key presses down for a heavily loaded machine;
# TIBREL_E2E_KEEP=1 keeps the screen shots and the settings file for a look afterwards;
# TIBREL_SHOTS=<folder> also saves title.png, mainmenu.png and customise.png there, and a
# minute of match pictures (match-NN.png) to pick one with a power-up on the sand from.

set -u
# shellcheck source=tests/lib/window.sh
source tests/lib/window.sh
window_script 1024x768x24 e2e "$@"

# the part of a screen shot given as WxH+X+Y
crop() {
    convert "$1" -crop "$2" +repage "$3"
}

# waits until an area of the screen stops changing (transitions and wobble are over)
settle() {
    local area=$1 out=$2
    shot "$WORK/a.png"
    crop "$WORK/a.png" "$area" "$WORK/a-crop.png"
    for ((t = 0; t < 60; t++)); do
        sleep 0.5
        shot "$WORK/b.png"
        crop "$WORK/b.png" "$area" "$WORK/b-crop.png"
        if [ "$(differing "$WORK/a-crop.png" "$WORK/b-crop.png")" = "0" ]; then
            cp "$WORK/b-crop.png" "$out"
            return 0
        fi
        mv "$WORK/b-crop.png" "$WORK/a-crop.png"
    done
    fail "the screen did not settle"
}

skip_titles() {
    key Return 3
}

SHOTS=${TIBREL_SHOTS:-}
if [ -n "$SHOTS" ]; then
    mkdir -p "$SHOTS" || fail "cannot write to $SHOTS"
    SHOTS=$(cd "$SHOTS" && pwd)
fi

# the brightest of two seconds of the first title picture (it fades in over one second and
# goes on to the next one after four)
title_shot() {
    local best=-1
    for ((t = 0; t < 6; t++)); do
        shot "$WORK/title.png"
        local mean
        mean=$(convert "$WORK/title.png" -format '%[fx:mean]' info:)
        if awk -v m="$mean" -v b="$best" 'BEGIN { exit !(m > b) }'; then
            best=$mean
            cp "$WORK/title.png" "$SHOTS/title.png"
        fi
        sleep 0.3
    done
}

# rows of the 800 x 600 screens: the main menu's "Time of Day" line and the customisation
# screen's "Upper Body" line (right of the preview figure)
DAY_ROW="800x24+0+190"
UPPER_ROW="550x24+250+272"

# ---- 1: first run ----
start_game
[ -z "$SHOTS" ] || title_shot
skip_titles
settle "$DAY_ROW" "$WORK/day-1.png"
[ -z "$SHOTS" ] || shot "$SHOTS/mainmenu.png"
key Up                       # wraps from the first line to "Quit"
key Return
wait_exit
[ -f "$STORE" ] || fail "no settings file at $STORE"
[ "$(stored game timeofday)" = "1" ] || fail "first run: time of day $(stored game timeofday)"
TORSO_1=$(stored pl0 Torso)
[ -n "$TORSO_1" ] || fail "first run: no upper body stored for player one"

# ---- 2: change, play, quit ----
start_game
skip_titles
key Down 4                   # "Time of Day"
key Return                   # Day -> Evening
key Down 4                   # "Player One..." (the separator is skipped)
key Return
key Down 7                   # "Upper Body"
key Return                   # the next name
settle "$UPPER_ROW" "$WORK/upper-2.png"
[ -z "$SHOTS" ] || shot "$SHOTS/customise.png"
key Up 7                     # "OK!"
key Return
key Up 2                     # "Game Mode"
key Return                   # Arcade -> Extreme!
settle "$DAY_ROW" "$WORK/day-2.png"
shot "$WORK/menu-2.png"
key Down 9                   # "Start!" (past "Computer", "Controls...", "Replays..." and "Online...")
key Return
shown_apart "$WORK/menu-2.png" "$WORK/match.png" || fail "no match was shown"
sleep 2                      # the transition into the match is over
if [ -n "$SHOTS" ]; then
    for ((t = 10; t < 40; t++)); do
        shot "$SHOTS/match-$t.png"
        sleep 2
    done
fi
kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended during the match"
key Escape                   # the pause screen
key Up                       # "Leave Match"
key Return
key Down                     # "Quit"
key Return
wait_exit
[ "$(stored game timeofday)" = "2" ] || fail "time of day not stored: $(stored game timeofday)"
[ "$(stored game gamemode)" = "2" ] || fail "game mode not stored: $(stored game gamemode)"
TORSO_2=$(stored pl0 Torso)
if [ -z "$TORSO_2" ] || [ "$TORSO_2" = "$TORSO_1" ]; then
    fail "upper body not changed: '$TORSO_1' -> '$TORSO_2'"
fi
[ "$(differing "$WORK/day-2.png" "$WORK/day-1.png")" -gt 100 ] ||
    fail "the main menu did not show the new time of day"

# ---- 3: the choices are back ----
start_game
skip_titles
settle "$DAY_ROW" "$WORK/day-3.png"
[ "$(differing "$WORK/day-3.png" "$WORK/day-2.png")" -lt 20 ] ||
    fail "the main menu does not show Evening after a restart"
key Down 8                   # "Player One..."
key Return
key Down 7                   # "Upper Body"
settle "$UPPER_ROW" "$WORK/upper-3.png"
[ "$(differing "$WORK/upper-3.png" "$WORK/upper-2.png")" -lt 20 ] ||
    fail "player one's screen does not show the chosen upper body after a restart"
key Up 7
key Return                   # "OK!"
key Down 8                   # "Quit"
key Return
wait_exit
[ "$(stored game timeofday)" = "2" ] || fail "third run: time of day $(stored game timeofday)"
[ "$(stored game gamemode)" = "2" ] || fail "third run: game mode $(stored game gamemode)"
[ "$(stored pl0 Torso)" = "$TORSO_2" ] || fail "third run: upper body $(stored pl0 Torso)"

echo "PASS: settings kept across runs (Evening, Extreme!, upper body $TORSO_1 -> $TORSO_2)"
