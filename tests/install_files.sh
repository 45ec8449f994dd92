#!/usr/bin/env bash
# The desktop files of an installed tree: the desktop entry and the AppStream metainfo pass
# their validators, the man page renders without warnings, every icon size the desktop entry
# points at is there as a PNG of that size, the copyright file covers the game and its font, and
# replay files have their MIME type, which the desktop entry opens (its %f) as -replay does.
# Usage: install_files.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
for tool in desktop-file-validate appstreamcli man identify update-mime-database xdg-mime gio; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

work=$(mktemp -d /tmp/tibrel-files-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }

desktop=$(find "$prefix/share/applications" -name '*.desktop')
[ "$(echo "$desktop" | wc -l)" -eq 1 ] && [ -f "$desktop" ] || fail "not one desktop entry: $desktop"
id=$(basename "$desktop" .desktop)
echo "application id $id"
[[ "$id" =~ ^[a-z]+\.[a-z0-9]+(\.[A-Za-z0-9]+)+$ ]] || fail "the id $id is not reverse-DNS"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
grep -qx 'Categories=Game;SportsGame;' "$desktop" || fail "the categories are not Game;SportsGame;"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon is not $id"
# the program of every Exec= line is the installed one
while read -r program; do
    [ -x "$prefix/bin/$program" ] || fail "Exec= runs $program, which is not in bin/"
done < <(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")

metainfo="$prefix/share/metainfo/$id.metainfo.xml"
[ -f "$metainfo" ] || fail "no metainfo at $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $id.desktop"
[ "$(grep -c '<caption>' "$metainfo")" -ge 1 ] || fail "the metainfo's screenshots have no captions"

grep -q '<project_license>MIT' "$metainfo" || fail "the metainfo names no MIT project licence"

# the copyright file in Debian's machine-readable form: the game's own work under the MIT
# (Expat) licence, the font it ships in the public domain, every named licence given in full
copyright="$prefix/share/doc/tibrel/copyright"
[ -f "$copyright" ] || fail "no copyright file at $copyright"
head -n1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    fail "the copyright file is not in the machine-readable format"
grep -qx 'Copyright: 2026 The Tibrel developers' "$copyright" || fail "the copyright file names no holder"
grep -qx 'Files: data/Tuffy_Bold.ttf' "$copyright" || fail "the copyright file leaves out the font"
[ -f "$prefix/share/tibrel/data/Tuffy_Bold.ttf" ] || fail "the font the copyright file names is not installed"
for licence in Expat public-domain; do
    grep -qx "License: $licence" "$copyright" || fail "the copyright file names no $licence licence"
    # a stand-alone paragraph or a paragraph of its own Files: the text follows the name
    awk -v l="License: $licence" '$0 == l { getline; if ($0 ~ /^ /) found = 1 } END { exit !found }' \
        "$copyright" || fail "the copyright file gives no text of the $licence licence"
done

page="$prefix/share/man/man6/tibrel.6"
[ -f "$page" ] || fail "no man page at $page"
MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man -l failed"
if [ -s "$work/man.err" ]; then
    cat "$work/man.err"
    fail "man -l warns about the page"
fi
for section in NAME SYNOPSIS OPTIONS KEYS FILES "CAPTURE FORMAT"; do
    grep -q "^$section" "$work/man.txt" || fail "the man page has no $section section"
done
# justified lines spread their spaces, so words are looked for with the spaces squeezed (into a
# file: a grep -q that stops at its match would leave tr writing into a closed pipe, which
# pipefail takes for a failure)
tr -s ' ' <"$work/man.txt" >"$work/man-squeezed.txt"
for word in -capture -host -join --help tibrel.conf video.out "Page Down"; do
    grep -q -- "$word" "$work/man-squeezed.txt" || fail "the man page does not mention $word"
done

# replays: xdg-mime knows the type once the prefix's MIME database is built (by name and by the
# file's first bytes), and the desktop entry hands the file to the game as -replay does
mimexml="$prefix/share/mime/packages/$id.xml"
[ -f "$mimexml" ] || fail "no MIME type file at $mimexml"
grep -qx 'MimeType=application/x-tibrel-replay;' "$desktop" || fail "the desktop entry takes no replays"
printf 'TIBRELRP\001\000\000\000' >"$work/match.tibrelreplay"
cp "$work/match.tibrelreplay" "$work/unnamed"
filetype() {
    XDG_CURRENT_DESKTOP=GNOME XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$work/none" \
        xdg-mime query filetype "$1"
}
[ "$(filetype "$work/match.tibrelreplay")" != application/x-tibrel-replay ] ||
    fail "the type is known before the database is built: the check proves nothing"
update-mime-database "$prefix/share/mime" || fail "update-mime-database failed"
for f in match.tibrelreplay unnamed; do
    got=$(filetype "$work/$f")
    [ "$got" = application/x-tibrel-replay ] || fail "xdg-mime query filetype $f: $got"
done
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
[[ "$exec_line" == *" %f" ]] || fail "the desktop entry's Exec= does not end in %f: $exec_line"
# %f with a file that is not a replay: refused in one line before any window, as -replay does
read -r -a words <<<"${exec_line% %f}"
status=0
env -u DISPLAY "$prefix/bin/${words[0]}" "${words[@]:1}" "$work/unnamed" 2>"$work/open.err" || status=$?
[ "$status" -eq 1 ] || fail "opening a damaged replay exited with $status"
[ "$(wc -l <"$work/open.err")" -eq 1 ] && grep -q "cut short" "$work/open.err" ||
    fail "opening a damaged replay said: $(cat "$work/open.err")"

sizes=0
for size in 16 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    got=$(identify -format '%m %wx%h' "$icon")
    [ "$got" = "PNG ${size}x${size}" ] || fail "$icon is $got"
    sizes=$((sizes + 1))
done
echo "desktop entry, metainfo, copyright file, man page and $sizes icon sizes checked"
echo "PASS"
