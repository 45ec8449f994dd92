#!/bin/bash
# The screen shots in docs/: plays the game through the end-to-end test and keeps its
# pictures. title.png, mainmenu.png and customise.png go to docs/ at once; a minute of match
# pictures in Extreme! mode stays in a folder to pick docs/pickup.png from (one with a
# power-up on the sand).
#
# usage: tools/screenshots.sh <build dir>      (from the repository root)

set -eu
[ $# -ge 1 ] || { echo "usage: $0 <build dir>" >&2; exit 1; }
OUT=$(mktemp -d "${TMPDIR:-/tmp}/tibrel-shots-XXXXXX")
TIBREL_SHOTS=$OUT bash tests/e2e_game.sh "$1"
cp "$OUT/title.png" "$OUT/mainmenu.png" "$OUT/customise.png" docs/
echo "docs/title.png, docs/mainmenu.png and docs/customise.png written"
echo "match pictures: $OUT/match-*.png; copy one with a power-up on the sand to docs/pickup.png"
