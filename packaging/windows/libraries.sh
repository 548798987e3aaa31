#!/usr/bin/env bash
# Cross-builds SDL 1.2, SDL_image, SDL_ttf and SDL_mixer with the libraries under them as
# 64-bit Windows DLLs, each with its own build system, into one prefix.
# Usage: packaging/windows/libraries.sh SOURCES_DIR PREFIX
# SOURCES_DIR holds the tarballs named in libraries.env beside this script (already checked by
# the caller);
# PREFIX must not exist yet: the build happens beside it and is moved there when whole, so an
# interrupted build never leaves a half-filled prefix behind.
set -euo pipefail
source "$(dirname "$0")/libraries.env"

sources=$(cd "$1" && pwd)
prefix=$2
host=x86_64-w64-mingw32
jobs=$(nproc)

# On failure the work folder stays, with each step's configure.out, make.out and config.log.
work=$(mktemp -d "${prefix}.build.XXXXXX")
trap 'echo "libraries.sh: failed; the build and its logs are in $work" >&2' ERR
stage=$work/prefix
mkdir -p "$stage/bin" "$stage/include" "$stage/lib" "$work/tools"

# libtool calls winepath to turn paths into Windows ones whenever it finds it; with Wine
# installed that starts Wine in the middle of the build. One that fails makes libtool keep the
# paths as they are, which is right for a cross build.
printf '#!/bin/sh\nexit 1\n' >"$work/tools/winepath"
chmod +x "$work/tools/winepath"

# The libraries' own *-config scripts and .pc files from the prefix, never the host's: the
# prefix's bin first on the PATH, pkg-config looking only there.
export PATH="$work/tools:$stage/bin:$PATH"
export PKG_CONFIG_LIBDIR="$stage/lib/pkgconfig"
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR
# No PE time stamps, the build folder out of the binaries, the GCC runtime linked in statically
# (so no libgcc DLL has to be shipped): the same sources give the same DLLs.
export CPPFLAGS="-I$stage/include"
export CFLAGS="-O2 -ffile-prefix-map=$work=."
export LDFLAGS="-L$stage/lib -static-libgcc -Wl,--no-insert-timestamp"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}

unpack() { # tree, commit -> unpacks that tarball into the work folder
    tar -xJf "$sources/$1-${2:0:8}.tar.xz" -C "$work"
}

# Configures, builds and installs one autotools tree (the current folder) into the prefix.
autotools_build() {
    ./configure --host=$host --build="$(gcc -dumpmachine)" \
        --prefix="$stage" --enable-shared --disable-static "$@" >configure.out
    make -j"$jobs" >make.out
    make install >install.out
}

echo "== SDL 1.2"
unpack "$SDL_TREE" "$SDL_COMMIT"
(cd "$work/$SDL_TREE" &&
    # Standard output and error go to stdout.txt and stderr.txt beside the program (the
    # default); the assembly blitters need nasm, which the show does not need.
    autotools_build --disable-nasm --disable-assembly)

echo "== zlib"
unpack "$SDL_IMAGE_TREE" "$SDL_IMAGE_COMMIT"
(cd "$work/$SDL_IMAGE_TREE/external/zlib-$ZLIB_VERSION" &&
    make -f win32/Makefile.gcc -j"$jobs" PREFIX=$host- SHARED_MODE=1 \
        LOC="-ffile-prefix-map=$work=." LDFLAGS="-static-libgcc -Wl,--no-insert-timestamp" \
        BINARY_PATH="$stage/bin" INCLUDE_PATH="$stage/include" LIBRARY_PATH="$stage/lib" \
        zlib1.dll libz.dll.a >make.out &&
    make -f win32/Makefile.gcc PREFIX=$host- SHARED_MODE=1 \
        BINARY_PATH="$stage/bin" INCLUDE_PATH="$stage/include" LIBRARY_PATH="$stage/lib" \
        install >install.out)

