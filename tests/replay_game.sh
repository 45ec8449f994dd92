#!/bin/bash
# Replays in the real game:
#   1. bad command lines and files: one line on standard error and a non-zero exit;
#   2. "tibrel -w -play -seed 7 -capture", left through the pause screen mid-match, records a
#      replay;
#   3. "tibrel -w -replay <it> -capture -leave-after-replay" plays it to its end and exits 0,
#      and its frames are the frames of the original run, byte for byte, for the part played;
#   4. the same replay with one rally hash changed, opened as a file manager does (the file
#      alone), stops with exit status 2.
#
# usage: tests/replay_game.sh <build dir>     (run from the repository root)
# TIBREL_E2E_KEEP=1 keeps the working folder.

set -u
# shellcheck source=tests/lib/window.sh
source tests/lib/window.sh
window_script 1024x768x24 replay "$@"
# the game reads data/ and writes video.out in its working folder
cd "$WORK" || fail "no working folder"
ln -s "$TIBREL_ROOT/data" data
FRAME=$((800 * 600 * 3))

run() {
    LD_PRELOAD="$PRELOAD" timeout -s KILL 300 "$GAME" "$@" 2>"$WORK/err.txt" >/dev/null
}

# ---- 1. bad input ----
: >"$WORK/empty.tibrelreplay"
echo "just some text" >"$WORK/text.tibrelreplay"
check_refused() {
    local reason=$1
    shift
    run "$@"
    local rc=$?
    [ "$rc" -ne 0 ] && [ "$rc" -ne 137 ] || fail "tibrel $* exited with $rc"
    [ "$(wc -l <"$WORK/err.txt")" -eq 1 ] || fail "tibrel $*: not one line: $(cat "$WORK/err.txt")"
    grep -q "$reason" "$WORK/err.txt" || fail "tibrel $*: said $(cat "$WORK/err.txt")"
}
check_refused "cannot open" -w -replay "$WORK/missing.tibrelreplay"
check_refused "empty" -w -replay "$WORK/empty.tibrelreplay"
check_refused "not a Tibrel replay" -w -replay "$WORK/text.tibrelreplay"
check_refused "needs a replay file" -w -replay
check_refused "whole number" -w -play -seed seven
[ ! -e "$REPLAYS" ] || [ -z "$(ls -A "$REPLAYS")" ] || fail "a refused start recorded a replay"

# ---- 2. the original match ----
LD_PRELOAD="$PRELOAD" timeout -s KILL 300 "$GAME" -w -play -seed 7 -capture \
    >"$WORK/game.log" 2>&1 &
GAME_PID=$!
wid=$(timeout 60 xdotool search --sync --name "Tibrel 2006" | head -n 1)
[ -n "$wid" ] || fail "no game window"
# at least two seconds of play (100 frames), however slow the machine
for ((t = 0; t < 600; t++)); do
    size=$(stat -c %s video.out 2>/dev/null || echo 0)
    [ "$size" -ge $((100 * FRAME)) ] && break
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended by itself"
    sleep 0.5
done
[ "$size" -ge $((100 * FRAME)) ] || fail "the match did not get going"
# Escape opens the pause screen; its "Leave Match" closes the replay with its end mark
xdotool key --window "$wid" Escape
sleep 0.5
xdotool key --window "$wid" Up
sleep 0.3
xdotool key --window "$wid" Return
for ((t = 0; t < 120; t++)); do
    replay=$(ls "$REPLAYS"/*.tibrelreplay 2>/dev/null | head -n 1)
    if [ -n "$replay" ] && replay_closed "$replay"; then
        break
    fi
    sleep 0.5
done
[ -n "$replay" ] || fail "no replay in $REPLAYS"
replay_closed "$replay" || fail "the replay was not closed on Escape"
# the title pictures follow; that is enough of the original
sleep 1
kill -9 "$GAME_PID"
wait "$GAME_PID" 2>/dev/null
GAME_PID=""
mv video.out original.out
[ "$(ls "$REPLAYS" | wc -l)" -eq 1 ] || fail "more than one replay for one match"

# ---- 3. played back ----
run -w -replay "$replay" -capture -leave-after-replay
rc=$?
[ "$rc" -eq 0 ] || fail "the replay exited with $rc: $(cat "$WORK/err.txt")"
[ ! -s "$WORK/err.txt" ] || fail "the replay said: $(cat "$WORK/err.txt")"
mv video.out replay.out
frames=$(($(stat -c %s replay.out) / FRAME))
[ "$frames" -ge 100 ] || fail "only $frames frames played back"
[ "$(stat -c %s original.out)" -gt "$(stat -c %s replay.out)" ] ||
    fail "the replay shows more than was played"
cmp -n $((frames * FRAME)) original.out replay.out >/dev/null ||
    fail "the replay's frames differ from the original's: $(cmp original.out replay.out)"
[ ! -e "$REPLAYS"/*_2.tibrelreplay ] || fail "watching a replay recorded another"
echo "replay: $frames frames equal the original's; file $(stat -c %s "$replay") bytes"

# ---- 4. a match that goes another way ----
# the last chunk ends with the final hash and the end mark: change the hash, mend the checksum
perl -e '
    local $/; open(my $f, "<:raw", $ARGV[0]) or die; my $s = <$f>; close $f;
    my $n = length $s; my $k;
    for (my $p = $n - 9; $p >= 0; $p--) {
        if (substr($s, $p, 1) eq "K" && unpack("V", substr($s, $p + 1, 4)) == $n - $p - 9) { $k = $p; last }
    }
    defined $k or die "no last chunk";
    substr($s, $n - 10, 1) = chr(ord(substr($s, $n - 10, 1)) ^ 1);
    my $h = 2166136261;
    for my $c (unpack("C*", substr($s, $k + 5, $n - $k - 9))) { $h = (($h ^ $c) * 16777619) % 4294967296 }
    substr($s, $n - 4, 4) = pack("V", $h);
    open($f, ">:raw", $ARGV[1]) or die; print $f $s; close $f;
' "$replay" "$WORK/differs.tibrelreplay" || fail "could not make the changed replay"
run -w "$WORK/differs.tibrelreplay" -leave-after-replay   # as a file manager opens it
rc=$?
[ "$rc" -eq 2 ] || fail "a changed hash exited with $rc: $(cat "$WORK/err.txt")"
grep -q "differs from the recording" "$WORK/err.txt" || fail "said: $(cat "$WORK/err.txt")"
[ "$(wc -l <"$WORK/err.txt")" -eq 1 ] || fail "not one line: $(cat "$WORK/err.txt")"
echo "replay: a changed hash stops playback with status 2"
