"""The application icon: a 32 x 32 PNG and a one-image 8-bit ICO of the same picture."""
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from PIL import Image

from harness import SOURCE

ICONS = SOURCE / "packaging/icons"
ICON_FILES = ("frostfunkel.png", "frostfunkel.ico")


def pixels(name):
    """(opaque, colour) of each pixel: the ICO's 1-bit mask cuts the PNG's alpha at half."""
    image = Image.open(ICONS / name)
    return image.size, [(a >= 128, tuple(rgb) if a >= 128 else None)
                        for *rgb, a in image.convert("RGBA").getdata()]


class IconTest(unittest.TestCase):
    def test_ico_holds_one_32x32_image_of_8_bits_with_a_256_colour_palette(self):
        data = (ICONS / "frostfunkel.ico").read_bytes()
        image_bytes = 40 + 256 * 4 + 32 * 32 + 32 * 4  # header, palette, pixels, 1-bit mask
        # Directory (reserved, icon, one image), then its entry: 32 x 32, 0 meaning 256 colours,
        # reserved, one plane, 8 bits, the image's bytes and offset; then the file's length.
        self.assertEqual((*struct.unpack_from("<HHHBBBBHHII", data), len(data)),
                         (0, 1, 1, 32, 32, 0, 0, 1, 8, image_bytes, 22, 22 + image_bytes))
        # Bitmap header: size, width, height of pixels and mask, planes, bits, uncompressed;
        # colours used (0 meaning all 256).
        self.assertEqual(struct.unpack_from("<IiiHHI", data, 22), (40, 32, 64, 1, 8, 0))
        self.assertIn(struct.unpack_from("<I", data, 22 + 32)[0], (0, 256))

    def test_png_and_ico_show_the_same_picture(self):
        # Sizes included: the PNG is 32 x 32 as the ICO is.
        self.assertEqual(*(pixels(name) for name in ICON_FILES))

    def test_tools_make_icon_rebuilds_both_files_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([SOURCE / "tools/make-icon", out], check=True)
            for name in ICON_FILES:
                with self.subTest(name=name):
                    self.assertEqual((Path(out) / name).read_bytes(), (ICONS / name).read_bytes(),
                                     "run tools/make-icon and commit the result")


if __name__ == "__main__":
    unittest.main()