echo "== libpng"
(cd "$work/$SDL_IMAGE_TREE/external/libpng-$LIBPNG_VERSION" && autotools_build)

echo "== SDL_image"
# PNG linked directly rather than loaded by name at run time, so the DLL's imports name it;
# the formats the show does not use left out.
(cd "$work/$SDL_IMAGE_TREE" &&
    autotools_build --with-sdl-prefix="$stage" --disable-sdltest --enable-png \
        --disable-png-shared --disable-jpg --disable-tif --disable-webp)

echo "== FreeType"
unpack "$SDL_TTF_TREE" "$SDL_TTF_COMMIT"
# Its libtool picks the DLL's image base from a hash of the output's absolute path, which
# would make the DLL depend on the build folder; a fixed base takes precedence over that.
(cd "$work/$SDL_TTF_TREE/external/freetype-$FREETYPE_VERSION" &&
    LDFLAGS="$LDFLAGS -Wl,--image-base=0x260000000" autotools_build --without-bzip2 --without-zlib)

echo "== SDL_ttf"
(cd "$work/$SDL_TTF_TREE" &&
    autotools_build --with-sdl-prefix="$stage" --with-ft-prefix="$stage" --disable-sdltest \
        --disable-freetypetest --without-x)

echo "== libmikmod"
unpack "$SDL_MIXER_TREE" "$SDL_MIXER_COMMIT"
# libmikmod's own _mm_malloc clashes with the one GCC's mm_malloc.h declares for MinGW;
# marking that header as already included keeps it out. Sound output is SDL's, so no drivers.
(cd "$work/$SDL_MIXER_TREE/external/libmikmod" &&
    CFLAGS="$CFLAGS -D_MM_MALLOC_H_INCLUDED" autotools_build --disable-alldrv --disable-doc \
        --disable-threads)

echo "== SDL_mixer"
# Tracker modules through libmikmod, linked directly; WAVE is built in; the other formats off.
(cd "$work/$SDL_MIXER_TREE" &&
    autotools_build --with-sdl-prefix="$stage" --disable-sdltest --enable-music-mod \
        --disable-music-mod-shared --disable-music-mod-modplug --disable-music-ogg \
        --disable-music-flac --disable-music-mp3 --disable-music-midi --disable-music-cmd)

# A configure check that fails only drops a feature: the show needs the mixer to play modules.
if ! $host-objdump -p "$stage/bin/SDL_mixer.dll" | grep "DLL Name: libmikmod" >/dev/null; then
    echo "SDL_mixer was built without libmikmod: see $work/$SDL_MIXER_TREE/config.log" >&2
    exit 1
fi

# The licence texts of every library, for the packages.
licences=$stage/share/licences
mkdir -p "$licences"
cp "$work/$SDL_TREE/COPYING" "$licences/SDL-1.2.txt"
cp "$work/$SDL_IMAGE_TREE/COPYING" "$licences/SDL_image.txt"
cp "$work/$SDL_TTF_TREE/COPYING" "$licences/SDL_ttf.txt"
cp "$work/$SDL_MIXER_TREE/COPYING" "$licences/SDL_mixer.txt"
cp "$work/$SDL_MIXER_TREE/external/libmikmod/COPYING.LIB" "$licences/libmikmod.txt"
cp "$work/$SDL_IMAGE_TREE/external/libpng-$LIBPNG_VERSION/LICENSE" "$licences/libpng.txt"
sed -n '/Copyright notice:/,$p' "$work/$SDL_IMAGE_TREE/external/zlib-$ZLIB_VERSION/README" \
    >"$licences/zlib.txt"
cp "$work/$SDL_TTF_TREE/external/freetype-$FREETYPE_VERSION/docs/FTL.TXT" "$licences/FreeType.txt"

# Another build of the same key may have finished first; its prefix is as good as this one.
mv -T "$stage" "$prefix" 2>/dev/null || [ -d "$prefix/bin" ]
rm -rf "$work"
echo "== libraries in $prefix"
