"""Checks the PC Snowballs font: coverage, metrics, sanitizer, SDL_ttf sizes and legibility."""

import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from fontTools.ttLib import TTFont

ROOT = Path(__file__).resolve().parents[2]
FONT_PATH = ROOT / "data" / "PC_Snowballs.ttf"
GENERATOR = ROOT / "tools" / "font" / "make_font.py"

TITLE = "Happy XMAS"
SCROLLER = (" " * 18 + "Froehliche Weihnachten wuenscht Christkind sehr, "
            "so bringt endlich die Geschenke her!   :)")
WINDOW = 18
POINT_SIZE = 50

PRINTABLE = [chr(c) for c in range(0x20, 0x7F)] + [chr(c) for c in range(0xA0, 0x100)]

# Accented letters and the plain letter each one must be assembled from.
ACCENTED = {
    "ÀÁÂÃÄÅ": "A", "Ç": "C", "ÈÉÊË": "E", "ÌÍÎÏ": "I", "Ñ": "N",
    "ÒÓÔÕÖ": "O", "ÙÚÛÜ": "U", "Ý": "Y",
    "àáâãäå": "a", "ç": "c", "èéêë": "e", "ñ": "n", "òóôõö": "o",
    "ùúûü": "u", "ýÿ": "y",
}


def setUpModule():
    global FONT
    FONT = TTFont(str(FONT_PATH))


class CoverageTest(unittest.TestCase):
    def test_every_printable_character_is_mapped_to_a_real_glyph(self):
        cmap = FONT.getBestCmap()
        glyf = FONT["glyf"]
        for ch in PRINTABLE:
            with self.subTest(char="U+%04X" % ord(ch)):
                self.assertIn(ord(ch), cmap)
                name = cmap[ord(ch)]
                self.assertNotEqual(name, ".notdef")
                advance = FONT["hmtx"][name][0]
                self.assertGreater(advance, 0)
                glyph = glyf[name]
                has_ink = glyph.isComposite() or glyph.numberOfContours > 0
                self.assertEqual(has_ink, not ch.isspace() and ch != "\xa0")

    def test_accented_letters_are_composites_of_their_base_letter(self):
        cmap = FONT.getBestCmap()
        glyf = FONT["glyf"]
        for accented, base in ACCENTED.items():
            for ch in accented:
                with self.subTest(char=ch):
                    glyph = glyf[cmap[ord(ch)]]
                    self.assertTrue(glyph.isComposite())
                    names = [c.glyphName for c in glyph.components]
                    self.assertEqual(len(names), 2)
                    self.assertEqual(names[0], cmap[ord(base)])
        # the dotless base of ì í î ï and the ordinary i share the stem
        for ch in "ìíîï":
            with self.subTest(char=ch):
                self.assertTrue(glyf[cmap[ord(ch)]].isComposite())

    def test_special_spaces_and_hyphens_match_their_plain_forms(self):
        cmap = FONT.getBestCmap()
        hmtx = FONT["hmtx"]
        for special, plain in (("\xa0", " "), ("\xad", "-")):
            with self.subTest(char="U+%04X" % ord(special)):
                self.assertEqual(hmtx[cmap[ord(special)]][0], hmtx[cmap[ord(plain)]][0])

    def test_cmap_has_a_windows_unicode_format_4_table(self):
        table = FONT["cmap"].getcmap(3, 1)
        self.assertIsNotNone(table)
        self.assertEqual(table.format, 4)


