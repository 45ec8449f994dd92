#!/bin/bash
# The frame benchmark: the game's frame loop in fixed scenes against the floor program,
# interleaved, under a virtual display with Mesa's software renderer.
#   tools/framebench.sh [build dir] [-800] [--frames 200] [--rounds 3] [--scenes title,menu,...]
# Run from the source tree (the scenes read data/). Prints the table on stdout, each round's
# figures and resident memory on stderr. FRAMEBENCH_EXE=name runs another build of the
# benchmark kept in the build dir (a copy made before a change), to compare two builds.
set -euo pipefail
build=build
if [ $# -gt 0 ] && [ -d "$1" ]; then
    build=$1
    shift
fi
exe="$build/${FRAMEBENCH_EXE:-tibrel_framebench}"
[ -x "$exe" ] || { echo "framebench.sh: $exe not built (cmake --build $build --target tibrel_framebench)" >&2; exit 1; }
[ -d data ] || { echo "framebench.sh: no data/ here (cmake --build $build --target data)" >&2; exit 1; }
home=$(mktemp -d /tmp/tibrel-framebench-XXXXXX)
trap 'rm -rf "$home"' EXIT
HOME="$home" XDG_CONFIG_HOME="$home/.config" SDL_AUDIODRIVER=dummy \
    xvfb-run -a -s "-noreset -screen 0 1280x1024x24" "$exe" "$@"
