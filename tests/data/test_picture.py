"""Checks the frame picture rahmen.png: fits the screen, stays small, keeps black text readable."""

import sys
import unittest
from pathlib import Path

from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from sdl_text import Font  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
PICTURE = ROOT / "data" / "rahmen.png"
FONT = ROOT / "data" / "PC_Snowballs.ttf"

SCREEN = (640, 480)
ORIGIN = (15, 85)  # where the show draws the picture
# Screen area that may carry black text: title at (480 - w, 150) with w <= 440, h <= 90,
# scroller at (50, 150 + h + 30), at most 560 px wide.
TEXT_AREA = (40, 150, 610, 360)  # inclusive screen coordinates
MIN_CONTRAST = 4.5
SCROLL_TEXT = (" " * 18 + "Froehliche Weihnachten wuenscht Christkind sehr, "
               "so bringt endlich die Geschenke her!   :)")
WINDOW = 18


def _linear(c):
    c /= 255.0
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


LIN = [_linear(v) for v in range(256)]


def contrast_with_black(rgb):
    r, g, b = rgb
    lum = 0.2126 * LIN[r] + 0.7152 * LIN[g] + 0.0722 * LIN[b]
    return (lum + 0.05) / 0.05


class PictureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = PICTURE.read_bytes()
        cls.image = Image.open(PICTURE)
        cls.image.load()
        cls.rgb = cls.image.convert("RGB")

    def worst_contrast(self, screen_box):
        """Lowest contrast to black over an inclusive screen rectangle, and where it is."""
        x0, y0, x1, y1 = screen_box
        ox, oy = ORIGIN
        crop = self.rgb.crop((x0 - ox, y0 - oy, x1 - ox + 1, y1 - oy + 1))
        w = crop.size[0]
        worst = min((contrast_with_black(p), i) for i, p in enumerate(crop.getdata()))
        return worst[0], (x0 + worst[1] % w, y0 + worst[1] // w)

    def test_fits_screen_opaque_and_small(self):
        w, h = self.image.size
        self.assertEqual(self.image.format, "PNG")
        self.assertIn(self.image.mode, ("RGB", "P"))
        self.assertNotIn("transparency", self.image.info)
        self.assertLessEqual(ORIGIN[0] + w, SCREEN[0])
        self.assertLessEqual(ORIGIN[1] + h, SCREEN[1])
        # It must cover the text area, or text would land on the black screen.
        self.assertLessEqual(ORIGIN[0], TEXT_AREA[0])
        self.assertGreater(ORIGIN[0] + w, TEXT_AREA[2])
        self.assertGreater(ORIGIN[1] + h, TEXT_AREA[3])
        self.assertLessEqual(len(self.data), 200 * 1024)

    def test_text_area_is_light(self):
        worst, where = self.worst_contrast(TEXT_AREA)
        self.assertGreaterEqual(worst, MIN_CONTRAST, "too dark for black text at screen %s" % (where,))

    def test_real_text_boxes_are_light(self):
        # Measured with SDL_ttf at 50 points, as the show measures them.
        font = Font(FONT, 50)
        title_w, h = font.size("Happy XMAS")
        scroll_w = max(font.size(SCROLL_TEXT[i:i + WINDOW])[0] for i in range(len(SCROLL_TEXT)))
        boxes = {
            "title": (480 - title_w, 150, 480 - 1, 150 + h - 1),
            "scroller": (50, 150 + h + 30, 50 + scroll_w - 1, 150 + 2 * h + 30 - 1),
        }
        pw, ph = self.image.size
        for name, (x0, y0, x1, y1) in boxes.items():
            with self.subTest(name):
                # Wherever the text leaves the picture it would be black on black.
                self.assertGreaterEqual(x0, ORIGIN[0])
                self.assertGreaterEqual(y0, ORIGIN[1])
                self.assertLess(x1, ORIGIN[0] + pw)
                self.assertLess(y1, ORIGIN[1] + ph)
                worst, where = self.worst_contrast((x0, y0, x1, y1))
                self.assertGreaterEqual(worst, MIN_CONTRAST, "too dark at screen %s" % (where,))


if __name__ == "__main__":
    unittest.main()
