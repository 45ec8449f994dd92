#!/bin/bash
# The screen shots in docs/:
#   - the end-to-end test with pictures on: title.png, mainmenu.png and customise.png go to
#     docs/ at once; a minute of match pictures in Extreme! mode stays in a folder to pick
#     docs/pickup.png from (one with a power-up on the sand);
#   - the picture tests with TIBREL_SHOT=1: world_evening.png, players.png, daytimes.png (the
#     four times of day side by side), match_over.png, scoreboard.png (the score board at the
#     four times of day) and pause.png;
#   - the game started with -play: serve_night.png (keyboard 1 about to serve at Night, with
#     the hint), match.png (the rally after that serve) and human_run.png (keyboard 1 runs
#     player two to the net by day);
#   - the same serve by day at 16:9 (1280x720) and 4:3 (800x600): match_16x9.png and
#     match_4x3.png; the main menu and the customisation screen at 16:9: mainmenu_16x9.png and
#     customise_16x9.png.
#
# usage: tools/screenshots.sh <build dir>      (from the repository root)

set -eu
[ $# -ge 1 ] || { echo "usage: $0 <build dir>" >&2; exit 1; }
BUILD=$(cd "$1" && pwd)
OUT=$(mktemp -d "${TMPDIR:-/tmp}/tibrel-shots-XXXXXX")

TIBREL_SHOTS=$OUT bash tests/e2e_game.sh "$BUILD"
cp "$OUT/title.png" "$OUT/mainmenu.png" "$OUT/customise.png" docs/
echo "docs/title.png, docs/mainmenu.png and docs/customise.png written"

export SDL_AUDIODRIVER=dummy
XVFB=(xvfb-run -a -s "-noreset -screen 0 1280x1024x24")
TIBREL_SHOT=1 "${XVFB[@]}" "$BUILD/test_worldshot" >/dev/null
TIBREL_SHOT=1 "${XVFB[@]}" "$BUILD/test_game_view" --gtest_filter='*FourFigures*:*ScoreBoardAtEveryTimeOfDay*' >/dev/null
TIBREL_SHOT=1 "${XVFB[@]}" "$BUILD/test_newplayer" --gtest_filter='*Teams*:*EndOfAMatch*' >/dev/null
TIBREL_SHOT=1 "${XVFB[@]}" "$BUILD/test_pause" --gtest_filter='*ThePictureStaysDimmedUnderPaused*' >/dev/null
echo "docs/world_evening.png, docs/players.png, docs/daytimes.png, docs/match_over.png, docs/scoreboard.png and docs/pause.png written"

# play_shots <time of day> <device of player 0> <device of player 1> [switches]: starts the game
# with these settings in a fresh folder (by default "-w -play"), then runs the commands on
# standard input (which may use `shot <file>`, `key <key> [times]` and xdotool) against the
# window.
play_shots() {
    local switches=${4:--w -play}
    local home=$OUT/play-$1-$2-$3-${switches// /}
    mkdir -p "$home/config/tibrel"
    printf '[controls]\nplayer0=%s\nplayer1=%s\n[game]\ntimeofday=%s\n' "$2" "$3" "$1" \
        >"$home/config/tibrel/tibrel.conf"
    cat >"$home/steps.sh"
    "${XVFB[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/config" GAME="$BUILD/tibrel" \
        STEPS="$home/steps.sh" SWITCHES="$switches" bash -c '
        # shellcheck disable=SC2086 # the switches are words
        "$GAME" $SWITCHES >/dev/null 2>&1 &
        pid=$!
        wid=$(timeout 60 xdotool search --sync --name "Tibrel 2006" | head -n 1)
        xdotool windowfocus "$wid"
        eval "$(xdotool getwindowgeometry --shell "$wid")"
        shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; }
        # a key held and released long enough for a frame under load to see both
        key() { for ((i = 0; i < ${2:-1}; i++)); do xdotool keydown "$1" sleep 0.15 keyup "$1"; sleep 0.4; done; }
        # loading shows plain grey; a picture of some contrast means the loop runs
        for ((t = 0; t < 240; t++)); do
            shot "$(dirname "$STEPS")/start.png"
            sd=$(convert "$(dirname "$STEPS")/start.png" -format "%[fx:standard_deviation]" info:)
            awk -v s="$sd" "BEGIN { exit !(s > 0.02) }" && break
            sleep 0.5
        done
        sleep 6
        . "$STEPS"
        kill -KILL $pid'
}

play_shots 3 1 0 <<'EOF'
shot docs/serve_night.png
xdotool keydown x; sleep 0.5; xdotool keyup x
sleep 2.5
shot docs/match.png
EOF
play_shots 1 0 1 <<'EOF'
xdotool keydown Right; sleep 1.6; xdotool keyup Right
shot docs/human_run.png
EOF
echo "docs/serve_night.png, docs/match.png and docs/human_run.png written"

# the same serve from the same seed at two shapes, the computer playing
play_shots 1 0 0 "-size 1280x720 -w -play -seed 7" <<'EOF'
shot docs/match_16x9.png
EOF
play_shots 1 0 0 "-size 800x600 -w -play -seed 7" <<'EOF'
shot docs/match_4x3.png
EOF
# the main menu after the title pictures (left to run out: a key that skips the last one would
# land on the menu's first line), then player one's customisation screen
play_shots 1 0 0 "-size 1280x720 -w" <<'EOF'
sleep 45
shot docs/mainmenu_16x9.png
key Down 8
key Return
sleep 6
shot docs/customise_16x9.png
EOF
echo "docs/match_16x9.png, docs/match_4x3.png, docs/mainmenu_16x9.png and docs/customise_16x9.png written"
echo "match pictures: $OUT/match-*.png; copy one with a power-up on the sand to docs/pickup.png"
