"""Checks that black text stays readable on rahmen.png and that a failed check writes nothing."""
import tempfile
import unittest
from pathlib import Path
from unittest import mock

from PIL import Image

import make_picture
from harness import DATA, RAHMEN_AT, SCROLLSOURCE, TITLE, Font, scroller_at, title_at

# Screen area that may carry black text: the title at most 440 x 90 px, the scroller at most
# 560 px wide. Inclusive coordinates.
TEXT_AREA = (40, 150, 610, 360)


def contrast_with_black(rgb):
    """Contrast ratio of a colour against black, from its relative luminance."""
    r, g, b = (c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in (v / 255 for v in rgb))
    return (0.2126 * r + 0.7152 * g + 0.0722 * b + 0.05) / 0.05


class PictureTest(unittest.TestCase):
    def test_black_text_stays_readable(self):
        # the real boxes are measured with SDL_ttf at 50 points, as the show measures them
        font = Font()
        (title_w, h), (sx, sy) = font.size(TITLE), scroller_at(font.size(TITLE)[1])
        scroll_w = max(font.size(SCROLLSOURCE[i:i + 18])[0] for i in range(len(SCROLLSOURCE)))
        boxes = {"text area": TEXT_AREA, "title": (*title_at(title_w), 479, 150 + h - 1),
                 "scroller": (sx, sy, sx + scroll_w - 1, sy + h - 1)}
        rgb = Image.open(DATA / "rahmen.png").convert("RGB")
        for name, (x0, y0, x1, y1) in boxes.items():
            with self.subTest(name):
                # outside the picture the crop is black, as the screen is there
                x, y = RAHMEN_AT
                crop = rgb.crop((x0 - x, y0 - y, x1 - x + 1, y1 - y + 1))
                worst = min((colour for _, colour in crop.getcolors(1 << 24)), key=contrast_with_black)
                self.assertGreaterEqual(contrast_with_black(worst), 4.5, "too dark: %s" % (worst,))

    def test_failed_check_leaves_the_old_file(self):
        with tempfile.NamedTemporaryFile() as old, mock.patch.object(make_picture, "MIN_LUMINANCE", 1.01):
            old.write(b"old"), old.flush()
            self.assertRaises(SystemExit, make_picture.main, ["make_picture.py", old.name])
            self.assertEqual(Path(old.name).read_bytes(), b"old")


if __name__ == "__main__":
    unittest.main()
