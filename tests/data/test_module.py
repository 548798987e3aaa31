"""Checks the MOD writer's and the score's refusals, the harmony under the tune, and that
xmas.mod loops seamlessly, evenly loud and balanced, in tune and uncut, through the show's
mixer."""
import contextlib
import io
import re
import struct
import subprocess
import tempfile
import unittest
from collections import namedtuple
from pathlib import Path

import numpy as np

import listen
import make_module
import modwriter as mw
import score
from harness import DATA

MODULE = DATA / "xmas.mod"
HEADER = 1084  # title, 31 sample headers, song length, restart byte, 128 orders, the tag
CHANNEL_TAGS = {b"M.K.": 4, b"6CHN": 6, b"8CHN": 8}
DRUMS = {"kick", "woodblock", "brush"}
RATE = listen.RATE
# Strong-beat melody notes outside the sounding chord, each as usually harmonised.
PASSING = {("jingle", 7): "A over G7: the ninth", ("jingle2", 7): "the same in the last refrain"}
CHORD_TONES = {"pad maj": (0, 4, 7), "pad min": (0, 3, 7), "pad 7": (0, 4, 7, 10)}
Refusal = namedtuple("Refusal", "line message")
BAR = "melody | c4:1 |\nchords | C:1 |\nbass | c2:1 |\nbells | S............... |\n"
SCORE = "[a]\nmeter 4/4\ntempo 100\n%s\n" + BAR + "[b]\n" + BAR


def read_mod(data):
    """Independent reader: the samples as (data, loop start, loop length, name), every note
    struck as (seconds, channel, sample, period) in playing order, and the song's length in
    seconds."""
    orders, samples = data[952:952 + data[950]], []
    channels = CHANNEL_TAGS[data[1080:HEADER]]
    size = 64 * 4 * channels  # a pattern's bytes
    pos = HEADER + (max(orders) + 1) * size
    for i in range(31):
        name = data[20 + 30 * i:42 + 30 * i].rstrip(b"\0").decode("latin-1")
        words, rep, replen = struct.unpack(">H2xHH", data[42 + 30 * i:50 + 30 * i])
        samples.append((data[pos:pos + words * 2], rep * 2, replen * 2 if replen > 1 else 0,
                        name))
        pos += words * 2
    t, speed, tempo, start, notes = 0.0, 6, 125, 0, []
    for o in orders:
        for row in range(start, 64):
            cells = [(b0 & 0xF0 | b2 >> 4, (b0 & 15) << 8 | b1, b2 & 15, b3) for b0, b1, b2, b3
                     in struct.iter_unpack("4B", data[HEADER + o * size + row * 4 * channels:]
                                           [:4 * channels])]
            notes += [(t, c, smp, per) for c, (smp, per, _, _) in enumerate(cells) if smp and per]
            for _, _, fx, p in cells:
                speed = p if fx == 0xF and p < 32 else speed
                tempo = p if fx == 0xF and p > 32 else tempo
            t += mw.row_seconds(speed, tempo)
            start = next(((p >> 4) * 10 + (p & 15) for _, _, fx, p in cells
                          if fx == mw.FX_PATTERN_BREAK), None)
            if start is not None:
                break
        start = start or 0
    return samples, notes, t


