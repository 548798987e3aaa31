#!/usr/bin/python3
"""Builds the PC Snowballs TrueType font from the dot grids in glyphs.txt."""

import math
import sys
from pathlib import Path

from fontTools.agl import UV2AGL
from fontTools.fontBuilder import FontBuilder
from fontTools.misc.timeTools import epoch_diff
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import newTable
from fontTools.ttLib.tables import ttProgram

GLYPH_SOURCE = Path(__file__).resolve().with_name("glyphs.txt")

FAMILY = "PC Snowballs"
STYLE = "Regular"
VERSION = "Version 1.000"
COPYRIGHT = "Copyright Frostfunkel contributors. Dot design made for Frostfunkel."
LICENSE = ("Made for the Frostfunkel greeting show; dedicated to the public domain "
           "under CC0 1.0. Use, change and share it freely.")

UPM = 1000          # 50 pt in SDL_ttf is 50 px per em, so 20 units are one pixel
PITCH = 120         # 6 px from one snowball centre to the next
DOT = 100           # 5 px snowballs leave a 1 px seam between neighbours
LSB = 20            # puts every dot centre on a pixel centre (x and y)
GAP = 100           # blank space after the last column: one empty column
RADIUS = DOT // 2

# Highest and lowest grid rows in use: capital accents reach row 9,
# descenders row -2. The vertical metrics enclose exactly those dots.
TOP_ROW = 9
BOTTOM_ROW = -2
ASCENT = (RADIUS + TOP_ROW * PITCH) + RADIUS          # 1180: top of the highest dot
DESCENT = -((RADIUS + BOTTOM_ROW * PITCH) - RADIUS)   # 240: bottom of the lowest dot
CAP_HEIGHT = 6 * PITCH + DOT                        # 820
X_HEIGHT = 4 * PITCH + DOT                          # 580

# A fixed date (1970-01-01) keeps the bytes identical on every run.
FIXED_TIMESTAMP = -epoch_diff

# FreeType hands TrueType fonts without any hinting program to its auto-hinter,
# which pushes the dots out of round at most sizes. A no-op pre-program
# (PUSHB[1] 0, POP) keeps the outlines exactly as drawn.
PREP_PROGRAM = bytes([0xB0, 0x00, 0x21])


def glyph_name(codepoint):
    return UV2AGL.get(codepoint, "uni%04X" % codepoint)


class GlyphSource:
    """What glyphs.txt defines: the glyph names in file order, the dot grids (name -> (top_row,
    rows)), the composites (name -> (base, mark, up)) and the character map (codepoint -> name)."""

    def __init__(self):
        self.order, self.bitmaps, self.composites, self.cmap = [], {}, {}, {}

    def name_for(self, label, number):
        """The glyph name a header's label stands for; a U+ label also enters the character map."""
        if not label.startswith("U+"):
            return label
        code = int(label[2:], 16)
        if code in self.cmap:
            raise ValueError("line %d: U+%04X defined twice" % (number, code))
        self.cmap[code] = glyph_name(code)
        return self.cmap[code]

    def header(self, line, number):
        """Enters a '= label [top=N]' grid or a '+ label base [mark] [up=N]' composite; returns
        the name of the grid whose rows follow, or None after a composite."""
        fields = line[2:].split()
        opts = dict(f.split("=", 1) for f in fields[1:] if "=" in f)
        words = [f for f in fields[1:] if "=" not in f]
        name = self.name_for(fields[0], number)
        if name in self.bitmaps or name in self.composites:
            raise ValueError("line %d: glyph %s defined twice" % (number, name))
        self.order.append(name)
        if line.startswith("= "):
            self.bitmaps[name] = (int(opts.get("top", 6)), [])
            return name
        mark = words[1] if len(words) > 1 else None
        self.composites[name] = (words[0], mark, int(opts.get("up", 0)))
        return None

    def grid_row(self, line, number, raw, current):
        if current is None or set(line) - set("#."):
            raise ValueError("line %d: unexpected %r" % (number, raw))
        rows = self.bitmaps[current][1]
        if rows and len(line) != len(rows[0]):
            raise ValueError("line %d: row width differs in %s" % (number, current))
        rows.append(line)


def parse_source(text):
    """Reads glyphs.txt: blocks of a header line and, for a grid, its rows of '#' and '.'."""
    source = GlyphSource()
    current = None
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line:
            current = None  # a blank line ends a grid
        elif line.startswith("#") and current is None:
            continue  # comment between blocks; inside a grid '#' is a dot
        elif line.startswith(("= ", "+ ")):
            current = source.header(line, number)
        else:
            source.grid_row(line, number, raw, current)
    return source


def columns(rows):
    return len(rows[0]) if rows else 0


def advance_for(cols):
    return cols * PITCH + GAP


def draw_dot(pen, cx, cy):
    """One snowball: eight quadratic arcs through implied on-curve points.

    The off-curve points sit on the octagon that circumscribes the circle, so
    the implied midpoints land on the circle. Clockwise, as TrueType fills.
    """
    reach = RADIUS / math.cos(math.pi / 8)
    points = []
    for k in range(8):
        angle = math.pi / 8 - k * math.pi / 4
        points.append((round(cx + reach * math.cos(angle)),
                       round(cy + reach * math.sin(angle))))
    pen.qCurveTo(*points, None)
    pen.closePath()


def dot_centre(col, row):
    return LSB + RADIUS + col * PITCH, RADIUS + row * PITCH


def build_bitmap_glyph(top, rows):
    pen = TTGlyphPen(None)
    for r, line in enumerate(rows):
        for c, cell in enumerate(line):
            if cell == "#":
                draw_dot(pen, *dot_centre(c, top - r))
    return pen.glyph()


