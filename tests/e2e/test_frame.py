"""End-to-end: captured frames hold the picture, the title and the window where they belong."""
import unittest

from PIL import Image

from harness import DATA, RAHMEN_AT, TITLE, Font, scratch, run_show, scroller_at, title_at, window


def expected_frame(tick):
    """Black screen, the picture, then the title and the tick's window in black."""
    font = Font()
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
        for tick in (1, 19, 108):
            with self.subTest(tick=tick), scratch() as d:
                shot = f"{d}/frame.bmp"
                run = run_show(d, quit_after=tick, FF_CAPTURE=f"{tick}:{shot}")
                self.assertEqual(run.status, 0, run.stderr)
                got = Image.open(shot).convert("RGB")
                want = expected_frame(tick - 1)
                self.assertEqual(got.size, (640, 480))
                diff = [(x, y) for y in range(480) for x in range(640)
                        if got.getpixel((x, y)) != want.getpixel((x, y))]
                self.assertEqual(diff[:10], [], f"{len(diff)} pixels differ")


if __name__ == "__main__":
    unittest.main()
