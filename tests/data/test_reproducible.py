"""The committed data files and icons are what their generators build on this machine."""
import platform, subprocess, sys, tempfile, unittest
from pathlib import Path

import numpy
import PIL
from PIL import Image

from harness import SOURCE

# The committed files are built on Debian 12 and rebuilt there byte for byte. Other releases'
# Pillow rounds the edges of drawn shapes differently (Debian 13's 11.1 against 12's 9.4), so
# there the drawn files need only keep their size and stay within these bounds of the largest
# and the mean per-pixel difference (of the channels, 0-255). Measured on Debian 13: the picture
# 70 and 1.59 (half its pixels off by a little, a few palette entries by more), the icons 15 and
# 0.015 (four edge pixels each).
REFERENCE = "12"
RELEASE = platform.freedesktop_os_release().get("VERSION_ID", "unknown")
PICTURE, ICON = (96, 2.5), (32, 0.05)


def differences(a, b):
    """The largest and the mean per-pixel difference of two pictures, None when their sizes
    differ."""
    pixels = []
    for path in (a, b):
        with Image.open(path) as image:
            pixels.append(numpy.asarray(image.convert("RGBA"), dtype=numpy.int16))
    if pixels[0].shape != pixels[1].shape:
        return None
    per_pixel = numpy.abs(pixels[0] - pixels[1]).max(axis=2)
    return int(per_pixel.max()), float(per_pixel.mean())


class Reproducible(unittest.TestCase):
    def check(self, tool, committed, bounds):
        """`bounds(name)`: the bounds of a drawn file, None for one that never differs."""
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([SOURCE / tool, out], check=True, capture_output=True)
            built = {p.name: p for p in Path(out).iterdir()}
            self.assertEqual(sorted(built), sorted(p.name for p in committed.iterdir()
                                                   if p.name != "README.md"))
            # Names only: a byte diff of pictures takes minutes and says nothing.
            changed = [n for n in sorted(built) if
                       built[n].read_bytes() != (committed / n).read_bytes()]
            exact = RELEASE == REFERENCE
            print(f"{tool} on Debian {RELEASE} with Pillow {PIL.__version__}: checked "
                  f"{'byte for byte' if exact else 'drawn files within bounds'}; differing: "
                  f"{', '.join(changed) or 'none'}", file=sys.stderr)
            if exact:
                self.assertEqual(changed, [], f"run {tool} and commit the result")
                return
            self.assertEqual([n for n in changed if bounds(n) is None], [],
                             "only drawn pictures may differ off Debian " + REFERENCE)
            for name in changed:
                with self.subTest(name):
                    largest, mean = bounds(name)
                    found = differences(built[name], committed / name)
                    self.assertTrue(found and found[0] <= largest and found[1] <= mean,
                                    f"{name} on Debian {RELEASE} with Pillow {PIL.__version__}: "
                                    f"largest and mean difference {found or 'of size'}, allowed "
                                    f"{(largest, mean)}; run {tool} on Debian {REFERENCE}")

    def test_data_files_font_and_module_byte_for_byte(self):
        self.check("tools/make-data", SOURCE / "data",
                   lambda n: PICTURE if n == "rahmen.png" else None)

    def test_icons_svg_byte_for_byte(self):
        self.check("tools/make-icon", SOURCE / "packaging/icons",
                   lambda n: ICON if n.endswith((".png", ".ico")) else None)


if __name__ == "__main__":
    unittest.main()
