"""Checks the MOD writer's byte layout and that data/xmas.mod loads alike in every player."""

import ctypes
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
MUSIC = ROOT / "tools" / "music"
MODULE = ROOT / "data" / "xmas.mod"
sys.path.insert(0, str(MUSIC))

import arrange  # noqa: E402
import modwriter as mw  # noqa: E402
from modwriter import Cell, Module, ModuleError, Sample  # noqa: E402

HEADER = 1084  # title, 31 sample headers, song length, restart byte, 128 orders, "M.K."
PATTERN_BYTES = 64 * 4 * 4


def read_mod(data):
    """Independent reader: header fields, samples, patterns as (sample, period, effect, param)."""
    title = data[:20]
    samples = []
    for i in range(31):
        name, words, fine, vol, rep, replen = struct.unpack(">22sHBBHH", data[20 + 30 * i:50 + 30 * i])
        samples.append(dict(name=name, length=words * 2, finetune=fine, volume=vol,
                            loop_start=rep * 2, loop_length=replen * 2))
    song_length, restart = data[950], data[951]
    orders = list(data[952:1080])
    magic = data[1080:1084]
    npat = max(orders[:song_length]) + 1
    patterns = []
    for p in range(npat):
        rows = []
        for r in range(64):
            cells = []
            for c in range(4):
                o = HEADER + p * PATTERN_BYTES + r * 16 + c * 4
                b0, b1, b2, b3 = data[o:o + 4]
                cells.append(((b0 & 0xF0) | (b2 >> 4), ((b0 & 0x0F) << 8) | b1, b2 & 0x0F, b3))
            rows.append(cells)
        patterns.append(rows)
    pos = HEADER + npat * PATTERN_BYTES
    for s in samples:
        s["data"] = data[pos:pos + s["length"]]
        pos += s["length"]
    return dict(title=title, samples=samples, song_length=song_length, restart=restart,
                orders=orders, magic=magic, patterns=patterns, end=pos)


def small_module():
    s1 = Sample("bell", b"\0\0" + bytes(range(1, 31)), volume=48, finetune=0)
    s2 = Sample("pad", b"\0\0" + bytes(62), volume=20, loop_start=8, loop_length=40)
    pat0 = mw.empty_pattern()
    pat0[0][0] = Cell(1, 856, 0xF, 0x06)
    pat0[0][1] = Cell(2, 113, 0xF, 0x7D)
    pat0[5][3] = Cell(0x12, 428, 0xC, 0x40)
    pat1 = mw.empty_pattern()
    pat1[63][2] = Cell(0, 0, 0xA, 0x04)
    # eighteen samples, so a cell can use one whose number needs the high nibble
    fillers = [Sample("s%d" % n, b"\0\0\0\0") for n in range(3, 19)]
    return Module("tiny", [s1, s2] + fillers, [pat0, pat1], [0, 1, 0])


