# Installs the missing Debian packages and builds; sourced, not run, by scripts/show, test and
# screenshot (the build's packages and the build), bench (the build), package, windows, web and
# bench-web (their own packages). Sourcing it runs nothing: the SDL package is looked up only
# when asked for.

# Runs a command as root, through sudo when the caller is not root.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Whether this release builds its libsdl1.2-dev from sdl12-compat (Debian 13 on) rather than
# from the classic SDL 1.2 (Debian 12): from the package lists when they know the package, else
# from the release's number.
sdl_dev_is_compat() {
    local source version
    source=$(apt-cache show --no-all-versions libsdl1.2-dev 2>/dev/null | sed -n 's/^Source: //p')
    if [ -n "$source" ]; then
        [ "${source%% *}" = sdl12-compat ]
    else
        version=$(. /etc/os-release && echo "${VERSION_ID:-0}")
        [ "${version%%.*}" -ge 13 ] 2>/dev/null
    fi
}

# The SDL 1.2 development package to build against. Where libsdl1.2-dev is sdl12-compat's, it
# is the only one (libsdl1.2-compat-dev is an empty transitional package there). Where both
# libraries exist: whichever is already installed (they conflict, so a user's choice is never
# replaced), else sdl12-compat's.
sdl_dev_package() {
    local p
    if sdl_dev_is_compat; then
        echo libsdl1.2-dev
        return
    fi
    for p in libsdl1.2-dev libsdl1.2-compat-dev; do
        if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
            echo "$p"
            return
        fi
    done
    echo libsdl1.2-compat-dev
}

# Installs those of the given packages that are not installed yet; quiet when none is missing.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    need_root_or_sudo "apt-get install -y --no-install-recommends ${missing[*]}"
    echo "Installing: ${missing[*]}" >&2
    apt_get_as_root install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# Neither root nor sudo: says which apt-get command ($1) to run as root, instead of failing on a
# missing command, and ends the script.
need_root_or_sudo() {
    if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
        echo "Not root, and sudo is not installed. As root, run:" >&2
        echo "  apt-get update && $1" >&2
        echo "and then this command again." >&2
        exit 1
    fi
}

# Runs apt-get with the given arguments as root, on fresh package lists and without questions.
apt_get_as_root() {
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@"
}

# Installs what the build needs, and the further packages given.
ensure_build_packages() {
    ensure_packages cmake g++ make "$(sdl_dev_package)" libsdl-ttf2.0-dev libsdl-image1.2-dev \
        libsdl-mixer1.2-dev "$@"
}

# Configures and builds into $1 (default build/); incremental when nothing changed.
# Further arguments are CMake settings; BUILD_TARGET, when set, limits the build to one target.
# Its messages go to standard error: standard output is left to what the script runs after it.
build_show() {
    local dir=${1:-build}
    shift || true
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"} >&2
}
