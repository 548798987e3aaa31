"""Builds and runs the show against each SDL 1.2 variant, unpacked into a scratch root."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BUILD, CMAKE, SOURCE, lines, run_show

MULTIARCH = subprocess.run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"], capture_output=True,
                           text=True, check=True).stdout.strip()
# The classic library and sdl12-compat conflict as installed packages, so each variant's packages
# are downloaded once (kept here) and unpacked with dpkg -x into a root of their own.
WORK = BUILD / "sdl-variants"
# Variant -> (packages to unpack, the file libSDL-1.2.so.0 leads to in the root's library folder).
VARIANTS = {
    "classic": (["libsdl1.2-dev", "libsdl1.2debian", "libcaca0"], r"libSDL-1\.2\.so\.0\.11\.\d+"),
    "compat": (["libsdl1.2-compat-dev", "libsdl1.2-compat", "libsdl1.2-compat-shim"],
               r"sdl12-compat/libSDL-1\.2\.so\.1\.2\.\d+"),
}
TICKS = 8


def download(variant, packages):
    debs = WORK / "debs" / variant
    if not list(debs.glob("*.deb")):
        debs.mkdir(parents=True, exist_ok=True)
        proc = subprocess.run(["apt-get", "download", *packages], cwd=debs, capture_output=True,
                              text=True)
        if proc.returncode != 0:
            shutil.rmtree(debs)  # nothing half downloaded to reuse next time
            offline = os.environ.get("FROSTFUNKEL_OFFLINE") == "1"
            raise (unittest.SkipTest if offline else AssertionError)(
                "apt-get download failed (run apt-get update first, or set FROSTFUNKEL_OFFLINE=1 "
                f"to skip offline):\n{proc.stderr}")
    return sorted(debs.glob("*.deb"))


def build_against(variant, packages):
    """Unpacks the variant into a fresh root and builds the show against it."""
    root, build = WORK / variant / "root", WORK / variant / "build"
    shutil.rmtree(WORK / variant, ignore_errors=True)
    root.mkdir(parents=True)
    for deb in download(variant, packages):
        subprocess.run(["dpkg", "-x", deb, root], check=True)
    include, lib = root / "usr/include/SDL", root / "usr/lib" / MULTIARCH
    # The add-ons' headers include "SDL.h" from beside themselves: copies go next to the variant's.
    for header in ("SDL_ttf.h", "SDL_image.h", "SDL_mixer.h"):
        shutil.copyfile(Path("/usr/include/SDL") / header, include / header)
    cache = [f"-D{name}_INCLUDE_DIR={include}"
             for name in ("SDL", "SDL_TTF", "SDL_IMAGE", "SDL_MIXER")]
    cache += [f"-DSDL_LIBRARY_TEMP={lib}/libSDL.so", f"-DSDLMAIN_LIBRARY={lib}/libSDLmain.a"]
    for command in ([CMAKE, "-S", SOURCE, "-B", build, "-DFROSTFUNKEL_TESTS=OFF", *cache],
                    [CMAKE, "--build", build, "--target", "frostfunkel"]):
        proc = subprocess.run(command, capture_output=True, text=True)
        if proc.returncode != 0:
            raise AssertionError(f"{command} failed:\n{proc.stdout}{proc.stderr}")
    return lib, build / "frostfunkel"


class SdlVariantTest(unittest.TestCase):
    def test_each_variant_builds_runs_and_is_the_libsdl_loaded(self):
        for variant, (packages, target) in VARIANTS.items():
            with self.subTest(variant=variant), tempfile.TemporaryDirectory() as log:
                lib, program = build_against(variant, packages)
                run = run_show(log, command=[program], quit_after=TICKS, LD_LIBRARY_PATH=lib,
                               LD_DEBUG="libs", LD_DEBUG_OUTPUT=Path(log) / "ld")
                self.assertEqual((run.status, run.stdout, run.stderr), (0, lines(TICKS), ""))
                ld_log = "".join(f.read_text() for f in Path(log).glob("ld.*"))
                loaded = set(re.findall(r"calling init: (\S*/libSDL-1\.2\.so\.0)$", ld_log, re.M))
                self.assertEqual(loaded, {str(lib / "libSDL-1.2.so.0")})
                self.assertRegex(os.path.realpath(lib / "libSDL-1.2.so.0"),
                                 f"^{re.escape(str(lib))}/{target}$")


if __name__ == "__main__":
    unittest.main()
