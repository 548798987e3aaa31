"""The icon at every size, drawn crisp at its size."""
import unittest

from PIL import Image

from harness import SOURCE
from installed import ICON_SIZES

ICONS = SOURCE / "packaging/icons"


class IconTest(unittest.TestCase):
    def test_each_size_is_padded_with_sharp_edges_and_whole_pixel_sparkles(self):
        for size in ICON_SIZES:
            with self.subTest(size=size):
                image = Image.open(ICONS / f"frostfunkel-{size}.png").convert("RGBA")
                left, top, right, bottom = image.getchannel("A").getbbox()
                self.assertEqual(image.size, (size, size))
                self.assertGreaterEqual(min(left, top, size - right, size - bottom), size // 16)
                # Drawn at its size, an edge is one pixel wide: each partly clear pixel touches
                # a clear or an opaque one. A scaled-up icon has wider, soft edges.
                a = image.getchannel("A").load()
                self.assertEqual([(x, y) for x in range(1, size - 1) for y in range(1, size - 1)
                                  if all(0 < a[p] < 255 for p in ((x, y), (x - 1, y), (x + 1, y),
                                                                   (x, y - 1), (x, y + 1)))], [])
                # A scaled-down icon blurs its sparkles into the red: none stays pure white.
                self.assertIn((255, 255, 255, 255), image.getdata())
