"""End-to-end: captured frames hold the picture, the title and the window where they belong."""
import io
import unittest

from fontTools.ttLib import TTFont
from PIL import Image, ImageChops

from harness import DATA, RAHMEN_AT, TITLE, Font, run_show, scratch, text_places, window

# The show's font drawn twice as large: a title wider than 480 pixels, clipped at the left.
WIDE_FONT, WIDE = TTFont(DATA / "PC_Snowballs.ttf"), io.BytesIO()
WIDE_FONT["head"].unitsPerEm //= 2
WIDE_FONT.save(WIDE)


class Frame(unittest.TestCase):
    def test_captured_frame_matches_the_scene_pixel_for_pixel(self):
        # (tick, font file's bytes); the wide title's second tick would show it unclipped from
        # x = 0 if a blit kept SDL's clipped rectangle
        for tick, font_bytes in ((1, None), (19, None), (108, None), (2, WIDE.getvalue())):
            with self.subTest(tick=tick, wide=bool(font_bytes)), \
                    scratch({"PC_Snowballs.ttf": font_bytes or DATA / "PC_Snowballs.ttf"}) as d:
                run = run_show(d, quit_after=tick, FF_CAPTURE=f"{tick}:{d}/frame.bmp")
                self.assertEqual(run.status, 0, run.stderr)
                # Black screen, the picture, then the title and the tick's window in black.
                font = Font(f"{d}/PC_Snowballs.ttf")
                want = Image.new("RGB", (640, 480))
                want.paste(Image.open(DATA / "rahmen.png").convert("RGB"), RAHMEN_AT)
                pixels = want.load()
                places = text_places(*font.size(TITLE))
                for text, (x0, y0) in zip((TITLE, window(tick - 1)), places):
                    for y, row in enumerate(font.solid(text)):
                        for x in (x for x, ink in enumerate(row) if ink and 0 <= x0 + x < 640):
                            pixels[x0 + x, y0 + y] = (0, 0, 0)
                got = Image.open(f"{d}/frame.bmp").convert("RGB")
                # the box of the pixels that differ: none
                self.assertEqual((got.size, ImageChops.difference(got, want).getbbox()),
                                 (want.size, None))
