"""Checks the PC Snowballs font: coverage, metrics, sanitizer, SDL_ttf sizes and legibility."""

import shutil
import subprocess
import sys
import unittest
from pathlib import Path

from fontTools.ttLib import TTFont

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from sdl_text import Font  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
FONT_PATH = ROOT / "data" / "PC_Snowballs.ttf"

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


class SdlTtfTest(unittest.TestCase):
    """Measures and renders the way the show does: SDL_ttf 2.0, 50 pt, Latin-1 text."""

    @classmethod
    def setUpClass(cls):
        cls.font = Font(FONT_PATH, POINT_SIZE)

    def render(self, text):
        return tuple("".join("#" if ink else "." for ink in row) for row in self.font.solid(text))

    def test_title_size(self):
        w, h = self.font.size(TITLE)
        self.assertGreaterEqual(w, 300)
        self.assertLessEqual(w, 440)
        self.assertLessEqual(h, 90)

    def test_every_scroller_window_fits(self):
        self.assertEqual(len(SCROLLER), 108)
        for p in range(len(SCROLLER)):
            window = SCROLLER[p:p + WINDOW]
            with self.subTest(window=window):
                self.assertLessEqual(self.font.size(window)[0], 560)

    def test_visible_characters_leave_ink_and_render_to_distinct_bitmaps(self):
        # Covers umlauts against their plain letters, O against 0, l against 1 and I.
        # The soft hyphen is meant to look like the hyphen.
        seen = {}
        for ch in PRINTABLE:
            if ch.isspace() or ch in "\xa0\xad":
                continue
            bitmap = self.render(ch)
            with self.subTest(char="U+%04X" % ord(ch)):
                self.assertIn("#", "".join(bitmap))
                if bitmap in seen:
                    self.fail("%r looks like %r" % (ch, seen[bitmap]))
            seen[bitmap] = ch


if __name__ == "__main__":
    unittest.main()
