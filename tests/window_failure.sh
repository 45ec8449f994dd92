#!/usr/bin/env bash
# Start-up where no OpenGL window can be had: with no display at all, and on an X server
# without GLX. Each time the game must print exactly one line on standard error,
#   tibrel: cannot open an OpenGL window of 800x600: <reason>
# write nothing on standard output (no terminal driver's escape codes), leave the settings
# file as it was, and end with status 1 within a short time.
# Usage: window_failure.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
game="$build/tibrel"
[ -x "$game" ] || { echo "FAIL: $game is missing"; exit 1; }
command -v Xvfb >/dev/null || { echo "FAIL: Xvfb is not installed"; exit 1; }

# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
preload=$(tibrel_game_preload "$game")
export SDL_AUDIODRIVER=dummy

work=$(mktemp -d /tmp/tibrel-nowindow-XXXXXX)
xpid=""
cleanup() {
    if [ -n "$xpid" ]; then
        kill "$xpid" 2>/dev/null || true
        wait "$xpid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config/tibrel"
printf '[game]\ntimeofday=2\n' >"$work/config/tibrel/tibrel.conf"
cp "$work/config/tibrel/tibrel.conf" "$work/settings.before"

failures=0
# $1 names the case; the rest of the arguments come before the game in the command
expect_clean_failure() {
    local name=$1
    shift
    local status=0
    (cd "$root" && HOME="$work" XDG_CONFIG_HOME="$work/config" LD_PRELOAD="$preload" \
        timeout -k 5 60 "$@" "$game" -w) >"$work/out" 2>"$work/err" </dev/null || status=$?
    echo "== $name: status $status"
    cat "$work/err"
    local problem=""
    if [ "$status" -ne 1 ]; then
        problem="status $status, not 1"
    elif [ -s "$work/out" ]; then
        problem="$(wc -c <"$work/out") bytes on standard output"
    elif [ "$(wc -l <"$work/err")" -ne 1 ]; then
        problem="$(wc -l <"$work/err") lines on standard error, not one"
    elif ! grep -Eq '^tibrel: cannot open an OpenGL window of 800x600: .+$' "$work/err"; then
        problem="the line does not say what failed"
    elif ! cmp -s "$work/settings.before" "$work/config/tibrel/tibrel.conf"; then
        problem="the settings file changed"
    fi
    if [ -n "$problem" ]; then
        echo "FAIL ($name): $problem"
        failures=$((failures + 1))
    fi
}

expect_clean_failure "no display" env -u DISPLAY

# an X server of our own without the GLX extension; it names its display through a pipe
Xvfb -displayfd 5 -noreset -extension GLX -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xpid=$!
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
display=":$(head -n 1 "$work/display")"
expect_clean_failure "X server without GLX ($display)" env DISPLAY="$display"

[ "$failures" -eq 0 ] || exit 1
echo "PASS"
