#!/usr/bin/env bash
# Builds SDL 1.2 with the show's browser drivers, SDL_image, SDL_ttf and SDL_mixer with the
# libraries under them (zlib, libpng, FreeType, libmikmod) as static WebAssembly libraries with
# emscripten, each from a fixed list of its sources, into one prefix.
# Usage: packaging/web/libraries.sh SOURCES_DIR PREFIX
# SOURCES_DIR holds the tarballs named in packaging/windows/libraries.env (already checked by
# the caller); PREFIX must not exist yet: the build happens beside it and is moved there when
# whole, so an interrupted build never leaves a half-filled prefix behind.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
source "$top/packaging/windows/libraries.env"

sources=$(cd "$1" && pwd)
prefix=$2
jobs=$(nproc)

# On failure the work folder stays, with each library's compile log.
work=$(mktemp -d "${prefix}.build.XXXXXX")
trap 'echo "libraries.sh: failed; the build and its logs are in $work" >&2' ERR
stage=$work/prefix
mkdir -p "$stage/include/SDL" "$stage/lib" "$stage/share/licences"

# The build folder out of the objects, so that the same sources give the same bytes; the
# libraries' own warnings are not ours to mend.
CFLAGS=(-O2 "-ffile-prefix-map=$work=." -w)

unpack() { # tree, commit -> unpacks that tarball into the work folder
    tar -xJf "$sources/$1-${2:0:8}.tar.xz" -C "$work"
}

# Compiles the given sources (relative to the current folder) with the given flags (none with
# a blank in it), in parallel, into the static library $stage/lib/lib$name.a, its members in
# the order given.
# Usage: compile_library NAME FLAGS... -- SOURCES...
compile_library() {
    local name=$1 flags=() objects=() src i
    shift
    while [ "$1" != -- ]; do
        flags+=("$1")
        shift
    done
    shift
    mkdir -p "obj-$name"
    for src in "$@"; do
        objects+=("obj-$name/$(echo "${src%.c}" | tr / _).o")
    done
    for i in "${!objects[@]}"; do
        printf '%s\0%s\0' "${@:i+1:1}" "${objects[i]}"
    done | COMPILE_FLAGS="${CFLAGS[*]} ${flags[*]}" xargs -0 -n 2 -P "$jobs" \
        sh -c 'emcc $COMPILE_FLAGS -c "$0" -o "$1"' >"compile-$name.log" 2>&1 ||
        { cat "compile-$name.log" >&2; return 1; }
    rm -f "$stage/lib/lib$name.a"
    emar crsD "$stage/lib/lib$name.a" "${objects[@]}"
}