class MetricsTest(unittest.TestCase):
    def test_vertical_metrics_agree_across_tables(self):
        head, hhea, os2 = FONT["head"], FONT["hhea"], FONT["OS/2"]
        self.assertEqual(head.unitsPerEm, 1000)
        self.assertEqual(hhea.ascent, os2.sTypoAscender)
        self.assertEqual(hhea.ascent, os2.usWinAscent)
        self.assertEqual(hhea.descent, os2.sTypoDescender)
        self.assertEqual(-hhea.descent, os2.usWinDescent)
        self.assertEqual(hhea.lineGap, os2.sTypoLineGap)
        self.assertGreaterEqual(hhea.lineGap, 0)

    def test_glyph_bounds_stay_inside_the_win_metrics(self):
        glyf, head, os2 = FONT["glyf"], FONT["head"], FONT["OS/2"]
        tops, bottoms = [], []
        for name in FONT.getGlyphOrder():
            glyph = glyf[name]
            glyph.recalcBounds(glyf)
            if glyph.numberOfContours:
                tops.append(glyph.yMax)
                bottoms.append(glyph.yMin)
        self.assertLessEqual(max(tops), os2.usWinAscent)
        self.assertLessEqual(-min(bottoms), os2.usWinDescent)
        self.assertEqual((head.yMax, head.yMin), (max(tops), min(bottoms)))

    def test_horizontal_metrics_match_outlines(self):
        glyf, hmtx, hhea = FONT["glyf"], FONT["hmtx"], FONT["hhea"]
        widest = 0
        for name in FONT.getGlyphOrder():
            advance, lsb = hmtx[name]
            widest = max(widest, advance)
            glyph = glyf[name]
            glyph.recalcBounds(glyf)
            if glyph.numberOfContours:
                with self.subTest(glyph=name):
                    self.assertEqual(lsb, glyph.xMin)
        self.assertEqual(hhea.advanceWidthMax, widest)

    def test_names_and_dates_are_our_own_and_fixed(self):
        name = FONT["name"]
        self.assertEqual(name.getDebugName(1), "PC Snowballs")
        self.assertIn("Frostfunkel", name.getDebugName(0))
        self.assertIn("Frostfunkel", name.getDebugName(13))
        head = FONT["head"]
        # 1970-01-01 in the font's 1904-based seconds, never the build time
        self.assertEqual((head.created, head.modified), (2082844800, 2082844800))
        self.assertIn("post", FONT)

    def test_snowballs_all_wind_the_same_way(self):
        # same direction everywhere keeps touching dots from cancelling out
        glyf = FONT["glyf"]
        for name in FONT.getGlyphOrder():
            glyph = glyf[name]
            if glyph.isComposite() or glyph.numberOfContours <= 0:
                continue
            coords, ends, flags = glyph.getCoordinates(glyf)
            start = 0
            for end in ends:
                points = coords[start:end + 1]
                area = sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1)
                           in zip(points, points[1:] + points[:1]))
                with self.subTest(glyph=name, contour=start):
                    self.assertLess(area, 0)  # clockwise in y-up space
                start = end + 1


class SanitizerTest(unittest.TestCase):
    def test_ots_accepts_the_font_without_complaint(self):
        ots = shutil.which("ots-sanitize")
        self.assertIsNotNone(ots, "ots-sanitize (Debian opentype-sanitizer) is missing")
        result = subprocess.run([ots, str(FONT_PATH)], capture_output=True, text=True)
        output = result.stdout + result.stderr
        self.assertEqual(result.returncode, 0, output)
        self.assertNotRegex(output.lower(), "warn|error|fail|drop")


class Surface(ctypes.Structure):
    # leading fields of the SDL 1.2 SDL_Surface; ctypes supplies the x86_64 padding
    _fields_ = [
        ("flags", ctypes.c_uint32),
        ("format", ctypes.c_void_p),
        ("w", ctypes.c_int),
        ("h", ctypes.c_int),
        ("pitch", ctypes.c_uint16),
        ("pixels", ctypes.c_void_p),
    ]


class Color(ctypes.Structure):
    _fields_ = [("r", ctypes.c_uint8), ("g", ctypes.c_uint8),
                ("b", ctypes.c_uint8), ("unused", ctypes.c_uint8)]


