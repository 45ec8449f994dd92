#!/bin/bash
# The screen shots in docs/:
#   - the end-to-end test with pictures on: title.png, mainmenu.png and customise.png go to
#     docs/ at once; a minute of match pictures in Extreme! mode stays in a folder to pick
#     docs/pickup.png from (one with a power-up on the sand);
#   - the picture tests with TIBREL_SHOT=1: world_evening.png, players.png, daytimes.png (the
#     four times of day side by side) and match_over.png;
#   - the game started with -play: serve_night.png (keyboard 1 about to serve at Night, with
#     the hint), match.png (the rally after that serve) and human_run.png (keyboard 1 runs
#     player two to the net by day).
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
TIBREL_SHOT=1 "${XVFB[@]}" "$BUILD/test_game_view" --gtest_filter='*FourFigures*' >/dev/null
TIBREL_SHOT=1 "${XVFB[@]}" "$BUILD/test_newplayer" --gtest_filter='*Teams*:*EndOfAMatch*' >/dev/null
echo "docs/world_evening.png, docs/players.png, docs/daytimes.png and docs/match_over.png written"

# play_shots <time of day> <device of player 0> <device of player 1>: starts "-play" with these
# settings in a fresh folder, then runs the commands on standard input (which may use `shot
# <file>` and xdotool) against the window.
play_shots() {
    local home=$OUT/play-$1-$2-$3
    mkdir -p "$home/config/tibrel"
    printf '[controls]\nplayer0=%s\nplayer1=%s\n[game]\ntimeofday=%s\n' "$2" "$3" "$1" \
        >"$home/config/tibrel/tibrel.conf"
    cat >"$home/steps.sh"
    "${XVFB[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/config" GAME="$BUILD/tibrel" \
        STEPS="$home/steps.sh" bash -c '
        "$GAME" -w -play >/dev/null 2>&1 &
        pid=$!
        wid=$(timeout 60 xdotool search --sync --name "Tibrel 2006" | head -n 1)
        xdotool windowfocus "$wid"
        eval "$(xdotool getwindowgeometry --shell "$wid")"
        shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; }
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
echo "match pictures: $OUT/match-*.png; copy one with a power-up on the sand to docs/pickup.png"
