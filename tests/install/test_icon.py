"""The application icon: a 32 x 32 PNG and an 8-bit ICO of the same picture, rebuilt byte for byte."""
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from PIL import Image

from installed import SOURCE

ICONS = SOURCE / "packaging" / "icons"
SIZE = 32
WINDRES = "x86_64-w64-mingw32-windres"
RT_ICON, RT_GROUP_ICON = 3, 14


def parse_res(data):
    """The (type, name, data) of each resource in a compiled .res file, without the empty first."""
    def ident(pos):
        if data[pos:pos + 2] == b"\xff\xff":
            return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
        end = pos
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[pos:end].decode("utf-16-le"), end + 2

    out, pos = [], 0
    while pos < len(data):
        size, header = struct.unpack_from("<II", data, pos)
        kind, at = ident(pos + 8)
        name, at = ident(at)
        if size:
            out.append((kind, name, data[pos + header: pos + header + size]))
        pos = (pos + header + size + 3) & ~3
    return out


def parse_ico(data):
    """The one image of an ICO file: directory entry, bitmap header, palette, pixels and mask."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    entry = struct.unpack_from("<BBBBHHII", data, 6)
    width, height, colours, res, planes, bits, size, offset = entry
    header = struct.unpack_from("<IiiHHIIiiII", data, offset)
    pos = offset + header[0]
    palette = [data[pos + 4 * i: pos + 4 * i + 4] for i in range(256)]
    pos += 4 * 256
    xor = data[pos: pos + SIZE * SIZE]
    pos += SIZE * SIZE
    mask = data[pos: pos + SIZE * 4]
    return dict(icondir=(reserved, kind, count), entry=entry, header=header, palette=palette,
                xor=xor, mask=mask, end=pos + SIZE * 4)


def ico_pixel(ico, x, y):
    """(transparent, (r, g, b)) at x, y; rows are stored bottom-up."""
    row = SIZE - 1 - y
    transparent = bool(ico["mask"][row * 4 + x // 8] & (0x80 >> (x % 8)))
    b, g, r, _ = ico["palette"][ico["xor"][row * SIZE + x]]
    return transparent, (r, g, b)


class IconTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = (ICONS / "frostfunkel.ico").read_bytes()
        cls.ico = parse_ico(cls.data)
        cls.png = Image.open(ICONS / "frostfunkel.png")

    def test_ico_layout_is_one_32x32_image_with_8_bits_and_a_256_colour_palette(self):
        ico = self.ico
        self.assertEqual(ico["icondir"], (0, 1, 1))
        # width, height, colour count (0: 256), reserved, planes, bits, bytes, offset
        self.assertEqual(ico["entry"], (32, 32, 0, 0, 1, 8, 40 + 1024 + 1024 + 128, 22))
        # size, width, doubled height (pixels and mask), planes, bits, BI_RGB, image bytes,
        # resolutions, colours used, colours important
        self.assertEqual(ico["header"], (40, 32, 64, 1, 8, 0, 1024 + 128, 0, 0, 256, 0))
        self.assertTrue(all(entry[3] == 0 for entry in ico["palette"]))
        self.assertEqual(ico["end"], len(self.data))

    def test_png_and_ico_show_the_same_picture(self):
        self.assertEqual((self.png.format, self.png.mode, self.png.size), ("PNG", "RGBA", (32, 32)))
        opaque = 0
        for y in range(SIZE):
            for x in range(SIZE):
                r, g, b, a = self.png.getpixel((x, y))
                transparent, colour = ico_pixel(self.ico, x, y)
                with self.subTest(x=x, y=y):
                    self.assertEqual(transparent, a < 128)
                    if not transparent:
                        self.assertEqual(colour, (r, g, b))
                        opaque += 1
        # Clear corners around a bauble that fills most of the square.
        for x, y in ((0, 0), (31, 0), (0, 31), (31, 31)):
            self.assertTrue(ico_pixel(self.ico, x, y)[0])
        self.assertGreater(opaque, SIZE * SIZE // 2)

    def test_tools_make_icon_rebuilds_both_files_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([SOURCE / "tools/make-icon", out], check=True)
            for name in ("frostfunkel.png", "frostfunkel.ico"):
                with self.subTest(name=name):
                    self.assertEqual((Path(out) / name).read_bytes(), (ICONS / name).read_bytes(),
                                     "run tools/make-icon and commit the result")

    @unittest.skipUnless(shutil.which(WINDRES), f"{WINDRES} is not installed")
    def test_windows_resource_holds_the_ico_as_the_only_icon_group_sdl_app(self):
        with tempfile.TemporaryDirectory() as out:
            rc = Path(out) / "frostfunkel.rc"
            rc.write_text((SOURCE / "packaging/windows/frostfunkel.rc.in").read_text()
                          .replace("@FROSTFUNKEL_ICO@", str(ICONS / "frostfunkel.ico")))
            res = Path(out) / "frostfunkel.res"
            subprocess.run([WINDRES, "--preprocessor=cpp", "-i", rc, "-O", "res", "-o", res],
                           check=True)
            resources = parse_res(res.read_bytes())
        self.assertEqual([(kind, name) for kind, name, _ in resources],
                         [(RT_ICON, 1), (RT_GROUP_ICON, "SDL_APP")])
        self.assertEqual(resources[0][2], self.data[22:])
        # The group's one entry: the ICO's directory entry with the image's resource number.
        self.assertEqual(resources[1][2], self.data[:6 + 12] + struct.pack("<H", 1))

if __name__ == "__main__":
    unittest.main()
