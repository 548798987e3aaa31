"""Checks that black text stays readable on rahmen.png, by the contrast measure the generator
uses."""
import unittest

from PIL import Image

from make_picture import MIN_CONTRAST, TEXT_BOX, contrast_with_black
from harness import DATA, RAHMEN_AT, SCROLLSOURCE, TITLE, Font, text_places

# The box the generator keeps light for black text, on the screen. Inclusive coordinates.
TEXT_AREA = tuple(v + RAHMEN_AT[i % 2] for i, v in enumerate(TEXT_BOX))


class PictureTest(unittest.TestCase):
    def test_the_text_fits_the_light_box_and_stays_readable_there(self):
        # the real boxes are measured with SDL_ttf at 50 points, as the show measures them
        font = Font()
        title_w, h = font.size(TITLE)
        self.assertGreaterEqual(title_w, 300, "the title drawn small")
        (tx, ty), (sx, sy) = text_places(title_w, h)
        scroll_w = max(font.size(SCROLLSOURCE[i:i + 18])[0] for i in range(len(SCROLLSOURCE)))
        boxes = {"title": (tx, ty, 479, ty + h - 1),
                 "scroller": (sx, sy, sx + scroll_w - 1, sy + h - 1)}
        rgb = Image.open(DATA / "rahmen.png").convert("RGB")
        (left, top, right, bottom), (x, y) = TEXT_AREA, RAHMEN_AT
        for name, (x0, y0, x1, y1) in boxes.items():
            with self.subTest(name):
                self.assertTrue(left <= x0 and top <= y0 and x1 <= right and y1 <= bottom,
                                "outside %s" % (TEXT_AREA,))
                crop = rgb.crop((x0 - x, y0 - y, x1 - x + 1, y1 - y + 1))
                worst = min((colour for _, colour in crop.getcolors(1 << 24)),
                            key=contrast_with_black)
                self.assertGreaterEqual(contrast_with_black(worst), MIN_CONTRAST,
                                        "too dark: %s" % (worst,))

    def test_contrast_is_the_wcag_ratio(self):
        # published ratios against black: white 21:1, pure red 5.25:1, pure blue 2.44:1
        colours = ((0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 0, 255))
        ratios = [round(contrast_with_black(c), 2) for c in colours]
        self.assertEqual(ratios, [1.0, 21.0, 5.25, 2.44])
