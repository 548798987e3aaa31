"""Builds and runs the show against each SDL 1.2 variant, unpacked into a scratch root."""
import os
import re
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

from PIL import ImageGrab

from harness import (BUILD, CMAKE, SOURCE, X_LOST, lines, lose_x_at_mode_switch, next_line,
                     run_show, scratch, show_env, started, weston, xdotool)

# Variant, the source package it is built from, its packages and the file libSDL-1.2.so.0 leads
# to. Each is tried where the release builds those packages from that source: Debian 12 has both
# libraries, Debian 13 only sdl12-compat, under the classic package names (its
# libsdl1.2-compat-* are empty transitional packages there). The two conflict as installed
# packages, so each is downloaded and unpacked with dpkg -x into a root of its own.
VARIANTS = [
    ("classic", "libsdl1.2", ["libsdl1.2-dev", "libsdl1.2debian"], r"libSDL-1\.2\.so\.0\.11\.\d+"),
    ("sdl12-compat", "sdl12-compat", ["libsdl1.2-dev", "libsdl1.2debian"],
     r"libSDL-1\.2\.so\.1\.2\.\d+"),
    ("sdl12-compat", "sdl12-compat", ["libsdl1.2-compat-dev", "libsdl1.2-compat",
     "libsdl1.2-compat-shim"], r"sdl12-compat/libSDL-1\.2\.so\.1\.2\.\d+"),
]


def check(*command, cwd=None):
    proc = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if proc.returncode != 0:
        offline = command[0].startswith("apt-") and os.environ.get("FROSTFUNKEL_OFFLINE") == "1"
        raise (unittest.SkipTest if offline else AssertionError)(
            f"{command} failed (apt: run apt-get update first, or set FROSTFUNKEL_OFFLINE=1 "
            f"to skip offline):\n{proc.stdout}{proc.stderr}")
    return proc.stdout


class SdlVariantTest(unittest.TestCase):
    def test_each_variant_builds_runs_is_the_libsdl_loaded_and_keeps_its_shape_on_wayland(self):
        # The variants this release has, each under the first package names that carry it.
        variants = {}
        for name, source, packages, target in VARIANTS:
            if re.findall(r"^Source: (\S+)", check("apt-cache", "show", "--no-all-versions",
                                                   *packages), re.M) == [source] * len(packages):
                variants.setdefault(name, (packages, target))
        print("SDL 1.2 variants of this release:", *variants, file=sys.stderr)
        self.assertIn("sdl12-compat", variants)
        for variant, (packages, target) in variants.items():
            with self.subTest(variant=variant), scratch() as log:
                # Unpacked into a fresh root with every library its runtime needs that this
                # machine lacks, what installing it would bring in.
                root, build = (BUILD / "sdl-variants" / variant / n for n in ("root", "build"))
                shutil.rmtree(root.parent, ignore_errors=True)
                root.mkdir(parents=True)
                plan = check("apt-get", "install", "-s", "--no-install-recommends",
                             *(p for p in packages if not p.endswith("-dev")))
                check("apt-get", "download", *sorted({*packages, *re.findall(r"^Inst (\S+)", plan,
                                                                             re.M)}), cwd=root)
                check("sh", "-c", 'for deb in *.deb; do dpkg -x "$deb" .; done', cwd=root)
                # The library folders: libSDL's first, then any others the packages fill
                # (/lib/TRIPLET). The add-ons' headers include "SDL.h" from beside themselves:
                # copies go next to the variant's.
                sdl = next(root.glob("usr/lib/*/libSDL.so"), None)
                self.assertTrue(sdl, f"no usr/lib/*/libSDL.so in {', '.join(packages)}")
                libs = [sdl.parent, *root.glob("lib/*-*")]
                path = ":".join(map(str, libs))
                for header in ("SDL_ttf.h", "SDL_image.h", "SDL_mixer.h"):
                    shutil.copy(f"/usr/include/SDL/{header}", root / "usr/include/SDL")
                # CMake looks in the root first; the linker finds the libraries libSDL needs there.
                check(CMAKE, "-S", SOURCE, "-B", build, "-DFROSTFUNKEL_TESTS=OFF",
                      f"-DCMAKE_PREFIX_PATH={root}/usr", "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-rpath-link,"
                      + path)
                check(CMAKE, "--build", build, "--target", "frostfunkel")
                run = run_show(log, command=[build / "frostfunkel"], quit_after=8, LD_DEBUG="libs",
                               LD_LIBRARY_PATH=path, LD_DEBUG_OUTPUT=Path(log) / "ld")
                self.assertEqual((run.status, run.stdout, run.stderr), (0, lines(8), ""))
                ld_log = "".join(f.read_text() for f in Path(log).glob("ld.*"))
                loaded = re.findall(r"calling init: (\S*/libSDL-1\.2\.so\.0)$", ld_log, re.M)
                self.assertRegex(" ".join(os.path.realpath(p) for p in set(loaded)),
                                 f"^{re.escape(str(libs[0]))}/{target}$")
                # The X server lost between SDL's connection and the mode switch, five times
                self.assertEqual([lose_x_at_mode_switch(log, command=[build / "frostfunkel"],
                                                        LD_LIBRARY_PATH=path) for _ in range(5)],
                                 [(1, X_LOST)] * 5)
            with self.subTest(variant=variant, desktop="Wayland"):
                self.frame_on_wayland(variant, build, path)

    # The show installed from `build`, started through its launcher with the libraries of `path`
    # on weston's XWayland, keeps its frame at 610:390; the classic one while the pointer moves
    # outside the scene, where its relative mouse mode would wait for pointer warps.
    def frame_on_wayland(self, variant, build, path):
        prefix = build / "show"
        check(CMAKE, "--install", build, "--prefix", prefix)
        # Weston fills the outer screen, without a panel over the show: all that is not black is
        # the show's frame.
        _, settings, outer = self.enterContext(weston(
            "--xwayland", "--width=1920", "--height=1080", xvfb=("-screen", "0", "1920x1080x24")))
        # A user's own setting wins over the launcher's; sdl12-compat does not read it.
        user = {"SDL_VIDEO_X11_VIDMODE": "1"} if variant == "sdl12-compat" else {}
        show = self.enterContext(started(
            [prefix / "bin/frostfunkel"], stdout=subprocess.PIPE,
            env=show_env(SDL_VIDEODRIVER="x11", LD_LIBRARY_PATH=path, **settings, **user)))
        for tick in range(12):  # three seconds of the show
            self.assertTrue(next_line(show.stdout), f"no line after {tick} ticks")
            if variant == "classic":  # weston 14 aborts on pointer motion under sdl12-compat
                xdotool(outer, "mousemove", str(100 + tick), "100")
        shot = ImageGrab.grab(xdisplay=outer).convert("L").point(lambda v: 255 * (v > 24))
        left, top, right, bottom = shot.getbbox() or (0, 0, 0, 1)  # all black: 0 x 1
        environ = Path(f"/proc/{show.pid}/environ").read_text().split("\0")
        show.terminate()
        width, height = right - left, bottom - top
        self.assertEqual((show.wait(10), abs(width / height * 390 / 610 - 1) < 0.03,
                          "SDL_VIDEO_X11_VIDMODE=1" in environ), (0, True, bool(user)),
                         f"status, the frame of {width} x {height} at 610:390, user setting kept")
