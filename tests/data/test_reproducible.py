"""The committed data files and icons are what their generators build on this machine."""
import platform, re, subprocess, sys, tempfile, unittest
from pathlib import Path

import numpy
import PIL
from PIL import Image

from harness import SOURCE

# The committed files are made on Debian 12 and rebuilt there byte for byte. Other releases'
# Pillow rounds the edges of drawn shapes differently (Debian 13's 11.1 against 12's 9.4), so
# there a drawn file need only keep its size and stay within these bounds of the largest and
# the mean per-pixel difference (the largest of the channels', 0-255). Measured on Debian 13:
# the picture 81 and 1.50 (two pixels in five a little off, a few hundred by more where the
# palette's colours fall otherwise), the icons 15 and 0.015 (four edge pixels each).
RELEASE = platform.freedesktop_os_release().get("VERSION_ID")
PICTURE, ICON = (128, 2.5), (32, 0.05)


def difference(a, b):
    """The largest and the mean per-pixel difference of two pictures; None for other sizes."""
    x, y = (numpy.asarray(Image.open(p).convert("RGBA"), dtype=numpy.int16) for p in (a, b))
    d = numpy.abs(x - y).max(axis=2) if x.shape == y.shape else None
    return None if d is None else (int(d.max()), round(float(d.mean()), 3))


class Reproducible(unittest.TestCase):
    def test_generators_rebuild_the_committed_files(self):
        for tool, folder, drawn, (largest, mean) in (
                ("tools/make-data", "data", r"rahmen\.png", PICTURE),
                ("tools/make-icon", "packaging/icons", r".*\.(png|ico)", ICON)):
            with self.subTest(tool), tempfile.TemporaryDirectory() as out:
                subprocess.run([SOURCE / tool, out], check=True, capture_output=True)
                # Names only: a byte diff of pictures takes minutes and says nothing.
                changed = [p.name for p in sorted(Path(out).iterdir())
                           if p.read_bytes() != (SOURCE / folder / p.name).read_bytes()]
                where = f"Debian {RELEASE} with Pillow {PIL.__version__}"
                how = "byte for byte" if RELEASE == "12" else "within bounds"
                print(f"{tool} on {where}: {how}; differing: {', '.join(changed) or 'none'}",
                      file=sys.stderr)
                if RELEASE == "12":
                    self.assertEqual(changed, [], f"run {tool} and commit the result")
                    continue
                self.assertEqual([n for n in changed if not re.fullmatch(drawn, n)], [], where)
                found = {n: difference(Path(out, n), SOURCE / folder / n) for n in changed}
                self.assertEqual({n: d for n, d in found.items()
                                  if not (d and d[0] <= largest and d[1] <= mean)}, {},
                                 f"{where}, allowed {(largest, mean)}: run {tool} on Debian 12")


if __name__ == "__main__":
    unittest.main()