echo "== SDL 1.2"
unpack "$SDL_TREE" "$SDL_COMMIT"
(cd "$work/$SDL_TREE" &&
    patch -s -p1 <"$here/sdl-web-drivers.patch" &&
    cp "$top/src/web/sdl/SDL_config.h" include/SDL_config.h &&
    mkdir -p src/video/web src/audio/web src/timer/web &&
    cp "$top/src/web/sdl/SDL_webvideo.c" src/video/web/ &&
    cp "$top/src/web/sdl/SDL_webaudio.c" src/audio/web/ &&
    cp "$top/src/web/sdl/SDL_webtimer.c" src/timer/web/ &&
    compile_library SDL -Iinclude -- \
        src/SDL.c src/SDL_error.c src/SDL_fatal.c \
        src/audio/SDL_audio.c src/audio/SDL_audiocvt.c src/audio/SDL_mixer.c \
        src/audio/SDL_wave.c src/audio/web/SDL_webaudio.c \
        src/cdrom/SDL_cdrom.c src/cdrom/dummy/SDL_syscdrom.c src/cpuinfo/SDL_cpuinfo.c \
        src/events/SDL_active.c src/events/SDL_events.c src/events/SDL_expose.c \
        src/events/SDL_keyboard.c src/events/SDL_mouse.c src/events/SDL_quit.c \
        src/events/SDL_resize.c src/file/SDL_rwops.c \
        src/joystick/SDL_joystick.c src/joystick/dummy/SDL_sysjoystick.c \
        src/loadso/dummy/SDL_sysloadso.c \
        src/stdlib/SDL_getenv.c src/stdlib/SDL_iconv.c src/stdlib/SDL_malloc.c \
        src/stdlib/SDL_qsort.c src/stdlib/SDL_stdlib.c src/stdlib/SDL_string.c \
        src/thread/SDL_thread.c src/thread/generic/SDL_syscond.c \
        src/thread/generic/SDL_sysmutex.c src/thread/generic/SDL_syssem.c \
        src/thread/generic/SDL_systhread.c \
        src/timer/SDL_timer.c src/timer/web/SDL_webtimer.c \
        src/video/SDL_blit.c src/video/SDL_blit_0.c src/video/SDL_blit_1.c \
        src/video/SDL_blit_A.c src/video/SDL_blit_N.c src/video/SDL_bmp.c \
        src/video/SDL_cursor.c src/video/SDL_gamma.c src/video/SDL_pixels.c \
        src/video/SDL_RLEaccel.c src/video/SDL_stretch.c src/video/SDL_surface.c \
        src/video/SDL_video.c src/video/SDL_yuv.c src/video/SDL_yuv_sw.c \
        src/video/web/SDL_webvideo.c &&
    cp include/*.h "$stage/include/SDL/" &&
    cp COPYING "$stage/share/licences/SDL-1.2.txt")

echo "== zlib and libpng"
unpack "$SDL_IMAGE_TREE" "$SDL_IMAGE_COMMIT"
# zlib's gz* files call read, write and close, declared by unistd.h only when asked for.
(cd "$work/$SDL_IMAGE_TREE/external/zlib-$ZLIB_VERSION" &&
    compile_library z -DZ_HAVE_UNISTD_H -- adler32.c compress.c crc32.c deflate.c gzclose.c \
        gzlib.c gzread.c gzwrite.c infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c \
        zutil.c &&
    cp zlib.h zconf.h "$stage/include/" &&
    sed -n '/Copyright notice:/,$p' README >"$stage/share/licences/zlib.txt")
(cd "$work/$SDL_IMAGE_TREE/external/libpng-$LIBPNG_VERSION" &&
    cp scripts/pnglibconf.h.prebuilt pnglibconf.h &&
    compile_library png "-I$stage/include" -- png.c pngerror.c pngget.c pngmem.c pngpread.c \
        pngread.c pngrio.c pngrtran.c pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c \
        pngwtran.c pngwutil.c &&
    cp png.h pngconf.h pnglibconf.h "$stage/include/" &&
    cp LICENSE "$stage/share/licences/libpng.txt")

echo "== SDL_image"
# PNG only, linked directly; the other formats' files compile to their empty checks.
(cd "$work/$SDL_IMAGE_TREE" &&
    compile_library SDL_image "-I$stage/include" "-I$stage/include/SDL" -DLOAD_PNG -- \
        IMG.c IMG_bmp.c IMG_gif.c IMG_jpg.c IMG_lbm.c IMG_pcx.c IMG_png.c IMG_pnm.c \
        IMG_tga.c IMG_tif.c IMG_webp.c IMG_xcf.c IMG_xpm.c IMG_xv.c IMG_xxx.c &&
    cp SDL_image.h "$stage/include/SDL/" &&
    cp COPYING "$stage/share/licences/SDL_image.txt")

echo "== FreeType"
unpack "$SDL_TTF_TREE" "$SDL_TTF_COMMIT"
# Only what a TrueType font needs: its driver, the SFNT tables, glyph names, the autofitter
# and the two rasterisers. The autofitter's hint functions are called through one type whose
# return and parameters must match each script's, or WebAssembly stops at the call.
(cd "$work/$SDL_TTF_TREE/external/freetype-$FREETYPE_VERSION" &&
    patch -s -p1 <"$here/freetype-apply-hints.patch" &&
    cat >include/freetype/config/ftmodule.h <<'MODULES' &&
FT_USE_MODULE( FT_Module_Class, autofit_module_class )
FT_USE_MODULE( FT_Driver_ClassRec, tt_driver_class )
FT_USE_MODULE( FT_Module_Class, psnames_module_class )
FT_USE_MODULE( FT_Renderer_Class, ft_raster1_renderer_class )
FT_USE_MODULE( FT_Module_Class, sfnt_module_class )
FT_USE_MODULE( FT_Renderer_Class, ft_smooth_renderer_class )
MODULES
    compile_library freetype -Iinclude -DFT2_BUILD_LIBRARY -- \
        src/base/ftsystem.c src/base/ftinit.c src/base/ftdebug.c src/base/ftbase.c \
        src/base/ftbbox.c src/base/ftglyph.c src/base/ftbitmap.c src/base/ftstroke.c \
        src/truetype/truetype.c \
        src/sfnt/sfnt.c src/autofit/autofit.c src/smooth/smooth.c src/raster/raster.c \
        src/psnames/psnames.c &&
    cp -r include/ft2build.h include/freetype "$stage/include/" &&
    cp docs/FTL.TXT "$stage/share/licences/FreeType.txt")

echo "== SDL_ttf"
(cd "$work/$SDL_TTF_TREE" &&
    compile_library SDL_ttf "-I$stage/include" "-I$stage/include/SDL" -- SDL_ttf.c &&
    cp SDL_ttf.h "$stage/include/SDL/" &&
    cp COPYING "$stage/share/licences/SDL_ttf.txt")

echo "== libmikmod"
unpack "$SDL_MIXER_TREE" "$SDL_MIXER_COMMIT"
# Sound output is SDL's: only the silent driver, which SDL_mixer registers.
(cd "$work/$SDL_MIXER_TREE/external/libmikmod" &&
    compile_library mikmod -Iinclude -DMIKMOD_BUILD -DHAVE_UNISTD_H -DHAVE_FCNTL_H \
        -DHAVE_LIMITS_H -DHAVE_MALLOC_H -DHAVE_MEMCMP -DHAVE_STRSTR -DHAVE_SNPRINTF \
        -DHAVE_SETENV -DHAVE_SRANDOM -- \
        $(ls mmio/*.c playercode/*.c loaders/*.c | LC_ALL=C sort) drivers/drv_nos.c &&
    cp include/mikmod.h "$stage/include/" &&
    cp COPYING.LIB "$stage/share/licences/libmikmod.txt")

echo "== SDL_mixer"
# Tracker modules through libmikmod, linked directly; WAVE is built in; the other formats off.
(cd "$work/$SDL_MIXER_TREE" &&
    compile_library SDL_mixer "-I$stage/include" "-I$stage/include/SDL" -DWAV_MUSIC \
        -DMOD_MUSIC -- \
        $(ls *.c | grep -v -e '^playmus\.c$' -e '^playwave\.c$' | LC_ALL=C sort) &&
    cp SDL_mixer.h "$stage/include/SDL/" &&
    cp COPYING "$stage/share/licences/SDL_mixer.txt")

# Another build of the same key may have finished first; its prefix is as good as this one.
mv -T "$stage" "$prefix" 2>/dev/null || [ -d "$prefix/lib" ]
rm -rf "$work"
echo "== libraries in $prefix"