def draw_glyphs(source, glyph_order):
    """The outlines and advance widths: grids first, then the composites built over them."""
    glyphs, widths, advances = {}, {}, {}
    for name in glyph_order:
        if name in source.bitmaps:
            top, rows = source.bitmaps[name]
            glyphs[name] = build_bitmap_glyph(top, rows)
            widths[name] = columns(rows)
            # marks hang over their base and take no room of their own
            advances[name] = 0 if name.endswith("comb") else advance_for(widths[name])
    for name in glyph_order:
        if name in source.composites:
            glyphs[name], widths[name] = build_composite(source, name, glyphs, widths)
            advances[name] = advance_for(widths[name])
    return glyphs, advances


def build_composite(source, name, glyphs, widths):
    """A base letter and an optional mark, both centred over the wider of the two."""
    base, mark, up = source.composites[name]
    if base not in source.bitmaps or (mark and mark not in source.bitmaps):
        raise ValueError("composite %s needs %s and %s" % (name, base, mark))
    base_cols = widths[base]
    mark_cols = widths[mark] if mark else 0
    cols = max(base_cols, mark_cols)
    pen = TTGlyphPen(glyphs)
    pen.addComponent(base, (1, 0, 0, 1, (cols - base_cols) * PITCH // 2, 0))
    if mark:
        pen.addComponent(mark, (1, 0, 0, 1, (cols - mark_cols) * PITCH // 2, up * PITCH))
    return pen.glyph(), cols


def setup_metrics(fb, glyph_order, advances):
    """hmtx with left side bearings from the real outline bounds; the vertical metrics must
    enclose every dot."""
    glyf = fb.font["glyf"]
    drawn = [glyf[name] for name in glyph_order if glyf[name].numberOfContours]
    bearing = {name: glyf[name].xMin if glyf[name].numberOfContours else 0 for name in glyph_order}
    fb.setupHorizontalMetrics({name: (advances[name], bearing[name]) for name in glyph_order})
    y_max = max(g.yMax for g in drawn)
    y_min = min(g.yMin for g in drawn)
    if y_max > ASCENT or -y_min > DESCENT:
        raise ValueError("glyphs reach %d..%d outside the metrics" % (y_min, y_max))
    fb.setupHorizontalHeader(ascent=ASCENT, descent=-DESCENT, lineGap=0)


def setup_names(fb):
    fb.setupNameTable({
        "copyright": COPYRIGHT,
        "familyName": FAMILY,
        "styleName": STYLE,
        "uniqueFontIdentifier": "Frostfunkel: %s %s 1.000" % (FAMILY, STYLE),
        "fullName": "%s %s" % (FAMILY, STYLE),
        "version": VERSION,
        "psName": FAMILY.replace(" ", "") + "-" + STYLE,
        "manufacturer": "Frostfunkel",
        "designer": "Frostfunkel",
        "description": "Round snowball dots on a 6 pixel grid at 50 pt.",
        "licenseDescription": LICENSE,
        "licenseInfoURL": "https://creativecommons.org/publicdomain/zero/1.0/",
    })


def setup_os2(fb, cmap):
    """OS/2 with the same vertical metrics as hhea, in both the typographic and the win set."""
    fb.setupOS2(
        version=4, achVendID="FFNK", fsType=0, usWeightClass=400, usWidthClass=5,
        fsSelection=0x40 | 0x80,  # REGULAR, USE_TYPO_METRICS
        sTypoAscender=ASCENT, sTypoDescender=-DESCENT, sTypoLineGap=0,
        usWinAscent=ASCENT, usWinDescent=DESCENT,
        sxHeight=X_HEIGHT, sCapHeight=CAP_HEIGHT,
        usDefaultChar=0, usBreakChar=0x20, usMaxContext=0,
        ySubscriptXSize=650, ySubscriptYSize=600, ySubscriptYOffset=75,
        ySuperscriptXSize=650, ySuperscriptYSize=600, ySuperscriptYOffset=350,
        yStrikeoutSize=DOT, yStrikeoutPosition=3 * PITCH,
        ulCodePageRange1=1,  # Latin 1
        ulCodePageRange2=0,
    )
    os2 = fb.font["OS/2"]
    os2.usFirstCharIndex = min(cmap)
    os2.usLastCharIndex = max(cmap)


def setup_hinting(fb):
    prep = newTable("prep")
    prep.program = ttProgram.Program()
    prep.program.fromBytecode(PREP_PROGRAM)
    fb.font["prep"] = prep


def setup_head(fb):
    fb.updateHead(
        created=FIXED_TIMESTAMP,
        modified=FIXED_TIMESTAMP,
        fontRevision=1.0,
        flags=0x000B,   # baseline at y=0, lsb at x=0 semantics, integer ppem
        lowestRecPPEM=8,
    )
    fb.font.recalcTimestamp = False


def build(out_path):
    """The font in FontBuilder's order: glyphs, character map, outlines, metrics, names, OS/2,
    post, maxp, then the hinting program and the head table's fixed dates."""
    source = parse_source(GLYPH_SOURCE.read_text("ascii"))
    glyph_order = [".notdef"] + [n for n in source.order if n != ".notdef"]
    glyphs, advances = draw_glyphs(source, glyph_order)
    fb = FontBuilder(UPM, isTTF=True)
    fb.setupGlyphOrder(glyph_order)
    fb.setupCharacterMap(source.cmap)
    fb.setupGlyf(glyphs)
    setup_metrics(fb, glyph_order, advances)
    setup_names(fb)
    setup_os2(fb, source.cmap)
    fb.setupPost(underlinePosition=-PITCH - RADIUS, underlineThickness=DOT)
    fb.setupMaxp()
    setup_hinting(fb)
    setup_head(fb)
    fb.save(out_path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_font.py OUT.ttf\n")
        return 2
    build(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