class Sources(unittest.TestCase):
    def test_writer_refuses_what_players_disagree_on(self):
        def module(cell=mw.Cell(), data=b"\0\0" + bytes(30), width=4, **loop):  # cell fills it
            return mw.Module("t", [mw.Sample("x", data, **loop)], [[[cell] * width] * 64], [0])
        module(mw.Cell(1, 428, 0xF, 0x1F), loop_start=8, loop_length=24).to_bytes()  # the edge
        for why, mod in {"period off the table": module(mw.Cell(1, 430)),
                         "F00": module(mw.Cell(0, 0, 0xF, 0)),
                         "F20": module(mw.Cell(0, 0, 0xF, 0x20)),
                         "no leading zeros": module(data=b"\0\1" + bytes(30)),
                         "loop past the end": module(loop_start=8, loop_length=26),
                         "five channels": module(width=5)}.items():
            with self.subTest(why):
                self.assertRaises(mw.ModuleError, mod.to_bytes)

    def test_score_refusals_name_the_line_and_write_nothing(self):
        for case in (Refusal("melody | h4:1 |", "bad pitch 'h4'"),
                     Refusal("melody | c4:3 |", "bad length '3'"),
                     Refusal("melody | c4:2 |", "bar 'c4:2' lasts 8 sixteenths, not 16"),
                     Refusal("chords | H:1 |", "bad chord 'H'"),
                     Refusal("bass | c7:1 |", "note c7 is outside the tracker's three octaves"),
                     Refusal("volume melody 65", "volume must be a whole number from 0 to 64"),
                     Refusal("tempo 100 90 80", "[a] tempo steps do not share its 16 rows evenly"),
                     Refusal("meter 5/7", "meter 5/7 does not fill"),
                     Refusal("side up", "side needs left or right"),
                     Refusal("bells | S... |", "bells bar 'S...' is not 16"),
                     Refusal("sound melody tuba", "sound needs one of melody, echo, counter"),
                     Refusal("loud 3", "unknown word 'loud'")):
            with self.subTest(case.line), tempfile.TemporaryDirectory() as tmp, \
                    contextlib.redirect_stderr(io.StringIO()) as err:
                Path(tmp, "score.txt").write_text(SCORE % case.line)
                status = make_module.main(["make_module.py", tmp + "/x.mod", tmp + "/score.txt"])
                self.assertEqual((status, Path(tmp, "x.mod").exists()), (1, False), err.getvalue())
                self.assertRegex(err.getvalue(), r"txt: line \d+: .*" + re.escape(case.message))

    def test_strong_beats_sound_chord_tones(self):
        # the tune and the counter-line on every strong beat, the bass there and wherever the
        # pad strikes a chord: so the bass never moves to the next chord before the pad
        for sec in make_module.read_score():
            chords = [(r, c) for r, c, _ in score.timed(sec.bars["chords"], sec.bar_rows) if c]
            for line in ("melody", "counter", "bass"):
                pad_rows = {r for r, _ in chords} if line == "bass" else ()
                for row, note in strong_notes(sec, line, pad_rows):
                    sample, root = chord_at(chords, row, sec.bar_rows)
                    tone = (note + score.LINE_BASES[line] - root - score.PAD_BASE) % 12
                    bar = row // sec.bar_rows + 1
                    with self.subTest(sec.name, line=line, bar=bar, row=row % sec.bar_rows):
                        if (sec.name, bar) not in PASSING or line != "melody":
                            self.assertIn(tone, CHORD_TONES[sample])

    def test_bass_sounds_each_new_chord_of_the_pad(self):
        # where the pad changes chord, the bass note sounding there (struck then or held)
        # belongs to the new chord: the bass does not lag behind the pad either
        for sec in make_module.read_score():
            chords = [(r, c) for r, c, _ in score.timed(sec.bars["chords"], sec.bar_rows) if c]
            bass = score.timed(sec.bars["bass"], sec.bar_rows)
            changes = [(r, c) for (r, c), (_, before) in zip(chords, [(0, None)] + chords)
                       if c != before]
            for row, (sample, root) in changes:
                note = [n for r, n, _ in bass if r <= row][-1]
                with self.subTest(sec.name, bar=row // sec.bar_rows + 1, row=row % sec.bar_rows):
                    if note is not None:
                        tone = (note + score.BASS_BASE - root - score.PAD_BASE) % 12
                        self.assertIn(tone, CHORD_TONES[sample])

    def test_counter_line_moves_against_the_tune(self):
        # from one strong beat to the next the counter-line moves the other way, or one of the
        # two holds, at least three times in four
        for sec in make_module.read_score():
            if not sec.bars["counter"]:
                continue
            tune = dict(sounding(sec, "melody"))
            counter = dict(sounding(sec, "counter"))
            beats = [r for r in sorted(counter) if counter[r] is not None and tune.get(r)]
            moves = [(tune[b] - tune[a]) * (counter[b] - counter[a])
                     for a, b in zip(beats, beats[1:])]
            with self.subTest(sec.name):
                self.assertGreaterEqual(sum(m <= 0 for m in moves), 0.75 * len(moves), moves)

    def test_echo_and_counter_line_sound_unlike_the_tune(self):
        for sec in make_module.read_score():
            sound = {line: sec.sound.get(line, score.SMP_CELESTA) for line in score.SOUNDED_LINES}
            for line in ("echo", "counter"):
                if any(note for bar in sec.bars[line] for _, note in bar):
                    with self.subTest(sec.name, line=line):
                        self.assertNotEqual(sound[line], sound["melody"])


def middle_row(sec):
    """The row of a bar's second strong beat: its middle in 4/4 and 6/8, none otherwise."""
    return sec.bar_rows // 2 if sec.meter[0] in (4, 6) else 0


def strong_notes(sec, line, extra_rows=()):
    """(row, note) of the line's notes struck on a strong beat or on one of `extra_rows`."""
    strong = (0, middle_row(sec))
    return [(row, note) for row, note, _ in score.timed(sec.bars[line], sec.bar_rows)
            if note is not None and (row % sec.bar_rows in strong or row in extra_rows)]


def sounding(sec, line):
    """(row, note or None) on each strong beat: the line's note sounding there."""
    events = score.timed(sec.bars[line], sec.bar_rows)
    rows = range(0, sec.rows, sec.bar_rows // 2 if middle_row(sec) else sec.bar_rows)
    return [(r, [n for e, n, _ in events if e <= r][-1]) for r in rows]


def chord_at(chords, row, bar_rows):
    """The chord struck by `row` in its bar, or, on a beat left to the bass, the bar's first."""
    in_bar = [(r, c) for r, c in chords if r // bar_rows == row // bar_rows]
    return ([c for r, c in in_bar if r <= row] or [in_bar[0][1]])[-1]


class CommittedModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples, cls.notes, cls.seconds = read_mod(MODULE.read_bytes())
        # three plays, as SDL_mixer repeats it for the show; every check shares this one render
        cls.pcm = listen.three_plays(MODULE)

    def test_players_agree_on_the_length_and_it_does_not_clip(self):
        out = subprocess.run(["openmpt123", "--info", str(MODULE)],
                             capture_output=True, text=True).stdout
        mins, secs = re.search(r"Duration\.*: (\d+):([\d.]+)", out).groups()
        xmp = subprocess.run(["xmp", "--load-only", str(MODULE)],
                             capture_output=True, text=True).stderr
        xmins, xsecs = re.search(r"Duration\s*: (\d+)min(\d+)s", xmp).groups()  # whole seconds
        lengths = [int(mins) * 60 + float(secs), int(xmins) * 60 + int(xsecs),
                   len(self.pcm) / 3 / RATE, self.seconds]
        self.assertTrue(360 <= lengths[0] <= 540 and max(lengths) / min(lengths) < 1.02, lengths)
        self.assertLess(listen.peak_dbfs(self.pcm), -1, "peak above -1 dBFS")

    def test_restart_is_seamless(self):
        # each pass starts on a mixer chunk: the three are equally long, and a restart steps no
        # further from one sample to the next than the music does in the 10 ms before it
        for restart in (len(self.pcm) // 3, len(self.pcm) * 2 // 3):
            steps = listen.frame_steps(self.pcm[restart - RATE // 100 - 2:restart + 2])
            self.assertLessEqual(steps[-4:].max(), 2 * steps[:-4].max(), "a click at the restart")
            # and the song ends just before a chunk, so no gap opens until the next one starts it
            around = self.pcm[restart - 2 * RATE:restart + 2 * RATE]
            self.assertGreater(listen.quietest_dbfs(around, RATE // 20), -32, "a gap there")

    def test_medley_is_even_and_balanced_without_a_click(self):
        power = listen.sub_block_power(self.pcm)
        self.assertAlmostEqual(listen.integrated(power), -18, delta=2)
        self.assertAlmostEqual(listen.balance(power), 0, delta=1, msg="L-R of the whole")
        rows = listen.sections(self.pcm, power, make_module.section_times(), passes=3)
        for name, first, _, _, balance, jump in rows[1:]:  # none into the very first row
            with self.subTest(name, at=round(first, 1)):
                self.assertLessEqual(abs(jump), 5, "momentary loudness jumps into it")
                if not name.startswith(("intro", "bridge", "turnaround")):
                    self.assertAlmostEqual(balance, 0, delta=3, msg="L-R")
        # no stretch that sounds as if the music stopped, and no swell that startles
        with self.subTest("short-term floor"):
            floor, at = listen.short_term_floor(power)
            self.assertGreaterEqual(floor, -26, "the quietest 3 s, at %.1f s" % at)
        with self.subTest("rise within 500 ms"):
            rise, at = listen.largest_rise(power)
            self.assertLessEqual(rise, 8, "momentary loudness rising at %.1f s" % at)
        clicks = listen.clicks(self.pcm) / RATE
        self.assertEqual(len(clicks), 0, "steps standing out at %s s" % np.round(clicks[:20], 3))

    def test_no_note_outlasts_an_unlooped_sample(self):
        # melody and pad (channels 1 and 2 on either side) hold their notes
        sustained, ends = {smp for _, c, smp, _ in self.notes if c < 2}, {}
        for t, c, smp, period in reversed(self.notes):
            data, _, loop, _ = self.samples[smp - 1]
            sounds = len(data) / (mw.CLOCK_RATE / period) if not loop else float("inf")
            with self.subTest(at=round(t, 2), channel=c):
                self.assertFalse(smp in sustained and ends.get(c, self.seconds) - t > sounds)
            ends[c] = t

    def test_drums_beat_every_bar_of_the_quick_carols_and_nowhere_else(self):
        # each hit of the score struck within its section; a hit in every bar of the quick
        # carols, none in the lullaby, the hymns, the bridges and the intro
        drums = [t for t, _, smp, _ in self.notes if self.samples[smp - 1][3] in DRUMS]
        for sec, (name, first, last) in zip(make_module.read_score(), make_module.section_times()):
            hits = [sum(c != "." for c in bar) for bar in sec.bars["drums"]]
            with self.subTest(sec.name):
                self.assertEqual((name, sum(first <= t < last for t in drums)),
                                 (sec.name, sum(hits)), "the drums struck in the module")
                if name.startswith(("kling", "kinderlein", "morgen", "jingle")):
                    self.assertEqual(len(hits), len(sec.bars["melody"]), "drums missing")
                    self.assertGreater(min(hits), 0, "a bar without a beat")
                else:
                    self.assertEqual(sum(hits), 0, "drums outside the quick carols")

    def test_pad_chords_are_equal_tempered(self):
        pads = {smp for _, c, smp, _ in self.notes if c < 2 and self.samples[smp - 1][2] > 4096}
        for smp in sorted(pads):  # the long loops of channels 1 and 2
            data, start, length, _ = self.samples[smp - 1]
            spectrum = np.abs(np.fft.rfft(np.frombuffer(data[start:start + length], dtype=np.int8)))
            # the loop holds whole cycles, so every tone is on a bin; each strong bin is one of the
            # first four harmonics of a tone; 32 samples a cycle of the root
            bins = np.nonzero(spectrum > spectrum.max() / 100)[0]
            cents = 1200 * (np.log2(bins * 32 / length)[:, None] - np.log2([1, 2, 3, 4]))
            with self.subTest(sample=smp):
                self.assertLess(np.abs(cents - 100 * np.round(cents / 100)).min(axis=1).max(), 2.0)
