"""Checks the MOD writer's refusals, and that xmas.mod loops seamlessly, in tune and uncut."""
import re
import struct
import subprocess
import tempfile
import unittest

import numpy as np

import modwriter as mw
import render_sdl
from harness import DATA
from modwriter import Cell, Module, ModuleError, Sample

MODULE = DATA / "xmas.mod"
HEADER = 1084  # title, 31 sample headers, song length, restart byte, 128 orders, "M.K."
RATE = 44100


def read_mod(data):
    """Independent reader: the samples as (data, loop start, loop length), every note struck as
    (seconds, channel, sample, period) in playing order, and the song's length in seconds."""
    orders, samples = data[952:952 + data[950]], []
    pos = HEADER + (max(orders) + 1) * 1024
    for i in range(31):
        words, rep, replen = struct.unpack(">H2xHH", data[42 + 30 * i:50 + 30 * i])
        samples.append((data[pos:pos + words * 2], rep * 2, replen * 2 if replen > 1 else 0))
        pos += words * 2
    t, speed, tempo, start, notes = 0.0, 6, 125, 0, []
    for o in orders:
        for row in range(start, 64):
            cells = [(b0 & 0xF0 | b2 >> 4, (b0 & 15) << 8 | b1, b2 & 15, b3) for b0, b1, b2, b3
                     in struct.iter_unpack("4B", data[HEADER + o * 1024 + row * 16:][:16])]
            notes += [(t, c, smp, period)
                      for c, (smp, period, _, _) in enumerate(cells) if smp and period]
            for _, _, fx, p in cells:
                if fx == 0xF:
                    speed, tempo = (p, tempo) if p < 32 else (speed, p)
            t += mw.row_seconds(speed, tempo)
            start = next((mw.pattern_break_row(p)
                          for _, _, fx, p in cells if fx == mw.FX_PATTERN_BREAK), None)
            if start is not None:
                break
        start = start or 0
    return samples, notes, t


class Sources(unittest.TestCase):
    def test_writer_refuses_what_players_disagree_on(self):
        def module(cell=Cell(), data=b"\0\0" + bytes(30), **loop):  # cell fills the one pattern
            return Module("t", [Sample("x", data, **loop)], [[[cell] * 4] * 64], [0])
        module(Cell(1, 428, 0xF, 0x1F), loop_start=8, loop_length=24).to_bytes()  # the edge is fine
        for why, mod in {"period off the table": module(Cell(1, 430)),
                         "F00": module(Cell(0, 0, 0xF, 0x00)),
                         "F20": module(Cell(0, 0, 0xF, 0x20)),
                         "no leading zeros": module(data=b"\0\1" + bytes(30)),
                         "loop past the end": module(loop_start=8, loop_length=26)}.items():
            with self.subTest(why):
                self.assertRaises(ModuleError, mod.to_bytes)


class CommittedModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples, cls.notes, cls.seconds = read_mod(MODULE.read_bytes())
        # three plays, as SDL_mixer repeats it for the show
        with tempfile.TemporaryDirectory() as tmp:
            pcm = render_sdl.render(str(MODULE), tmp + "/x.raw", loops=2)
        cls.pcm = np.frombuffer(pcm, dtype=np.int16).reshape(-1, 2).astype(float) / 32768

    def test_players_agree_on_the_length_and_it_does_not_clip(self):
        out = subprocess.run(["openmpt123", "--info", str(MODULE)],
                             capture_output=True, text=True).stdout
        mins, secs = re.search(r"Duration\.*: (\d+):([\d.]+)", out).groups()
        xmp = subprocess.run(["xmp", "--load-only", str(MODULE)],
                             capture_output=True, text=True).stderr
        xmins, xsecs = re.search(r"Duration\s*: (\d+)min(\d+)s", xmp).groups()  # whole seconds
        lengths = [int(mins) * 60 + float(secs), int(xmins) * 60 + int(xsecs),
                   len(self.pcm) / 3 / RATE, self.seconds]
        self.assertTrue(150 <= lengths[0] <= 210 and max(lengths) / min(lengths) < 1.02, lengths)
        self.assertLess(np.abs(self.pcm).max(), 10 ** (-1 / 20), "peak above -1 dBFS")

    def test_restart_is_seamless(self):
        # each pass starts on a mixer chunk: the three are equally long, and a restart steps no
        # further from one sample to the next than the music does in the 10 ms before it
        for restart in (len(self.pcm) // 3, len(self.pcm) * 2 // 3):
            before = self.pcm[restart - RATE // 100 - 2:restart + 2]
            steps = np.abs(np.diff(before, axis=0)).max(axis=1)
            self.assertLessEqual(steps[-4:].max(), 2 * steps[:-4].max(), "a click at the restart")
        mono, restart = self.pcm.mean(axis=1), len(self.pcm) // 3

        def db(x):
            return 10 * np.log10(np.mean(x ** 2) + 1e-20)
        # no gap around the restart, and the level on either side alike
        around, window = mono[restart - 2 * RATE:restart + 2 * RATE], RATE // 20
        quietest = min(db(around[i:i + window])
                       for i in range(0, len(around) - window, RATE // 200))
        self.assertGreater(quietest, -40)
        before, after = mono[restart - 3 * RATE:restart], mono[restart:restart + 3 * RATE]
        self.assertLess(abs(db(before) - db(after)), 6)

    def test_no_note_outlasts_an_unlooped_sample(self):
        # the instruments of melody, pad and bass hold their notes; bells are struck and die away
        sustained, ends = {smp for _, c, smp, _ in self.notes if c < 3}, {}
        for t, c, smp, period in reversed(self.notes):
            data, _, loop = self.samples[smp - 1]
            sounds = len(data) / (mw.CLOCK_RATE / period) if not loop else float("inf")
            with self.subTest(at=round(t, 2), channel=c):
                self.assertFalse(smp in sustained and ends.get(c, self.seconds) - t > sounds)
            ends[c] = t

    def test_pad_chords_are_equal_tempered(self):
        for smp in sorted({smp for _, c, smp, _ in self.notes if c == 1}):
            data, start, length = self.samples[smp - 1]
            spectrum = np.abs(np.fft.rfft(np.frombuffer(data[start:start + length], dtype=np.int8)))
            # the loop holds whole cycles, so every tone is on a bin; each strong bin is one of the
            # first four harmonics of a tone; 32 samples a cycle of the root
            bins = np.nonzero(spectrum > spectrum.max() / 100)[0]
            cents = 1200 * (np.log2(bins * 32 / length)[:, None] - np.log2([1, 2, 3, 4]))
            with self.subTest(sample=smp):
                self.assertLess(np.abs(cents - 100 * np.round(cents / 100)).min(axis=1).max(), 2.0)