class SdlTtfTest(unittest.TestCase):
    """Measures and renders the way the show does: SDL_ttf 2.0, 50 pt, Latin-1 text."""

    @classmethod
    def setUpClass(cls):
        cls.sdl = ctypes.CDLL("libSDL-1.2.so.0")
        cls.ttf = ttf = ctypes.CDLL("libSDL_ttf-2.0.so.0")
        ttf.TTF_OpenFont.restype = ctypes.c_void_p
        ttf.TTF_OpenFont.argtypes = [ctypes.c_char_p, ctypes.c_int]
        ttf.TTF_CloseFont.argtypes = [ctypes.c_void_p]
        ttf.TTF_SizeText.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                                     ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        ttf.TTF_RenderText_Solid.restype = ctypes.POINTER(Surface)
        ttf.TTF_RenderText_Solid.argtypes = [ctypes.c_void_p, ctypes.c_char_p, Color]
        cls.sdl.SDL_FreeSurface.argtypes = [ctypes.c_void_p]
        if ttf.TTF_WasInit() == 0:
            assert ttf.TTF_Init() == 0
        cls.font = ttf.TTF_OpenFont(str(FONT_PATH).encode(), POINT_SIZE)
        assert cls.font, "SDL_ttf cannot open the font"

    @classmethod
    def tearDownClass(cls):
        cls.ttf.TTF_CloseFont(cls.font)

    def size(self, text):
        w, h = ctypes.c_int(), ctypes.c_int()
        self.assertEqual(self.ttf.TTF_SizeText(self.font, text.encode("latin-1"),
                                               ctypes.byref(w), ctypes.byref(h)), 0)
        return w.value, h.value

    def render(self, text):
        """Returns the 1-bit bitmap as a tuple of row strings."""
        surface = self.ttf.TTF_RenderText_Solid(self.font, text.encode("latin-1"),
                                                Color(0, 0, 0, 0))
        self.assertTrue(surface, "TTF_RenderText_Solid failed for %r" % text)
        try:
            s = surface.contents
            raw = ctypes.string_at(s.pixels, s.pitch * s.h)
            # palette index 0 is the background, 1 the ink
            return tuple("".join("#" if b else "." for b in raw[y * s.pitch:y * s.pitch + s.w])
                         for y in range(s.h))
        finally:
            self.sdl.SDL_FreeSurface(surface)

    def test_title_size(self):
        w, h = self.size(TITLE)
        self.assertGreaterEqual(w, 300)
        self.assertLessEqual(w, 440)
        self.assertLessEqual(h, 90)

    def test_every_scroller_window_fits(self):
        self.assertEqual(len(SCROLLER), 108)
        for p in range(len(SCROLLER)):
            window = SCROLLER[p:p + WINDOW]
            with self.subTest(window=window):
                self.assertLessEqual(self.size(window)[0], 560)

    def test_every_printable_character_leaves_ink(self):
        for ch in PRINTABLE:
            if ch.isspace() or ch == "\xa0":
                continue
            with self.subTest(char="U+%04X" % ord(ch)):
                self.assertIn("#", "".join(self.render(ch)))

    def test_visible_characters_render_to_distinct_bitmaps(self):
        # the soft hyphen is meant to look like the hyphen
        seen = {}
        for ch in PRINTABLE:
            if ch.isspace() or ch in "\xa0\xad":
                continue
            bitmap = self.render(ch)
            with self.subTest(char="U+%04X" % ord(ch)):
                if bitmap in seen:
                    self.fail("%r looks like %r" % (ch, seen[bitmap]))
            seen[bitmap] = ch

    def test_umlauts_differ_from_their_plain_letters(self):
        for accented, plain in zip("ÄÖÜäöüß", "AOUaouB"):
            with self.subTest(char=accented):
                self.assertNotEqual(self.render(accented), self.render(plain))


class ReproducibilityTest(unittest.TestCase):
    def test_generator_rebuilds_the_committed_file(self):
        env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        with tempfile.TemporaryDirectory() as tmp:
            out = Path(tmp) / "PC_Snowballs.ttf"
            subprocess.run([sys.executable, str(GENERATOR), str(out)], check=True, env=env)
            self.assertEqual(out.read_bytes(), FONT_PATH.read_bytes(),
                             "data/PC_Snowballs.ttf is stale: run tools/make-data")


if __name__ == "__main__":
    unittest.main()
