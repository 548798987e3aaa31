"""Checks the MOD writer's byte layout and that data/xmas.mod loads alike in every player."""

import os
import re
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
MODULE = ROOT / "data" / "xmas.mod"
import arrange
import modwriter as mw
import render_sdl
from modwriter import Cell, Module, ModuleError, Sample

HEADER = 1084  # title, 31 sample headers, song length, restart byte, 128 orders, "M.K."


def read_mod(data):
    """Independent reader: song length, orders, samples, cells as (sample, period, effect, param)."""
    length, orders = data[950], list(data[952:1080])
    count = max(orders[:length]) + 1
    cells = []  # pattern by pattern, row by row, channel by channel
    for o in range(HEADER, HEADER + count * 1024, 4):
        b0, b1, b2, b3 = data[o:o + 4]
        cells.append(((b0 & 0xF0) | b2 >> 4, (b0 & 0x0F) << 8 | b1, b2 & 0x0F, b3))
    samples, pos = [], HEADER + count * 1024
    for i in range(31):
        words, rep, replen = struct.unpack(">H2xHH", data[42 + 30 * i:50 + 30 * i])
        samples.append(dict(data=data[pos:pos + words * 2], loop=(rep * 2, replen * 2)))
        pos += words * 2
    return dict(length=length, orders=orders, cells=cells, samples=samples, end=pos)


class Writer(unittest.TestCase):
    def test_byte_layout(self):
        pat0 = mw.empty_pattern()
        pat0[0][0], pat0[0][1] = Cell(1, 856, 0xF, 0x06), Cell(2, 113, 0xF, 0x7D)
        pat0[5][3] = Cell(0x12, 428, 0xC, 0x40)  # sample 18 needs the high nibble
        samples = [Sample("bell", b"\0\0" + bytes(range(1, 31)), volume=48),
                   Sample("pad", b"\0\0" + bytes(62), volume=20, loop_start=8, loop_length=40)]
        samples += [Sample("s%d" % n, b"\0\0\0\0") for n in range(3, 19)]
        data = Module("tiny", samples, [pat0, mw.empty_pattern()], [0, 1, 0]).to_bytes()
        layout = [  # offset, bytes the writer must put there
            (0, b"tiny" + bytes(16)),
            (20, b"bell".ljust(22, b"\0") + bytes((0, 16, 0, 48, 0, 0, 0, 1))),  # no loop: 0, 1 word
            (50, b"pad".ljust(22, b"\0") + bytes((0, 32, 0, 20, 0, 4, 0, 20))),  # loop in words
            (20 + 18 * 30, bytes(22) + bytes((0, 0, 0, 0, 0, 0, 0, 1))),  # unused slot
            (950, bytes((3, 0x7F, 0, 1, 0)) + bytes(125) + b"M.K."),
            (HEADER, b"\x03\x58\x1F\x06\x00\x71\x2F\x7D"),
            (HEADER + 5 * 16 + 12, b"\x11\xAC\x2C\x40"),
            (HEADER + 2048, b"\0\0" + bytes(range(1, 31)) + b"\0\0" + bytes(62)),
        ]
        for offset, expected in layout:
            with self.subTest(offset=offset):
                self.assertEqual(data[offset:offset + len(expected)], expected)
        parsed = read_mod(data)  # the reader the committed module is checked with
        self.assertEqual((parsed["cells"][5 * 4 + 3], parsed["samples"][1]["loop"], parsed["end"], len(data)),
                         ((0x12, 428, 0xC, 0x40), (8, 40), HEADER + 2048 + 160, HEADER + 2048 + 160))

    def test_periods_are_three_equal_tempered_octaves_from_c1(self):
        # ProTracker's table is 856 / 2^(n/12) off by at most 1.41; a wrong digit lands further out
        for n, p in enumerate(mw.PERIODS):
            self.assertLess(abs(p - 856 / 2 ** (n / 12)), 1.5, "note %d: %d" % (n, p))

    def test_refuses_what_players_disagree_on(self):
        def module(cell=Cell(), data=b"\0\0" + bytes(30), **loop):  # cell fills the one pattern
            return Module("t", [Sample("x", data, **loop)], [[[cell] * 4] * 64], [0])
        module(Cell(1, 428, 0xF, 0x1F), loop_start=8, loop_length=24).to_bytes()  # the edge is fine
        cases = {
            "period off the table": module(Cell(1, 430)),
            "F00": module(Cell(0, 0, 0xF, 0x00)),
            "F20": module(Cell(0, 0, 0xF, 0x20)),
            "no leading zeros": module(data=b"\0\1" + bytes(30)),
            "loop past the end": module(loop_start=8, loop_length=26),
        }
        for why, mod in cases.items():
            with self.subTest(why):
                self.assertRaises(ModuleError, mod.to_bytes)