class WriterLayout(unittest.TestCase):
    def setUp(self):
        self.mod = small_module()
        self.data = self.mod.to_bytes()
        self.parsed = read_mod(self.data)

    def test_header_fields(self):
        p = self.parsed
        self.assertEqual(p["title"], b"tiny" + bytes(16))
        self.assertEqual(p["song_length"], 3)
        self.assertEqual(p["restart"], 0x7F)
        self.assertEqual(p["orders"], [0, 1, 0] + [0] * 125)
        self.assertEqual(p["magic"], b"M.K.")
        self.assertEqual(len(self.data), HEADER + 2 * PATTERN_BYTES + 32 + 64 + 16 * 4)
        self.assertEqual(p["end"], len(self.data))

    def test_sample_headers(self):
        s = self.parsed["samples"]
        cases = [  # slot, name, length, volume, loop start, loop length (bytes)
            (0, b"bell", 32, 48, 0, 2),
            (1, b"pad", 64, 20, 8, 40),
            (17, b"s18", 4, 64, 0, 2),
            (18, b"", 0, 0, 0, 2),
            (30, b"", 0, 0, 0, 2),
        ]
        for slot, name, length, vol, start, loop in cases:
            with self.subTest(slot=slot):
                h = s[slot]
                self.assertEqual(h["name"], name.ljust(22, b"\0"))
                self.assertEqual((h["length"], h["finetune"], h["volume"]), (length, 0, vol))
                self.assertEqual((h["loop_start"], h["loop_length"]), (start, loop))
        self.assertEqual(s[0]["data"], b"\0\0" + bytes(range(1, 31)))

    def test_cell_bits(self):
        cases = [  # pattern, row, channel, (sample, period, effect, param), raw bytes
            (0, 0, 0, (1, 856, 0xF, 0x06), b"\x03\x58\x1F\x06"),
            (0, 0, 1, (2, 113, 0xF, 0x7D), b"\x00\x71\x2F\x7D"),
            (0, 5, 3, (0x12, 428, 0xC, 0x40), b"\x11\xAC\x2C\x40"),
            (1, 63, 2, (0, 0, 0xA, 0x04), b"\x00\x00\x0A\x04"),
            (1, 0, 0, (0, 0, 0, 0), b"\0\0\0\0"),
        ]
        for pat, row, ch, cell, raw in cases:
            with self.subTest(pat=pat, row=row, ch=ch):
                o = HEADER + pat * PATTERN_BYTES + row * 16 + ch * 4
                self.assertEqual(self.data[o:o + 4], raw)
                self.assertEqual(self.parsed["patterns"][pat][row][ch], cell)

    def test_period_table(self):
        self.assertEqual(len(mw.PERIODS), 36)
        self.assertEqual((mw.PERIODS[0], mw.PERIODS[12], mw.PERIODS[24], mw.PERIODS[35]), (856, 428, 214, 113))
        self.assertEqual([mw.note_name(i) for i in (0, 13, 35)], ["C-1", "C#2", "B-3"])
        self.assertTrue(all(a > b for a, b in zip(mw.PERIODS, mw.PERIODS[1:])))

    def test_rejects(self):
        def sample(**kw):
            args = dict(name="x", data=b"\0\0" + bytes(30))
            args.update(kw)
            return Module("t", [Sample(**args)], [mw.empty_pattern()], [0])

        def cell(c):
            pat = mw.empty_pattern()
            pat[3][1] = c
            return Module("t", [Sample("x", b"\0\0" + bytes(30))], [pat], [0])

        cases = {
            "odd length": sample(data=b"\0\0\1"),
            "too long": sample(data=bytes(65536)),
            "no leading zeros": sample(data=b"\0\1" + bytes(30)),
            "loop of two words": sample(loop_start=0, loop_length=4),
            "loop past the end": sample(loop_start=8, loop_length=26),
            "odd loop start": sample(loop_start=3, loop_length=10),
            "volume above 64": sample(volume=65),
            "period off the table": cell(Cell(1, 430)),
            "F00": cell(Cell(0, 0, 0xF, 0x00)),
            "F20": cell(Cell(0, 0, 0xF, 0x20)),
            "position jump": cell(Cell(0, 0, 0xB, 0x00)),
            "undefined sample": cell(Cell(2, 428)),
            "title too long": Module("t" * 21, [], [mw.empty_pattern()], [0]),
            "order to a missing pattern": Module("t", [], [mw.empty_pattern()], [0, 1]),
            "unreachable pattern": Module("t", [], [mw.empty_pattern()] * 2, [0]),
        }
        for why, mod in cases.items():
            with self.subTest(why):
                self.assertRaises(ModuleError, mod.to_bytes)


