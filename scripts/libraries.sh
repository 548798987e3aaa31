# Shared by scripts/windows and scripts/web: the pinned library sources checked, and the
# libraries built from them once per set of sources, recipe and compiler, kept in
# FROSTFUNKEL_CACHE (default: ~/.cache/frostfunkel), outside the clone.
# Sourced, not run.

# The four libraries' trees, repositories and pinned commits.
source packaging/windows/libraries.env
trees=("$SDL_TREE" "$SDL_IMAGE_TREE" "$SDL_TTF_TREE" "$SDL_MIXER_TREE")
repositories=("$SDL_REPOSITORY" "$SDL_IMAGE_REPOSITORY" "$SDL_TTF_REPOSITORY"
    "$SDL_MIXER_REPOSITORY")
commits=("$SDL_COMMIT" "$SDL_IMAGE_COMMIT" "$SDL_TTF_COMMIT" "$SDL_MIXER_COMMIT")

# Prints the absolute path of the folder FROSTFUNKEL_WINDOWS_SOURCES names, once it holds every
# pinned tarball matching its SHA256SUMS; else says what it needs and ends the script ($1: the
# script's name, for the messages).
pinned_sources() {
    local me=$1 sources=${FROSTFUNKEL_WINDOWS_SOURCES:-} i tarball
    if [ -z "$sources" ]; then
        cat >&2 <<EOT
$me: FROSTFUNKEL_WINDOWS_SOURCES is not set.
Set it to a folder holding the source tarballs of SDL 1.2, SDL_image 1.2, SDL_ttf 2.0 and
SDL_mixer 1.2 and their SHA256SUMS, e.g.
    FROSTFUNKEL_WINDOWS_SOURCES=../shared/windows-sources $me
Each tarball is a pinned commit of the library's repository, made with
    git archive --prefix=<name>/ <commit> | xz -6 > <name>-<first 8 of commit>.tar.xz
and SHA256SUMS is sha256sum's list of the four:
EOT
        for i in 0 1 2 3; do
            printf '    %-14s %-33s %s\n' "${trees[i]}" "${repositories[i]}" "${commits[i]}" >&2
        done
        cat >&2 <<'EOT'
(SDL_image, SDL_ttf and SDL_mixer from their SDL-1.2 branches). The project's own tarballs leave
out the bundled codecs the show does not use (SDL_image's external/jpeg-8d1, libwebp-1.0.3 and
tiff-4.2.0, SDL_mixer's external/libflac, libmpg123, libogg and libvorbis); the build works
either way.
EOT
        exit 2
    fi
    sources=$(cd "$sources" && pwd)
    for i in 0 1 2 3; do
        tarball=${trees[i]}-${commits[i]:0:8}.tar.xz
        if ! grep -q "  $tarball\$" "$sources/SHA256SUMS" 2>/dev/null; then
            echo "$me: no $tarball in $sources/SHA256SUMS" >&2
            exit 1
        fi
    done
    if ! (cd "$sources" && sha256sum --check --quiet --strict SHA256SUMS >&2); then
        echo "$me: the tarballs in $sources do not match their SHA256SUMS" >&2
        exit 1
    fi
    echo "$sources"
}

# Builds the libraries from SOURCES with RECIPE (run as RECIPE SOURCES PREFIX) into the cache,
# unless that set is there already, and prints its prefix: NAME-KEY, KEY hashing the sources'
# sums, the files the build depends on and the compiler's first line (COMPILER --version).
# Usage: cached_libraries NAME SOURCES RECIPE COMPILER FILE...
cached_libraries() {
    local name=$1 sources=$2 recipe=$3 compiler=$4 key cache prefix
    shift 4
    key=$( (cat "$sources/SHA256SUMS" "$@"
        "$compiler" --version | head -n 1) | sha256sum | cut -c1-16)
    cache=${FROSTFUNKEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/frostfunkel}
    prefix=$cache/$name-$key
    if [ ! -d "$prefix" ]; then
        echo "Building the libraries into $prefix (once for these sources and compiler)" >&2
        mkdir -p "$cache"
        "$recipe" "$sources" "$prefix" >&2
    fi
    echo "$prefix"
}
