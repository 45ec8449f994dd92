#!/usr/bin/env bash
# Fault campaign: runs the real game (best the sanitizer build) against damaged copies of the
# files it reads, one case at a time, each under the same virtual display.
#
# usage: tools/faultcampaign.sh [-n cases] [-s seed] [-k "kinds"] [-o folder] <build dir>
#   -n  number of cases (default 20); the kinds take turns
#   -s  seed of the first case (default: from the clock); case i uses seed+i, so a failing
#       case is repeated with -n 1 -s <its seed> -k <its kind>
#   -k  kinds, from: png ttf ogg xm 3ds settings capture (default: all)
#   -o  keep the damaged file, the settings and the game's output of every failing case there
#
# A case damages one file in a copy of data/ (truncation, zero length, random bytes, another
# format, bit flips, a folder or a named pipe in its place, PNG headers with absurd fields and
# a fixed checksum, 3DS chunk lengths), or the settings file (random bytes, huge, negative or
# non-numeric values, very long lines, duplicate keys, a folder in its place), or the capture
# (-capture onto a full device, past a file-size limit, into a folder's place). The game starts
# with -w -play, plays a few seconds, and is left with Escape and the menu's "Quit". A case
# passes only when the window came, the game ran, answered the keys, ended with status 0,
# and wrote no sanitizer report. The repository's data/ is only read.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cases=20
seed=$(date +%s)
kinds="png ttf ogg xm 3ds settings capture"
keep=""
while getopts "n:s:k:o:" opt; do
    case $opt in
    n) cases=$OPTARG ;;
    s) seed=$OPTARG ;;
    k) kinds=$OPTARG ;;
    o) keep=$OPTARG ;;
    *) sed -n '2,12p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
build=$(cd "${1:?build directory}" && pwd)
game="$build/tibrel"
[ -x "$game" ] || { echo "faultcampaign: no game at $game"; exit 2; }
[ -d "$root/data/titles" ] || { echo "faultcampaign: $root/data has not been generated"; exit 2; }