class Score(unittest.TestCase):
    GOOD = ("[a]\nmeter 3/4\ntempo 96\nvolume melody 40\n"
            "melody | f4:8. f4:16 f4:4. g4:8 |\nchords | F:2. |\nbass | f2:2. |\nbells | S...t...t... |\n"
            "[end]\ntempo 120\nmelody | a4:2. |\nchords | C7:2. |\nbass | c2:2. |\nbells | ............ |\n")

    def test_lays_out_notes_tempi_and_the_closing_break(self):
        pats = arrange.build_patterns(arrange.parse_score(self.GOOD), dict.fromkeys(range(1, 8), 64))[0]
        melody = [(p, r, mw.PERIODS.index(c.period), c.effect, c.param)
                  for p in range(2) for r in range(64) for c in [pats[p][r][0]] if c.period]
        # written F4 is the celesta's F-2 (note 17) at the section's volume 40; the closing
        # section ends the last pattern, reached by a break from the first section's last row
        self.assertEqual(melody, [(0, 0, 17, 0xC, 40), (0, 3, 17, 0xC, 40), (0, 4, 17, 0xC, 40),
                                  (0, 10, 19, 0xC, 40), (1, 52, 21, 0, 0)])
        effects = {(p, r, c.effect, c.param) for p in range(2) for r in range(64) for c in pats[p][r]
                   if c.effect in (0xD, 0xF)}
        self.assertEqual(effects, {(0, 0, 0xF, 6), (0, 0, 0xF, 96), (0, 11, 0xD, 0x52), (1, 52, 0xF, 120)})


class CommittedModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = MODULE.read_bytes()
        cls.mod = read_mod(cls.data)

    def test_layout_samples_and_cells(self):
        m = self.mod
        self.assertEqual((self.data[951], self.data[1080:1084]), (0x7F, b"M.K."))
        self.assertEqual(m["orders"][m["length"]:], [0] * (128 - m["length"]))
        self.assertEqual(m["end"], len(self.data), "sample data misplaced")
        for i, s in enumerate(m["samples"]):
            if s["data"]:
                with self.subTest(sample=i + 1):
                    self.assertEqual(s["data"][:2], b"\0\0")
                    self.assertLessEqual(len(s["data"]), 65534)
                    self.assertLessEqual(sum(s["loop"]), len(s["data"]))
        cells = m["cells"]
        self.assertEqual({c[1] for c in cells} - set(mw.PERIODS) - {0}, set(), "periods off the table")
        self.assertEqual({c[2:] for c in cells} & {(0xF, 0x00), (0xF, 0x20)}, set())
        self.assertNotIn(0xB, {c[2] for c in cells}, "position jump")
        # the show restarts the module when it ends: every channel is at volume 0 by then
        last_row = m["orders"][m["length"] - 1] * 256 + 63 * 4
        self.assertEqual([c[2:] for c in cells[last_row:last_row + 4]], [(0xC, 0)] * 4)

    def player(self, cmd, duration, channels):
        # (seconds, channels) as the player prints them; xmp prints whole seconds
        out = subprocess.run(cmd + [str(MODULE)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, timeout=60).stdout
        found = [re.search(pattern, out) for pattern in (duration, channels)]
        self.assertTrue(all(found), out)
        mins, secs = (float(g or 0) for g in found[0].groups())
        return mins * 60 + secs, int(found[1].group(1))

    def test_players_agree(self):
        """openmpt123, xmp and the show's SDL_mixer: 4 channels, one length, no clipping, a silent tail."""
        mpt = self.player(["openmpt123", "--info"], r"Duration\.*: (\d+):([\d.]+)", r"Channels\.*: (\d+)")
        xmp = self.player(["xmp", "--load-only"], r"Duration\s*: (?:(\d+)min)?(\d+)s", r"Channels\s*: (\d+)")
        with tempfile.TemporaryDirectory() as tmp:
            pcm = render_sdl.render(str(MODULE), os.path.join(tmp, "x.raw"))
        self.assertEqual((mpt[1], xmp[1]), (4, 4))
        self.assertTrue(60 <= mpt[0] <= 180, mpt)
        for player, secs in (("xmp", xmp[0]), ("SDL_mixer", len(pcm) / 2 / 44100)):
            self.assertLess(abs(secs - mpt[0]) / mpt[0], 0.02, (player, secs, mpt[0]))
        self.assertLess(max(max(pcm), -min(pcm)), 32767 * 10 ** (-1 / 20), "peak above -1 dBFS")
        # the last tenth of a second is silent, so the show's restart cannot click
        self.assertLess(max(abs(v) for v in pcm[-2 * 4410:]), 64)


if __name__ == "__main__":
    unittest.main()
