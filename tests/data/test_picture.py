"""Checks that black text stays readable on rahmen.png and that a failed check writes nothing."""

import tempfile
import unittest
from pathlib import Path
from unittest import mock

from PIL import Image

import make_picture

from harness import SCROLLSOURCE as SCROLLER, Font

ROOT = Path(__file__).resolve().parents[2]
PICTURE = ROOT / "data" / "rahmen.png"
ORIGIN = (15, 85)  # where the show draws the picture on its 640x480 screen
# Screen area that may carry black text: title at (480 - w, 150) with w <= 440, h <= 90,
# scroller at (50, 150 + h + 30), at most 560 px wide. Inclusive coordinates.
TEXT_AREA = (40, 150, 610, 360)


def contrast_with_black(rgb):
    """Contrast ratio of a colour against black, from its relative luminance."""
    r, g, b = (c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in (v / 255 for v in rgb))
    return (0.2126 * r + 0.7152 * g + 0.0722 * b + 0.05) / 0.05


class PictureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = Image.open(PICTURE)
        cls.image.load()

    def test_black_text_stays_readable(self):
        # the real boxes are measured with SDL_ttf at 50 points, as the show measures them
        font = Font(ROOT / "data" / "PC_Snowballs.ttf", 50)
        title_w, h = font.size("Happy XMAS")
        scroll_w = max(font.size(SCROLLER[i:i + 18])[0] for i in range(len(SCROLLER)))
        boxes = {"text area": TEXT_AREA, "title": (480 - title_w, 150, 479, 150 + h - 1),
                 "scroller": (50, 180 + h, 50 + scroll_w - 1, 180 + 2 * h - 1)}
        rgb = self.image.convert("RGB")
        for name, (x0, y0, x1, y1) in boxes.items():
            with self.subTest(name):
                # outside the picture the crop is black, as the screen is there
                crop = rgb.crop((x0 - ORIGIN[0], y0 - ORIGIN[1], x1 - ORIGIN[0] + 1, y1 - ORIGIN[1] + 1))
                worst = min((colour for _, colour in crop.getcolors(1 << 24)), key=contrast_with_black)
                self.assertGreaterEqual(contrast_with_black(worst), 4.5, "too dark: %s" % (worst,))

    def test_failed_check_leaves_the_old_file(self):
        with tempfile.NamedTemporaryFile() as old, mock.patch.object(make_picture, "MIN_LUMINANCE", 1.01):
            old.write(b"old"), old.flush()
            self.assertRaises(SystemExit, make_picture.main, ["make_picture.py", old.name])
            self.assertEqual(Path(old.name).read_bytes(), b"old")


if __name__ == "__main__":
    unittest.main()
