#!/usr/bin/env bash
# Full screen at the display's own size, on a 16:9 virtual display of 1280x720 that has no
# other mode: the game's full screen is 1280x720 and the display's size is the same before,
# while and after the game runs (no mode change). A size the display cannot show full screen
# (-800) falls back to 1280x720 with one line on standard error, and is captured at that size;
# a window takes -size or the
# setting video/size; a -size that cannot be read ends the game at once with one line.
# Usage: fullscreen_size.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
game="$build/tibrel"
[ -x "$game" ] || { echo "FAIL: $game is missing"; exit 1; }

# a display of our own, of the shape under test
if [ -z "${TIBREL_SIZE_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 1280x720x24" env TIBREL_SIZE_DISPLAY=1 bash "$0" "$build"
fi
command -v xdotool >/dev/null || { echo "FAIL: xdotool is not installed"; exit 1; }
command -v xdpyinfo >/dev/null || { echo "FAIL: xdpyinfo is not installed"; exit 1; }
[ -d "$root/data" ] || { echo "FAIL: $root/data has not been generated"; exit 1; }

export SDL_AUDIODRIVER=dummy
START_LIMIT=90
EXIT_LIMIT=60
# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
preload=$(tibrel_game_preload "$game")

work=$(mktemp -d /tmp/tibrel-fullscreen-XXXXXX)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

screen_size() { xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p'; }
fail() { echo "FAIL: $*"; [ -f "$dir/err.log" ] && cat "$dir/err.log"; exit 1; }

# start NAME [switches]: the game in a fresh folder $dir, its window id in $wid
start() {
    dir=$work/$1
    shift
    mkdir -p "$dir/config"
    ln -s "$root/data" "$dir/data"
    [ -n "${SETTINGS:-}" ] && mkdir -p "$dir/config/tibrel" && printf '%s\n' "$SETTINGS" >"$dir/config/tibrel/tibrel.conf"
    (cd "$dir" && HOME="$dir" XDG_CONFIG_HOME="$dir/config" LD_PRELOAD="$preload" exec "$game" "$@") \
        >"$dir/out.log" 2>"$dir/err.log" &
    pid=$!
    wid="" 
    local waited=0
    while [ -z "$wid" ]; do
        kill -0 "$pid" 2>/dev/null || fail "the game ended before its window appeared"
        [ "$waited" -lt "$START_LIMIT" ] || fail "no window after ${START_LIMIT}s"
        sleep 1
        waited=$((waited + 1))
        wid=$(xdotool search --name '^Tibrel 2006$' 2>/dev/null | head -n 1 || true)
    done
}

# stop: SIGTERM, as a desktop's log-out sends; the game must leave by itself with status 0
stop() {
    kill -TERM "$pid"
    local left=$EXIT_LIMIT status=0
    while kill -0 "$pid" 2>/dev/null && [ "$left" -gt 0 ]; do
        sleep 1
        left=$((left - 1))
    done
    kill -0 "$pid" 2>/dev/null && fail "the game is still running ${EXIT_LIMIT}s after SIGTERM"
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "the game ended with status $status"
}

geometry() { xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: *//p'; }

expect_window() {
    local g
    g=$(geometry)
    echo "window: $g, display: $(screen_size)"
    [ "$g" = "$1" ] || fail "window is $g, not $1"
}

before=$(screen_size)
echo "display before: $before"
[ "$before" = "1280x720" ] || fail "the virtual display is $before"

echo "== full screen, no switches"
start desktop
expect_window 1280x720
sleep 2
[ "$(screen_size)" = "$before" ] || fail "the display changed to $(screen_size) while the game ran"
[ ! -s "$dir/err.log" ] || fail "unexpected output"
stop
[ "$(screen_size)" = "$before" ] || fail "the display is $(screen_size) after the game"

echo "== full screen at 800x600, a size this display has no mode for, captured"
start refused -800 -capture
expect_window 1280x720
frame=$((1280 * 720 * 3))
# the first frame is written once the title pictures are loaded, which a sanitizer build on a
# loaded machine may take seconds after the window shows
waited=0
while [ "$(stat -c %s "$dir/video.out" 2>/dev/null || echo 0)" -lt $((2 * frame)) ]; do
    [ "$waited" -lt "$START_LIMIT" ] || fail "no frame captured after ${START_LIMIT}s"
    sleep 1
    waited=$((waited + 1))
done
stop
total=$(stat -c %s "$dir/video.out")
echo "video.out: $total bytes, $((total / frame)) frames of 1280x720"
[ "$total" -ge "$frame" ] && [ $((total % frame)) -eq 0 ] || fail "video.out is not whole 1280x720 frames"
cat "$dir/err.log"
[ "$(grep -c . "$dir/err.log")" -eq 1 ] || fail "not one line on standard error"
grep -q "800x600.*1280x720" "$dir/err.log" || fail "the line does not name both sizes"
[ "$(screen_size)" = "$before" ] || fail "the display is $(screen_size) after the game"

echo "== a window of -size 1024x576"
start window -w -size 1024x576
expect_window 1024x576
stop

echo "== a window of the setting video/size"
SETTINGS=$'[video]\nsize=960x600' start setting -w
expect_window 960x600
stop

echo "== a damaged video/size: the default window"
SETTINGS=$'[video]\nsize=960 by 600' start damaged -w
expect_window 800x600
stop

echo "== -size that cannot be read"
status=0
out=$("$game" -size 1024 2>&1 >/dev/null) || status=$?
echo "$out"
[ "$status" -eq 1 ] || fail "status $status, not 1"
[ "$(printf '%s\n' "$out" | grep -c .)" -eq 1 ] || fail "not one line"
echo "PASS"
