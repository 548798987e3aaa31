"""End-to-end: captured frames hold the picture, the title and the window where they belong."""
import io
import unittest

from fontTools.ttLib import TTFont
from PIL import Image

from harness import DATA, RAHMEN_AT, TITLE, Font, scratch, run_show, scroller_at, title_at, window


def wide_font():
    """The show's font drawn twice as large: a title wider than 480 pixels, clipped at the left."""
    font = TTFont(DATA / "PC_Snowballs.ttf")
    font["head"].unitsPerEm //= 2
    out = io.BytesIO()
    font.save(out)
    return out.getvalue()


def expected_frame(tick, font_file):
    """Black screen, the picture, then the title and the tick's window in black."""
    font = Font(font_file)
    width, height = font.size(TITLE)
    frame = Image.new("RGB", (640, 480))
    frame.paste(Image.open(DATA / "rahmen.png").convert("RGB"), RAHMEN_AT)
    pixels = frame.load()
    for text, (x0, y0) in ((TITLE, title_at(width)), (window(tick), scroller_at(height))):
        for y, row in enumerate(font.solid(text)):
            for x, ink in enumerate(row):
                if ink and 0 <= x0 + x < 640 and 0 <= y0 + y < 480:
                    pixels[x0 + x, y0 + y] = (0, 0, 0)
    return frame


class Frame(unittest.TestCase):
    def test_captured_frame_matches_the_scene_pixel_for_pixel(self):
        # (tick, font file's bytes or None for the show's own); the wide title's second tick
        # would show it unclipped from x = 0 if a blit kept SDL's clipped rectangle
        for tick, font in ((1, None), (19, None), (108, None), (2, wide_font())):
            with self.subTest(tick=tick, wide=bool(font)), \
                    scratch(replace={"PC_Snowballs.ttf": font}) as d:
                shot = f"{d}/frame.bmp"
                run = run_show(d, quit_after=tick, FF_CAPTURE=f"{tick}:{shot}")
                self.assertEqual(run.status, 0, run.stderr)
                got = Image.open(shot).convert("RGB")
                want = expected_frame(tick - 1, f"{d}/PC_Snowballs.ttf")
                self.assertEqual(got.size, (640, 480))
                diff = [(x, y) for y in range(480) for x in range(640)
                        if got.getpixel((x, y)) != want.getpixel((x, y))]
                self.assertEqual(diff[:10], [], f"{len(diff)} pixels differ")


if __name__ == "__main__":
    unittest.main()
