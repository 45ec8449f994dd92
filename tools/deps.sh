# Shared by ./play and ./check: Debian packages, and configuring and building a tree.
# Source it from a bash script that has set TIBREL_ROOT to the repository root.

TIBREL_PACKAGES=(
    build-essential cmake pkg-config
    libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev libfreetype-dev lib3ds-dev
    libwxgtk3.2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libgtest-dev libbenchmark-dev libpng-dev libvorbis-dev libogg-dev libenet-dev fonts-tuffy
    xvfb xauth xdotool imagemagick python3
    libx11-dev desktop-file-utils appstream man-db dpkg-dev xdg-utils shared-mime-info
)

# the packages of the list that are not installed, one per line
tibrel_missing_packages() {
    local p
    for p in "${TIBREL_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
            echo "$p"
        fi
    done
}

# installs whatever is missing with apt-get (through sudo when not root)
tibrel_ensure_packages() {
    if ! command -v dpkg-query >/dev/null; then
        echo "tibrel: this set-up expects a Debian system (dpkg-query not found)" >&2
        return 1
    fi
    local missing
    missing=$(tibrel_missing_packages | tr '\n' ' ')
    [ -z "${missing// /}" ] && return 0

    local -a asroot=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "tibrel: missing packages and no sudo to install them: $missing" >&2
            return 1
        fi
        asroot=(sudo)
    fi
    echo "tibrel: installing $missing"
    "${asroot[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    # shellcheck disable=SC2086 # one word per package
    "${asroot[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

# configures a build tree once; later builds reuse it (CMake re-runs itself when needed)
tibrel_configure() {
    local dir=$1
    shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$TIBREL_ROOT" -B "$dir" "$@"
    fi
}

# true when the tree has a target of that name (the data target exists once its generator does)
tibrel_has_target() {
    # grep reads the whole list: one that stopped at its match would break the pipe
    cmake --build "$1" --target help 2>/dev/null | grep "^\.\.\. $2\$" >/dev/null
}

tibrel_jobs() {
    nproc 2>/dev/null || echo 2
}

# What LD_PRELOAD should hold for running the game binary $1 (empty for a normal build).
# A sanitizer build must keep the software GL driver loaded to the very end: SDL_Quit unloads
# it at exit, before LeakSanitizer looks, and the driver's leftovers could then no longer be
# told apart from the game's own (they show as "<unknown module>", which no suppression can
# name). The sanitizer runtime has to come first in the list.
tibrel_game_preload() {
    local asan dri
    asan=$(ldd "$1" 2>/dev/null | awk '/libasan/ { print $3; exit }' || true)
    [ -n "$asan" ] || return 0
    for dri in /usr/lib/*/dri/swrast_dri.so; do
        if [ -e "$dri" ]; then
            echo "$asan $dri"
            return 0
        fi
    done
}
