#!/usr/bin/env bash
# The installed game as a desktop user meets it. Installs into one temporary prefix, copies the
# tree to a second one and removes the first (the tree must not care where it lives), then:
#   1. --help and --version answer without a display and exit 0;
#   2. started with -w -capture from an unrelated folder (like a home with a data/ of its own
#      that is not the game's), the game finds its installed data (the title picture in
#      video.out is not blank, nothing on standard error), writes video.out into that folder,
#      and the window's close request ends it with status 0, whole frames and a settings file;
#   3. SIGTERM in a match (-play) ends it the same way, the settings file readable;
#   4. the program alone, without any data, starts, says in one line where it looked, and
#      SIGINT ends it with status 0.
# Usage: install_tree.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)

# a display of our own, so no other test's window is found here
if [ -z "${TIBREL_INSTALL_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 1280x1024x24" env TIBREL_INSTALL_DISPLAY=1 bash "$0" "$build"
fi
command -v xdotool >/dev/null || { echo "FAIL: xdotool is not installed"; exit 1; }
wmclose="$build/tibrel_wmclose"
[ -x "$wmclose" ] || { echo "FAIL: $wmclose is missing (X11 development files?)"; exit 1; }
[ -d "$root/data/titles" ] || { echo "FAIL: $root/data has not been generated"; exit 1; }

export SDL_AUDIODRIVER=dummy
FRAME=$((800 * 600 * 3))
# sanitizer builds and software GL are slow: generous limits
START_LIMIT=90
EXIT_LIMIT=60

# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"

work=$(mktemp -d /tmp/tibrel-install-XXXXXX)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

# ---- install, then move the tree

cmake --install "$build" --prefix "$work/first" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }
cp -a "$work/first" "$work/prefix"
rm -rf "$work/first"
game="$work/prefix/bin/tibrel"
[ -x "$game" ] || fail "bin/tibrel was not installed"
[ -f "$work/prefix/share/tibrel/data/titles/name.png" ] || fail "the data was not installed"
preload=$(tibrel_game_preload "$game")

# ---- 1. help and version, with no display to open a window on

