"""The icon at every size, and what can be checked here of the Windows build."""
import re, shutil, subprocess, tempfile, unittest
from pathlib import Path

from PIL import Image

from harness import SOURCE
from installed import ICON_SIZES

ICONS = SOURCE / "packaging/icons"
WINDRES = "x86_64-w64-mingw32-windres"


class IconTest(unittest.TestCase):
    def test_each_size_is_padded_with_sharp_edges_and_whole_pixel_sparkles(self):
        for size in ICON_SIZES:
            with self.subTest(size=size):
                image = Image.open(ICONS / f"frostfunkel-{size}.png").convert("RGBA")
                left, top, right, bottom = image.getchannel("A").getbbox()
                self.assertEqual(image.size, (size, size))
                self.assertGreaterEqual(min(left, top, size - right, size - bottom), size // 16)
                # Drawn at its size, an edge is one pixel wide: each partly clear pixel touches
                # a clear or an opaque one. A scaled-up icon has wider, soft edges.
                a = image.getchannel("A").load()
                self.assertEqual([(x, y) for x in range(1, size - 1) for y in range(1, size - 1)
                                  if all(0 < a[p] < 255 for p in ((x, y), (x - 1, y), (x + 1, y),
                                                                   (x, y - 1), (x, y + 1)))], [])
                # A scaled-down icon blurs its sparkles into the red: none stays pure white.
                self.assertIn((255, 255, 255, 255), image.getdata())


class WindowsTest(unittest.TestCase):
    def test_resource_holds_one_icon_group_sdl_app_with_one_32x32_8_bit_image(self):
        with tempfile.TemporaryDirectory() as tmp:
            rc, res = Path(tmp, "frostfunkel.rc"), Path(tmp, "frostfunkel.res")
            rc.write_text((SOURCE / "packaging/windows/frostfunkel.rc.in").read_text().replace(
                "@FROSTFUNKEL_ICO@", str(ICONS / "frostfunkel.ico")))
            subprocess.run([WINDRES, "-O", "res", rc, res], check=True)
            text = subprocess.run([WINDRES, "-i", res, "-O", "rc"], capture_output=True, text=True,
                                  check=True).stdout
        # windres writes the resources back as a script: each one's name and type, the group's
        # entries ("width height colours pad" in octal, planes, bits), and the image's words:
        # header size, width, height of pixels and mask, planes and bits (8 << 16 | 1).
        self.assertEqual(re.findall(r"^(\S+) \d+ /\* (RT_\w+)", text, re.M),
                         [("1", "RT_ICON"), ('"SDL_APP"', "RT_GROUP_ICON")])
        self.assertEqual(re.findall(r'"\\(\d+)\\(\d+)\\\d+\\\d+", (\d+), (\d+)', text),
                         [("040", "040", "1", "8")])
        self.assertRegex(text, r"BEGIN\s+0x28L\s*,\s*0x20L\s*,\s*0x40L\s*,\s*0x80001L\s*,")

    def test_show_sources_compile_for_windows(self):
        with tempfile.TemporaryDirectory() as include:
            shutil.copytree("/usr/include/SDL", include, dirs_exist_ok=True)
            # The installed SDL_config.h is for Linux: kept, less what MinGW lacks.
            Path(include, "SDL_config.h").rename(Path(include, "SDL_config_host.h"))
            Path(include, "SDL_config.h").write_text('#include "SDL_config_host.h"\n#undef '
                                                     "HAVE_ICONV_H\n#undef HAVE_ALLOCA_H\n")
            proc = subprocess.run(["x86_64-w64-mingw32-g++", "-std=c++17", "-fsyntax-only", "-Wall",
                                   "-Wextra", "-Wpedantic", "-Werror", f"-I{SOURCE}/src/show",
                                   f"-I{SOURCE}/src/music",
                                   f"-I{include}", *SOURCE.glob("src/*/*.cpp")],
                                  capture_output=True, text=True)
        self.assertEqual((proc.returncode, proc.stderr), (0, ""))
