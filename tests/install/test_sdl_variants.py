"""Builds and runs the show against each SDL 1.2 variant, unpacked into a scratch root.

The classic library and sdl12-compat cannot be installed side by side, so each variant's
packages are downloaded (and kept under the build folder for the next run), unpacked with
dpkg -x, and the show is built against that root's headers and library and run with the
root's library folder first on the library path.
"""
import os
import re
import shutil
import subprocess
import unittest
from pathlib import Path

from PIL import Image, ImageChops

from installed import BUILD, CMAKE, DATA_FILES, SOURCE, ScratchDir, run, show_env, window

MULTIARCH = subprocess.run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"], capture_output=True,
                           text=True, check=True).stdout.strip()
ARCH_LIB = f"usr/lib/{MULTIARCH}"
WORK = BUILD / "sdl-variants"
# Variant -> (packages to unpack, the file that libSDL-1.2.so.0 leads to in its root).
VARIANTS = {
    "classic": (["libsdl1.2-dev", "libsdl1.2debian", "libcaca0"],
                r"/libSDL-1\.2\.so\.0\.11\.\d+"),
    "compat": (["libsdl1.2-compat-dev", "libsdl1.2-compat", "libsdl1.2-compat-shim"],
               r"/sdl12-compat/libSDL-1\.2\.so\.1\.2\.\d+"),
}
# The add-on libraries' headers include "SDL.h" beside themselves, so copies of them go next to
# the variant's SDL.h; their libraries are the installed ones, loaded against the variant.
ADDON_HEADERS = ("SDL_ttf.h", "SDL_image.h", "SDL_mixer.h")
QUIT_AFTER = 8
CAPTURE_LINE = 5  # the scroller line whose frame is compared between the variants


def download(variant, packages):
    debs = WORK / "debs" / variant
    if not list(debs.glob("*.deb")):
        debs.mkdir(parents=True, exist_ok=True)
        proc = subprocess.run(["apt-get", "download", *packages], cwd=debs, capture_output=True,
                              text=True)
        if proc.returncode != 0:
            for deb in debs.glob("*.deb"):
                deb.unlink()
            message = (f"apt-get download {' '.join(packages)} failed (without package lists, "
                       f"run apt-get update first):\n{proc.stderr}")
            if os.environ.get("FROSTFUNKEL_OFFLINE") == "1":
                raise unittest.SkipTest(message)
            raise AssertionError(message + "\n(set FROSTFUNKEL_OFFLINE=1 to skip offline)")
    return sorted(debs.glob("*.deb"))


def prepare(variant):
    """Unpacks the variant, builds the show against it; returns (root, program)."""
    packages, _ = VARIANTS[variant]
    root = WORK / variant / "root"
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    for deb in download(variant, packages):
        subprocess.run(["dpkg", "-x", deb, root], check=True)
    include = root / "usr/include/SDL"
    for header in ADDON_HEADERS:
        shutil.copyfile(Path("/usr/include/SDL") / header, include / header)
    lib = root / ARCH_LIB
    build = WORK / variant / "build"
    cache = [f"-D{name}={include}" for name in
             ("SDL_INCLUDE_DIR", "SDL_TTF_INCLUDE_DIR", "SDL_IMAGE_INCLUDE_DIR",
              "SDL_MIXER_INCLUDE_DIR")]
    cache += [f"-DSDL_LIBRARY_TEMP={lib / 'libSDL.so'}", f"-DSDLMAIN_LIBRARY={lib / 'libSDLmain.a'}"]
    shutil.rmtree(build, ignore_errors=True)
    for command in ([CMAKE, "-S", SOURCE, "-B", build, "-DFROSTFUNKEL_TESTS=OFF", *cache],
                    [CMAKE, "--build", build, "--target", "frostfunkel"]):
        proc = subprocess.run([str(c) for c in command], capture_output=True, text=True)
        if proc.returncode != 0:
            raise AssertionError(f"{command} failed:\n{proc.stdout}{proc.stderr}")
    return root, build / "frostfunkel"


class SdlVariantTest(unittest.TestCase):
    frames = {}

    def check_variant(self, variant):
        root, program = prepare(variant)
        lib = root / ARCH_LIB
        build = program.parent
        # Every SDL header the show was compiled with came from the variant's root.
        deps = (build / "CMakeFiles/frostfunkel.dir/src/show/main.cpp.o.d").read_text()
        sdl_headers = set(re.findall(r"\S*/SDL/SDL\w*\.h", deps))
        self.assertIn(str(root / "usr/include/SDL/SDL.h"), sdl_headers)
        self.assertEqual({h for h in sdl_headers if not h.startswith(str(root))}, set())

        with ScratchDir() as d:
            for name in DATA_FILES:
                shutil.copyfile(SOURCE / "data" / name, d / name)
            env = show_env(QUIT_AFTER, LD_LIBRARY_PATH=lib, LD_DEBUG="libs",
                           LD_DEBUG_OUTPUT=d / "ld")
            status, out, err = run([program], d, env)
            self.assertEqual((status, err), (0, ""))
            self.assertEqual(out.splitlines(), [window(t) for t in range(QUIT_AFTER)])
            loaded = set()
            for log in d.glob("ld.*"):
                loaded |= set(re.findall(r"calling init: (\S*/libSDL-1\.2\.so\.0)$",
                                         log.read_text(), re.M))
            _, target = VARIANTS[variant]
            self.assertEqual(loaded, {str(lib / "libSDL-1.2.so.0")})
            real = os.path.realpath(lib / "libSDL-1.2.so.0")
            self.assertRegex(real, "^" + re.escape(str(lib)) + target + "$")

            # The same scene on both: capture the frame that shows one chosen scroller line.
            tick = CAPTURE_LINE + 1
            env = show_env(QUIT_AFTER, LD_LIBRARY_PATH=lib, FF_CAPTURE=f"{tick}:{d / 'f.bmp'}")
            status, out, err = run([program], d, env)
            self.assertEqual(status, 0, err)
            SdlVariantTest.frames[variant] = Image.open(d / "f.bmp").convert("RGB")

    def test_1_classic_library(self):
        self.check_variant("classic")

    def test_2_sdl12_compat(self):
        self.check_variant("compat")

    def test_3_both_draw_the_same_frame(self):
        if len(self.frames) < 2:
            self.skipTest("a variant did not run")
        diff = ImageChops.difference(self.frames["classic"], self.frames["compat"])
        self.assertIsNone(diff.getbbox())


if __name__ == "__main__":
    unittest.main()
