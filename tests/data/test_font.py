"""Checks the PC Snowballs font: coverage, metrics, sanitizer, SDL_ttf sizes and legibility."""

import shutil
import subprocess
import unicodedata
import unittest
from pathlib import Path

from fontTools.ttLib import TTFont

from harness import SCROLLSOURCE as SCROLLER, Font

FONT_PATH = Path(__file__).resolve().parents[2] / "data" / "PC_Snowballs.ttf"
PRINTABLE = [chr(c) for c in [*range(0x20, 0x7F), *range(0xA0, 0x100)]]
BLANK = " \xa0"


class FontFileTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.font = TTFont(str(FONT_PATH))
        cls.cmap = cls.font.getBestCmap()

    def test_every_printable_character_has_a_glyph_that_advances(self):
        for ch in PRINTABLE:
            with self.subTest(char="U+%04X" % ord(ch)):
                name = self.cmap.get(ord(ch), ".notdef")
                self.assertNotEqual(name, ".notdef")
                self.assertGreater(self.font["hmtx"][name][0], 0)

    def test_accented_letters_are_composites_of_their_base_letter(self):
        glyf = self.font["glyf"]
        for ch in PRINTABLE:
            base = unicodedata.normalize("NFD", ch)
            if len(base) == 1:
                continue
            with self.subTest(char=ch):
                glyph = glyf[self.cmap[ord(ch)]]
                self.assertTrue(glyph.isComposite())
                # the accent takes the place of i's dot
                expected = "dotlessi" if base[0] == "i" else self.cmap[ord(base[0])]
                self.assertEqual(glyph.components[0].glyphName, expected)

    def test_vertical_metrics_agree_and_hold_every_glyph(self):
        head, hhea, os2, glyf = (self.font[t] for t in ("head", "hhea", "OS/2", "glyf"))
        self.assertEqual((os2.sTypoAscender, os2.usWinAscent), (hhea.ascent, hhea.ascent))
        self.assertEqual((os2.sTypoDescender, -os2.usWinDescent), (hhea.descent, hhea.descent))
        self.assertEqual(os2.sTypoLineGap, hhea.lineGap)
        inked = [glyf[n] for n in self.font.getGlyphOrder() if glyf[n].numberOfContours]
        for glyph in inked:
            glyph.recalcBounds(glyf)
        top, bottom = max(g.yMax for g in inked), min(g.yMin for g in inked)
        self.assertEqual((head.yMax, head.yMin), (top, bottom))
        # renderers clip what reaches beyond the win metrics
        self.assertLessEqual(top, os2.usWinAscent)
        self.assertLessEqual(-bottom, os2.usWinDescent)

    def test_ots_accepts_the_font_without_complaint(self):
        ots = shutil.which("ots-sanitize")
        self.assertIsNotNone(ots, "ots-sanitize (Debian opentype-sanitizer) is missing")
        result = subprocess.run([ots, str(FONT_PATH)], capture_output=True, text=True)
        output = result.stdout + result.stderr
        self.assertEqual(result.returncode, 0, output)
        self.assertNotRegex(output.lower(), "warn|error|fail|drop")


class SdlTtfTest(unittest.TestCase):
    """Measures and renders as the show does: SDL_ttf 2.0, 50 pt, Latin-1 solid text."""

    @classmethod
    def setUpClass(cls):
        cls.sdl = Font(FONT_PATH, 50)

    def test_title_and_every_scroller_window_fit_the_frame(self):
        w, h = self.sdl.size("Happy XMAS")
        self.assertTrue(300 <= w <= 440, w)
        self.assertLessEqual(h, 90)
        for p in range(len(SCROLLER)):
            with self.subTest(window=SCROLLER[p:p + 18]):
                self.assertLessEqual(self.sdl.size(SCROLLER[p:p + 18])[0], 560)

    def test_characters_render_with_ink_and_to_distinct_bitmaps(self):
        # Catches an umlaut lost against its plain letter, O against 0, l against 1 and I.
        # The soft hyphen is meant to look like the hyphen.
        seen = {}
        for ch in PRINTABLE:
            bitmap = tuple(map(tuple, self.sdl.solid(ch)))
            with self.subTest(char="U+%04X" % ord(ch)):
                self.assertEqual(any(map(any, bitmap)), ch not in BLANK, "ink only on visible characters")
                if ch not in BLANK + "\xad":
                    self.assertNotIn(bitmap, seen, "looks like %r" % seen.get(bitmap))
                    seen[bitmap] = ch


if __name__ == "__main__":
    unittest.main()
