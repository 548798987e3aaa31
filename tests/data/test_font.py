"""Checks the PC Snowballs font: metrics, sanitizer, and every character as SDL_ttf draws it."""
import shutil
import subprocess
import unittest

from fontTools.ttLib import TTFont

from harness import DATA, Font

FONT_PATH = DATA / "PC_Snowballs.ttf"
BLANK = " \xa0"


class FontFile(unittest.TestCase):
    def test_every_glyph_lies_inside_the_metrics_renderers_clip_to(self):
        # SDL_ttf's line is hhea's; Windows clips to the win metrics. Missing glyphs are caught
        # below, as characters without ink or drawn alike.
        head, hhea, os2 = (TTFont(str(FONT_PATH))[t] for t in ("head", "hhea", "OS/2"))
        self.assertEqual((os2.usWinAscent, -os2.usWinDescent), (hhea.ascent, hhea.descent))
        self.assertTrue(head.yMax <= os2.usWinAscent and -head.yMin <= os2.usWinDescent,
                        (head.yMax, head.yMin, os2.usWinAscent, os2.usWinDescent))

    def test_ots_accepts_the_font_without_complaint(self):
        ots = shutil.which("ots-sanitize")
        self.assertIsNotNone(ots, "ots-sanitize (Debian opentype-sanitizer) is missing")
        result = subprocess.run([ots, str(FONT_PATH)], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotRegex((result.stdout + result.stderr).lower(), "warn|error|fail|drop")

    def test_characters_render_with_ink_and_to_distinct_bitmaps(self):
        # As the show draws them (SDL_ttf 2.0, 50 pt, Latin-1 solid text). Catches an umlaut lost
        # against its plain letter, O against 0, l against 1 and I. The soft hyphen is meant to
        # look like the hyphen. The sizes of the title and the scroller are the picture test's.
        font, seen = Font(FONT_PATH), {}
        for ch in map(chr, [*range(0x20, 0x7F), *range(0xA0, 0x100)]):
            bitmap = tuple(map(tuple, font.solid(ch)))
            with self.subTest(char="U+%04X" % ord(ch)):
                self.assertEqual(any(map(any, bitmap)), ch not in BLANK, "ink only where visible")
                if ch not in BLANK + "\xad":
                    self.assertNotIn(bitmap, seen, "looks like %r" % seen.get(bitmap))
                    seen[bitmap] = ch