version=$(env -u DISPLAY LD_PRELOAD="$preload" "$game" --version) || fail "--version did not exit 0"
echo "--version: $version"
[[ "$version" =~ ^tibrel\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed \"$version\""
env -u DISPLAY LD_PRELOAD="$preload" "$game" -w --help >"$work/help.txt" || fail "--help did not exit 0"
for word in -w -capture -play -1280 -host -join --version "Keyboard 1" "Page Down" Escape F1; do
    grep -q -- "$word" "$work/help.txt" || fail "--help does not mention $word"
done

# ---- running the installed game

# starts the game in folder $1 (its own settings under $1/config) with the remaining arguments
start_game() {
    local dir=$1
    shift
    mkdir -p "$dir/config"
    (cd "$dir" && HOME="$dir" XDG_CONFIG_HOME="$dir/config" LD_PRELOAD="$preload" exec "$@") \
        >"$dir/out.log" 2>"$dir/err.log" &
    pid=$!
}

# prints the game's window id once it is there
wait_window() {
    local waited=0 wid=""
    while [ -z "$wid" ]; do
        kill -0 "$pid" 2>/dev/null || { cat "$1/err.log"; fail "the game ended before its window appeared"; }
        [ "$waited" -lt "$START_LIMIT" ] || fail "no window titled \"Tibrel 2006\" after ${START_LIMIT}s"
        sleep 1
        waited=$((waited + 1))
        wid=$(xdotool search --name '^Tibrel 2006$' 2>/dev/null | head -n 1 || true)
    done
    echo "$wid"
}

# waits until the capture in $1 holds at least $2 frames
wait_frames() {
    local waited=0
    while [ "$(size_of "$1/video.out")" -lt $(($2 * FRAME)) ]; do
        kill -0 "$pid" 2>/dev/null || { cat "$1/err.log"; fail "the game ended by itself"; }
        [ "$waited" -lt "$START_LIMIT" ] || fail "fewer than $2 frames in video.out after ${START_LIMIT}s"
        sleep 1
        waited=$((waited + 1))
    done
}

# waits for the game to end; fails unless its status is 0
wait_exit() {
    local left=$EXIT_LIMIT status=0
    while kill -0 "$pid" 2>/dev/null && [ "$left" -gt 0 ]; do
        sleep 1
        left=$((left - 1))
    done
    kill -0 "$pid" 2>/dev/null && fail "the game is still running ${EXIT_LIMIT}s after $2"
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || { cat "$1/err.log"; fail "the game ended with status $status after $2"; }
}

# the capture in $1 is whole frames, at least two
whole_frames() {
    local total
    total=$(size_of "$1/video.out")
    echo "video.out: $total bytes, $((total / FRAME)) frames"
    [ "$total" -ge $((2 * FRAME)) ] || fail "fewer than two frames captured"
    [ $((total % FRAME)) -eq 0 ] || fail "video.out is not whole frames"
}

# the settings file in $1 was written and every line is a [section], a key=value or empty
settings_intact() {
    local store="$1/config/tibrel/tibrel.conf"
    [ -s "$store" ] || fail "no settings file at $store"
    if grep -v -E '^(\[[^]]+\]|[^=[]+=.*|)$' "$store"; then
        fail "the lines above of the settings file are neither sections nor key=value"
    fi
    grep -q '^\[controls\]$' "$store" || fail "the settings file has no [controls] section"
    grep -q '^player0=[0-9]' "$store" || fail "the settings file has no controls/player0"
}

# ---- 2. from an unrelated folder, closed through the window

desk="$work/desk"
mkdir -p "$desk/data/photos"
start_game "$desk" "$game" -w -capture
wid=$(wait_window "$desk")
echo "window $wid"
# the first title picture has faded in after a second of game time
wait_frames "$desk" 80
dd if="$desk/video.out" of="$work/frame.rgb" bs="$FRAME" skip=70 count=1 status=none
spread=$(convert -size 800x600 -depth 8 "rgb:$work/frame.rgb" -format '%[fx:standard_deviation]' info:)
echo "title frame: standard deviation $spread"
awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || fail "the title frame is blank: the data was not found"
"$wmclose" "$wid"
wait_exit "$desk" "the window's close request"
whole_frames "$desk"
settings_intact "$desk"
[ ! -s "$desk/err.log" ] || { cat "$desk/err.log"; fail "the game wrote to standard error"; }
[ ! -e "$work/prefix/share/tibrel/video.out" ] || fail "video.out landed in the data folder"

# ---- 3. SIGTERM in a match

match="$work/match"
mkdir -p "$match"
start_game "$match" "$game" -w -capture -play
wait_window "$match" >/dev/null
wait_frames "$match" 50
kill -TERM "$pid"
wait_exit "$match" "SIGTERM"
whole_frames "$match"
settings_intact "$match"

# ---- 4. no data anywhere: the program alone

mkdir -p "$work/bare/bin" "$work/empty"
cp "$game" "$work/bare/bin/tibrel"
start_game "$work/empty" "$work/bare/bin/tibrel" -w -capture
wait_window "$work/empty" >/dev/null
wait_frames "$work/empty" 10
kill -INT "$pid"
wait_exit "$work/empty" "SIGINT"
whole_frames "$work/empty"
echo "standard error without data:"
cat "$work/empty/err.log"
[ "$(wc -l <"$work/empty/err.log")" -eq 1 ] || fail "not exactly one line on standard error"
grep -q -F "$work/empty/data" "$work/empty/err.log" || fail "the line does not name the working folder's data/"
grep -q -F "$work/bare/bin/../share/tibrel/data" "$work/empty/err.log" || fail "the line does not name the installed data folder"
echo "PASS"
