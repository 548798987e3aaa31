"""The committed data files and icons are what their generators build on this machine."""
import platform
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import numpy
from PIL import Image

from harness import SOURCE

# The committed files are made on Debian 12 and rebuilt there byte for byte. Other releases'
# Pillow rounds the edges of drawn shapes differently (Debian 13's 11.1 against 12's 9.4), so
# there a drawn file need only keep its size and stay within these bounds of the largest and
# the mean per-pixel difference (the largest of the channels', 0-255). Measured on Debian 13:
# the picture 81 and 1.50 (two pixels in five a little off, a few hundred by more where the
# palette's colours fall otherwise), the icons 15 and 0.015 (four edge pixels each).
RELEASE = platform.freedesktop_os_release().get("VERSION_ID")


class Reproducible(unittest.TestCase):
    def test_generators_rebuild_the_committed_files(self):
        for tool, folder, drawn, bounds in (
                ("tools/make-data", "data", r"rahmen\.png", (128, 2.5)),
                ("tools/make-icon", "packaging/icons", r".*\.(png|ico|bmp)", (32, 0.05))):
            with self.subTest(tool), tempfile.TemporaryDirectory() as out:
                subprocess.run([SOURCE / tool, out], check=True, stdout=subprocess.DEVNULL)
                # A generator's reason for failing shows on standard error.
                # Names only: a byte diff of pictures takes minutes and says nothing.
                changed = [p.name for p in sorted(Path(out).iterdir())
                           if p.read_bytes() != (SOURCE / folder / p.name).read_bytes()]
                where = f"{tool} on Debian {RELEASE} with Pillow {Image.__version__}"
                print(f"{where}, differing: {', '.join(changed) or 'none'}", file=sys.stderr)
                # What is off: any file on Debian 12 and any undrawn one, else each drawn file's
                # largest and mean difference, 256 where the sizes differ.
                off = {n: None for n in changed if RELEASE == "12" or not re.fullmatch(drawn, n)}
                for name in set(changed) - set(off):
                    x, y = (numpy.asarray(Image.open(p).convert("RGBA"), dtype=numpy.int16)
                            for p in (Path(out, name), SOURCE / folder / name))
                    d = numpy.abs(x - y).max(axis=2) if x.shape == y.shape else numpy.full(1, 256)
                    if d.max() > bounds[0] or d.mean() > bounds[1]:
                        off[name] = (int(d.max()), round(float(d.mean()), 3))
                self.assertEqual(off, {}, f"{where}, allowed {bounds} but on Debian 12: run {tool} "
                                 "on Debian 12 and commit the result")