class Score(unittest.TestCase):
    GOOD = (
        "[a]\nmeter 3/4\ntempo 96\nvolume melody 40\n"
        "melody | f4:8. f4:16 f4:4. g4:8 |\nchords | F:2. |\nbass | f2:2. |\nbells | S...t...t... |\n"
        "[end]\ntempo 120\n"
        "melody | a4:2. |\nchords | C7:2. |\nbass | c2:2. |\nbells | ............ |\n"
    )
    VOLUMES = {i: 64 for i in range(1, 8)}

    def test_parses_and_lays_out(self):
        pats, orders, seconds = arrange.build_patterns(arrange.parse_score(self.GOOD), self.VOLUMES)
        self.assertEqual(orders, [0, 1])
        self.assertAlmostEqual(seconds, 12 * 6 * 2.5 / 96 + 12 * 6 * 2.5 / 120)
        melody = [(p, r, mw.note_name(mw.PERIODS.index(pats[p][r][0].period)))
                  for p in range(2) for r in range(64) if pats[p][r][0].period]
        # the written pitch F4 is the celesta's F-2; the closing section is moved to the end
        # of the last pattern, after a break from the first section's last row to row 52
        self.assertEqual(melody, [(0, 0, "F-2"), (0, 3, "F-2"), (0, 4, "F-2"), (0, 10, "G-2"), (1, 52, "A-2")])
        effects = {(p, r, c.effect, c.param) for p in range(2) for r in range(64) for c in pats[p][r]
                   if c.effect in (0xD, 0xF)}
        self.assertEqual(effects, {(0, 0, 0xF, 6), (0, 0, 0xF, 96), (0, 11, 0xD, 0x52), (1, 52, 0xF, 120)})
        # the section's melody volume rides on each of its notes
        self.assertEqual({(pats[0][r][0].effect, pats[0][r][0].param) for r in (0, 3, 4, 10)}, {(0xC, 40)})

    def test_rejects_bad_scores(self):
        cases = {
            "short bar": ("f4:8. f4:16 f4:4. g4:8", "f4:8. f4:16 f4:4."),
            "dotted sixteenth": ("f4:8. f4:16 f4:4. g4:8", "f4:8. f4:16. f4:4. g4:16"),
            "melody too low": ("f4:8. f4:16 f4:4. g4:8", "f2:8. f4:16 f4:4. g4:8"),
            "unknown chord": ("F:2.", "Fmaj9:2."),
            "bells too short": ("S...t...t...", "S...t...t.."),
            "missing bar": ("bass | f2:2. |", "bass | |"),
            "volume above 64": ("volume melody 40", "volume melody 65"),
            "volume for the bells": ("volume melody 40", "volume bells 40"),
        }
        for why, (old, new) in cases.items():
            with self.subTest(why):
                text = self.GOOD.replace(old, new)
                with self.assertRaises(ValueError):
                    arrange.build_patterns(arrange.parse_score(text), self.VOLUMES)


def run_player(cmd):
    if not shutil.which(cmd[0]):
        raise unittest.SkipTest(cmd[0] + " is not installed")
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60).stdout


def field(text, pattern):
    m = re.search(pattern, text)
    if not m:
        raise AssertionError("no match for %r in:\n%s" % (pattern, text))
    return m


def openmpt_info(path):
    """(seconds, channels) as libopenmpt reads the module."""
    out = run_player(["openmpt123", "--info", str(path)])
    m = field(out, r"Duration\.*: (?:(\d+):)?(\d+):(\d+(?:\.\d+)?)")
    seconds = int(m.group(1) or 0) * 3600 + int(m.group(2)) * 60 + float(m.group(3))
    return seconds, int(field(out, r"Channels\.*: (\d+)").group(1))


def xmp_info(path):
    """(seconds, channels) as libxmp reads the module; it prints whole seconds."""
    out = run_player(["xmp", "--load-only", str(path)])
    m = field(out, r"Duration\s*: (?:(\d+)min)?(\d+)s")
    return int(m.group(1) or 0) * 60 + int(m.group(2)), int(field(out, r"Channels\s*: (\d+)").group(1))


class CommittedModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = MODULE.read_bytes()
        cls.mod = read_mod(cls.data)

    def test_file_layout(self):
        m = self.mod
        used = m["song_length"]
        self.assertEqual(m["magic"], b"M.K.")
        self.assertEqual(m["restart"], 0x7F)
        self.assertTrue(1 <= used <= 128)
        self.assertEqual(m["orders"][used:], [0] * (128 - used))
        self.assertEqual(len(m["patterns"]), max(m["orders"]) + 1)
        self.assertEqual(m["end"], len(self.data), "bytes after the last sample")
        self.assertLessEqual(len(self.data), 250 * 1024)

    def test_ends_silent(self):
        """The show restarts the module when it ends: every channel is at volume 0 by then."""
        last = self.mod["patterns"][self.mod["orders"][self.mod["song_length"] - 1]][63]
        self.assertEqual([(eff, par) for _, _, eff, par in last], [(0xC, 0)] * 4)

    def test_samples(self):
        used = [s for s in self.mod["samples"] if s["length"]]
        self.assertGreaterEqual(len(used), 4)
        for i, s in enumerate(used):
            with self.subTest(sample=s["name"].rstrip(b"\0")):
                self.assertLessEqual(s["length"], 65534)
                self.assertEqual(s["data"][:2], b"\0\0")
                self.assertLessEqual(s["volume"], 64)
                self.assertEqual(s["finetune"], 0)
                if s["loop_length"] > 2:
                    self.assertGreater(s["loop_length"], 4)
                    self.assertLessEqual(s["loop_start"] + s["loop_length"], s["length"])
                else:
                    self.assertEqual((s["loop_start"], s["loop_length"]), (0, 2))
        self.assertTrue(any(s["loop_length"] > 2 for s in used), "the pad should sustain on a loop")

    def test_cells(self):
        seen = set()
        for p, pat in enumerate(self.mod["patterns"]):
            for r, row in enumerate(pat):
                for c, (smp, per, eff, par) in enumerate(row):
                    where = "pattern %d row %d channel %d" % (p, r, c + 1)
                    if per:
                        self.assertIn(per, mw.PERIOD_SET, where)
                        seen.add(per)
                    self.assertLessEqual(smp, 31, where)
                    if smp:
                        self.assertTrue(self.mod["samples"][smp - 1]["length"], where + ": empty sample")
                    self.assertNotEqual(eff, 0xB, where + ": position jump")
                    if eff == 0xF:
                        self.assertNotIn(par, (0x00, 0x20), where)
                    if eff == 0xC:
                        self.assertLessEqual(par, 64, where)
        self.assertGreater(len(seen), 12, "expected melody, bass and chords")

    def test_players_agree(self):
        (mpt, mpt_ch), (xmp, xmp_ch) = openmpt_info(MODULE), xmp_info(MODULE)
        self.assertEqual((mpt_ch, xmp_ch), (4, 4))
        for secs in (mpt, xmp):
            self.assertTrue(60 <= secs <= 180, secs)
        self.assertLess(abs(mpt - xmp) / mpt, 0.02, (mpt, xmp))

    def test_sdl_mixer_render(self):
        """Plays the module once as the show does; length must agree and the mix must not clip."""
        try:
            ctypes.CDLL("libSDL_mixer-1.2.so.0")
        except OSError:
            self.skipTest("SDL_mixer 1.2 is not installed")
        import render_sdl
        with tempfile.TemporaryDirectory() as tmp:
            pcm = render_sdl.render(str(MODULE), os.path.join(tmp, "x.raw"))
        seconds = len(pcm) / 2 / 44100
        mpt = openmpt_info(MODULE)[0]
        self.assertLess(abs(seconds - mpt) / mpt, 0.02, (seconds, mpt))
        peak = max(max(pcm), -min(pcm))
        self.assertLess(peak, 32767 * 10 ** (-1 / 20), "peak above -1 dBFS")
        # the last tenth of a second is silent, so the show's restart cannot click
        self.assertLess(max(abs(v) for v in pcm[-2 * 4410:]), 64)


if __name__ == "__main__":
    unittest.main()