# one virtual display for the whole campaign
if [ -z "${TIBREL_CAMPAIGN_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-noreset -screen 0 1280x1024x24" env TIBREL_CAMPAIGN_DISPLAY=1 \
        bash "$0" -n "$cases" -s "$seed" -k "$kinds" ${keep:+-o "$keep"} "$build"
fi
for tool in xdotool python3 import convert; do
    command -v "$tool" >/dev/null || { echo "faultcampaign: $tool is not installed"; exit 2; }
done

# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
preload=$(tibrel_game_preload "$game")
[ -n "$preload" ] || echo "faultcampaign: $game is not a sanitizer build; only crashes, hangs and exit codes count"
export SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
mutate=("python3" "$root/tools/faultcampaign_mutate.py")

# sanitizer builds and software GL are slow: generous limits
START_LIMIT=${TIBREL_CAMPAIGN_START:-120}
EXIT_LIMIT=60
RUN_SECONDS=4

work=$(mktemp -d /tmp/tibrel-campaign-XXXXXX)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
run="$work/run"
mkdir -p "$run"
cp -r "$root/data" "$run/data"

# the files each kind damages: only files a short match surely reads
candidates() {
    (cd "$root" && case $1 in
    png) ls data/titles/*.png data/example_ball.png data/powerups/*.png \
            data/venues/Daytime_venue.png data/left/Torso/Daytime_*.png data/right/Head/Daytime_*.png ;;
    ttf) ls data/Tuffy_Bold.ttf ;;
    ogg) ls data/sounds/hit.ogg data/sounds/jump.ogg data/sounds/whistle.ogg \
            data/sounds/ball_ground.ogg data/sounds/ooh1.ogg data/sounds/cheer1.ogg ;;
    xm) ls data/music/menu_01.xm ;;
    3ds) ls data/venues/Daytime_venue.3ds ;;
    esac)
}

pick() {   # one of the arguments after the first, chosen by a hash of the number in the first
    local n=$(((($1 * 2654435761) >> 13) & 0xFFFFFF))
    shift
    local all=("$@")
    echo "${all[$((n % ${#all[@]}))]}"
}

# a direction is let go well before its 0.4 s repeat; one xdotool presses and lets go, so the
# start of a second one on a loaded machine cannot lengthen the hold
press() {
    local hold=$2
    case $1 in Up | Down | Left | Right) hold=0.2 ;; esac
    xdotool keydown "$1" sleep "$hold" keyup "$1"
    sleep "$2"
}

drawing() {
    local sd
    sd=$(import -window "$1" png:- 2>/dev/null | convert png:- -format '%[fx:standard_deviation]' info: 2>/dev/null)
    [ -n "$sd" ] && awk -v s="$sd" 'BEGIN { exit !(s > 0.02) }'
}

end_game() {
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
}

# runs the game once in $run with the arguments given; sets $verdict
play_case() {
    local log=$1
    shift
    verdict=""
    (cd "$run" && HOME="$run/home" XDG_CONFIG_HOME="$run/config" LD_PRELOAD="$preload" \
        exec "$game" -w -play "$@") >"$log" 2>&1 &
    pid=$!
    local wid="" waited=0
    while [ -z "$wid" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            verdict="ended before its window came (status $?)"
            pid=""
            return
        fi
        if [ "$waited" -ge "$START_LIMIT" ]; then
            verdict="hang: no window after ${START_LIMIT}s"
            end_game
            return
        fi
        sleep 1
        waited=$((waited + 1))
        wid=$(xdotool search --name '^Tibrel 2006$' 2>/dev/null | head -n 1)
    done
    # loading shows plain grey; a picture with detail means the frame loop runs
    while ! drawing "$wid"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            verdict="ended while loading (status $?)"
            pid=""
            return
        fi
        if [ "$waited" -ge "$START_LIMIT" ]; then
            verdict="hang: still loading after ${START_LIMIT}s"
            end_game
            return
        fi
        sleep 1
        waited=$((waited + 1))
    done
    sleep "$RUN_SECONDS"
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        verdict="ended by itself during the match (status $?)"
        pid=""
        return
    fi
    # Escape pauses the match and Up wraps to "Leave Match"; then the three title pictures,
    # and Up wraps to "Quit". Every press reaches a step however slow the frames are, but a
    # loaded machine may drop a key before the window has focus: the round is repeated with
    # longer holds, each shorter than a menu's repeat delay of 0.4 s (a round that got only
    # part-way leaves the title pictures skipped or the main menu, where Escape does nothing
    # and Up, Return still quit)
    local hold left
    for hold in 0.15 0.25 0.35; do
        xdotool mousemove --window "$wid" 400 300 2>/dev/null
        xdotool windowfocus "$wid" 2>/dev/null
        for key in Escape Up Return Return Return Return Up Return; do
            press "$key" "$hold"
        done
        left=15
        while kill -0 "$pid" 2>/dev/null && [ "$left" -gt 0 ]; do
            sleep 1
            left=$((left - 1))
        done
        kill -0 "$pid" 2>/dev/null || break
    done
    left=$EXIT_LIMIT
    while kill -0 "$pid" 2>/dev/null && [ "$left" -gt 0 ]; do
        sleep 1
        left=$((left - 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        verdict="hang: did not answer Escape and Quit (three rounds of keys)"
        end_game
        return
    fi
    local status=0
    wait "$pid" || status=$?
    pid=""
    if [ "$status" -ne 0 ]; then
        verdict="status $status"
    elif grep -Eq 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: ' "$log"; then
        verdict="sanitizer report"
    fi
}

kindlist=($kinds)
declare -A tried passed
failed=0
for ((i = 0; i < cases; i++)); do
    s=$((seed + i))
    kind=${kindlist[$((i % ${#kindlist[@]}))]}
    rm -rf "$run/config" "$run/home" "$run/video.out"
    mkdir -p "$run/config/tibrel" "$run/home"
    args=()
    file=""
    limit=""
    case $kind in
    settings)
        damage=$(pick "$s" random huge negative text longline duplicate folder)
        what="settings $damage"
        if [ "$damage" = folder ]; then
            mkdir "$run/config/tibrel/tibrel.conf"
        else
            "${mutate[@]}" settings "$damage" "$run/config/tibrel/tibrel.conf" "$s"
        fi
        ;;
    capture)
        damage=$(pick "$s" fulldevice sizelimit folder)
        what="capture $damage"
        args=(-capture)
        case $damage in
        fulldevice) ln -s /dev/full "$run/video.out" ;;
        sizelimit) limit=$((800 * 600 * 3 * 5 / 2 / 1024)) ;;   # KB: two and a half frames
        folder) mkdir "$run/video.out" ;;
        esac
        ;;
    *)
        mapfile -t files < <(candidates "$kind")
        file=$(pick $((s + 7919)) "${files[@]}")
        damages=(truncate empty random otherformat bitflip folder pipe)
        [ "$kind" = png ] && damages+=(pngheader pngheader)
        [ "$kind" = 3ds ] && damages+=(chunklength chunklength)
        damage=$(pick "$s" "${damages[@]}")
        what="$kind $damage $file"
        rm -rf "${run:?}/$file"
        case $damage in
        folder) mkdir "$run/$file" ;;
        pipe) mkfifo "$run/$file" ;;
        otherformat)
            other=$(pick $((s + 104729)) data/sounds/hit.ogg data/titles/name.png data/Tuffy_Bold.ttf \
                data/music/menu_01.xm data/venues/Daytime_venue.3ds)
            "${mutate[@]}" otherformat "$root/$file" "$run/$file" "$s" "$root/$other" ;;
        *) "${mutate[@]}" "$damage" "$root/$file" "$run/$file" "$s" ;;
        esac
        ;;
    esac

    started=$(date +%s)
    if [ -n "$limit" ]; then
        (ulimit -f "$limit"; play_case "$work/game.log" "${args[@]}"; echo "$verdict" >"$work/verdict")
        verdict=$(cat "$work/verdict")
    else
        play_case "$work/game.log" "${args[@]}"
    fi
    tried[$kind]=$((${tried[$kind]:-0} + 1))
    if [ -z "$verdict" ]; then
        passed[$kind]=$((${passed[$kind]:-0} + 1))
        echo "case $((i + 1)) (seed $s): $what: pass ($(($(date +%s) - started))s)"
    else
        failed=$((failed + 1))
        echo "case $((i + 1)) (seed $s): $what: FAIL: $verdict"
        sed -n '1,40p' "$work/game.log"
        if [ -n "$keep" ]; then
            mkdir -p "$keep/case-$s"
            cp "$work/game.log" "$keep/case-$s/"
            [ -n "$file" ] && [ -f "$run/$file" ] && cp "$run/$file" "$keep/case-$s/"
            [ -f "$run/config/tibrel/tibrel.conf" ] && cp "$run/config/tibrel/tibrel.conf" "$keep/case-$s/"
        fi
    fi
    # the next case starts from the game's own files again
    if [ -n "$file" ]; then
        rm -rf "${run:?}/$file"
        cp "$root/$file" "$run/$file"
    fi
done

echo "== faultcampaign: $cases cases from seed $seed, $failed failed"
for kind in "${kindlist[@]}"; do
    [ -n "${tried[$kind]:-}" ] && echo "$kind: ${passed[$kind]:-0} of ${tried[$kind]} passed"
done
[ "$failed" -eq 0 ]
