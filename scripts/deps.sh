# Shared by scripts/show and scripts/test: installs the missing Debian packages and builds.
# Sourced, not run.

# Runs a command as root, through sudo when the caller is not root.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The SDL 1.2 development package to build against: whichever one is already installed
# (the classic library and sdl12-compat conflict, so a user's choice is never replaced),
# else sdl12-compat's.
sdl_dev_package() {
    local p
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
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

BUILD_PACKAGES=(cmake g++ make "$(sdl_dev_package)" libsdl-ttf2.0-dev libsdl-image1.2-dev
    libsdl-mixer1.2-dev)

# Configures and builds into $1 (default build/); incremental when nothing changed.
# Further arguments are CMake settings; BUILD_TARGET, when set, limits the build to one target.
build_show() {
    local dir=${1:-build}
    shift || true
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
}
