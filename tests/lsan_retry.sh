#!/bin/bash
# tools/lsanretry.sh runs a test program again only when LeakSanitizer's tracer crashed after
# the program passed; a failing test, a sanitizer report or a second crash keep their status.
# A stand-in program prints what each of its runs is told to and counts its runs.
#
# usage: tests/lsan_retry.sh <build dir>     (run from the repository root)
set -u
work=$(mktemp -d /tmp/tibrel-lsanretry-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
cat >"$work/prog" <<'PROG'
#!/bin/bash
# $1: what run 1, 2, ... does, as words separated by commas (pass, crash, failed, leak)
n=$(($(cat "$COUNT" 2>/dev/null || echo 0) + 1))
echo "$n" >"$COUNT"
case $(echo "$1" | cut -d, -f"$n") in
    pass) echo "[  PASSED  ] 1 test."; exit 0 ;;
    crash) echo "[  PASSED  ] 1 test."; echo "Tracer caught signal 11: addr=0xdb8" >&2; exit 1 ;;
    failed) echo "[  FAILED  ] 1 test"; echo "Tracer caught signal 11: addr=0xdb8" >&2; exit 1 ;;
    leak) echo "==1==ERROR: LeakSanitizer: detected memory leaks" >&2
          echo "Tracer caught signal 11: addr=0xdb8" >&2; exit 1 ;;
esac
PROG
chmod +x "$work/prog"
export COUNT=$work/count

status=0
# runs  expected status  expected runs
while read -r runs want_rc want_n; do
    rm -f "$COUNT"
    tools/lsanretry.sh "$work/prog" "$runs" >/dev/null 2>&1
    rc=$?
    n=$(cat "$COUNT")
    if [ "$rc" != "$want_rc" ] || [ "$n" != "$want_n" ]; then
        echo "FAIL: $runs: status $rc after $n runs, wanted $want_rc after $want_n"
        status=1
    fi
done <<'CASES'
pass 0 1
crash,pass 0 2
crash,crash 1 2
failed,pass 1 1
leak,pass 1 1
CASES
[ "$status" = 0 ] && echo "lsanretry: a tracer crash runs again; failures and reports stand"
exit "$status"
