#!/usr/bin/env bash
# cpack -G DEB makes a package of the installed tree under /usr whose dependencies are the
# run-time libraries the game links, and no development packages. Not for sanitizer builds,
# which are never shipped.
# Usage: install_deb.sh <build dir>
set -euo pipefail

build=$(cd "${1:?build directory}" && pwd)
if grep -q '^TIBREL_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "SKIP: a sanitizer build is not packaged"
    exit 77
fi
command -v dpkg-deb >/dev/null || { echo "FAIL: dpkg-deb is not installed"; exit 1; }
command -v dpkg-shlibdeps >/dev/null || { echo "FAIL: dpkg-shlibdeps (dpkg-dev) is not installed"; exit 1; }

work=$(mktemp -d /tmp/tibrel-deb-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
deb=$(find "$work/out" -maxdepth 1 -name '*.deb')
[ -f "$deb" ] || fail "no .deb was made"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

dpkg-deb --contents "$deb" | awk '{ print $6 }' >"$work/contents"
desktop=$(grep -E '^\./usr/share/applications/[^/]+\.desktop$' "$work/contents" || true)
[ -n "$desktop" ] || fail "the package has no desktop entry"
id=$(basename "$desktop" .desktop)
for path in ./usr/bin/tibrel ./usr/share/tibrel/data/titles/name.png ./usr/share/tibrel/data/Tuffy_Bold.ttf \
    ./usr/share/tibrel/data/music/menu_01.xm "$desktop" "./usr/share/metainfo/$id.metainfo.xml" \
    ./usr/share/man/man6/tibrel.6 ./usr/share/doc/tibrel/copyright "./usr/share/icons/hicolor/48x48/apps/$id.png" \
    "./usr/share/icons/hicolor/256x256/apps/$id.png"; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
grep -q -v '^\./usr/' "$work/contents" && { grep -v '^\./usr/' "$work/contents"; fail "files outside /usr"; }
echo "$(grep -c 'data/' "$work/contents") data entries"

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for lib in libsdl1.2debian libsdl-image1.2 libsdl-mixer1.2 libfreetype6 lib3ds-1-3 libwxbase3.2 libgl1 libenet7 libc6; do
    [[ ", $depends" == *", $lib"* ]] || fail "the dependencies lack $lib"
done
[[ "$depends" != *-dev* ]] || fail "the package depends on development packages"
[ "$(dpkg-deb --field "$deb" Section)" = games ] || fail "the section is not games"
echo "PASS"
