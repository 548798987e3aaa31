"""Lays the checked score out on the song's rows: every voice's notes on its channel and side,
the phrasing's volumes, the bells, the pads, and the tempo and pattern-break controls."""

from collections import namedtuple

import modwriter
from modwriter import Cell
from modwriter import EXT_FINE_VOLUME_DOWN
from modwriter import EXT_NOTE_CUT
from modwriter import EXT_NOTE_DELAY
from modwriter import FX_EXTENDED
from modwriter import FX_PATTERN_BREAK
from modwriter import FX_SET_VOLUME
from modwriter import FX_SPEED
from modwriter import FX_VIBRATO
from modwriter import ModuleError
from score import BASS_BASE
from score import BELL_HITS
from score import HITS
from score import LINES
from score import MELODY_BASE
from score import PAD_BASE
from score import SMP_BASS
from score import SMP_CELESTA
from score import SMP_GLOCKENSPIEL
from score import ScoreError
from score import timed

# Amiga panning puts channels 1, 4 and 5 left, 2, 3 and 6 right: melody, bells (or the echo)
# and drums against pad, bass and the counter-line, or all six mirrored when the melody is on
# the right.
CH_MELODY, CH_PAD, CH_BASS, CH_BELLS, CH_DRUMS, CH_COUNTER = 0, 1, 2, 3, 4, 5
CHANNELS = 6
SPEED = 6  # ticks per row; a row is a sixteenth, so the tempo byte is the quarter-note BPM
# How the show's mixer (libmikmod's high-quality mixer) changes a channel's sound: a new note
# takes over from the one before over GLIDE_FRAMES (1.5 ms), and a volume change of RAMPED_STEP
# or more glides as long, but a smaller change steps at once, which is a click where the wave
# is large. So a note is never faded in small steps: it rings until the next note on its
# channel takes over, or a rest (a change of sides, the song's end) silences it in one step of
# at least RAMPED_STEP.
RAMPED_STEP, FULL_VOLUME = 11, 64
# The struck sounds (celesta, glockenspiel, bass) sustain in a loop; from a note's fifth row on
# it decays a step a row as a struck bar does (a step of one, too small to be heard), but not
# below RAMPED_STEP, so that it can still be silenced smoothly. A flute or clarinet holds its
# breath to the note's end.
DECAY_AFTER, DECAY_STEP = 4, 1
DECAYING = (SMP_CELESTA, SMP_BASS, SMP_GLOCKENSPIEL)
# A singer's vibrato on the long notes of a slow tune: from a note's third row on, for notes of
# a dotted quarter or longer. Speed 12 goes round its 64 steps in about five ticks, four to six
# times a second at the slow carols' tempos; depth 2 swings the period by up to 4, 16 to 32
# cents on the tune's notes.
VIBRATO_ROWS, VIBRATO_AFTER, VIBRATO = 6, 2, 0xC2
ACCENTED = ("melody", "bass")  # the parts the phrasing shapes
# The echo answers the melody from further back, and the counter-line sings beside it, unless
# a section sets their levels.
DEFAULT_VOLUME = {"echo": 30, "counter": 34}
# A pitched line's channel, sample and the written pitch that lands on tracker note C-1.
Voice = namedtuple("Voice", "channel sample base")
# With the melody on the right every voice takes the channel on the other side, so the bass is
# always opposite the melody and both ears keep the same weight.
SIDES = {"left": {}, "right": {CH_MELODY: CH_PAD, CH_PAD: CH_MELODY, CH_BASS: CH_BELLS,
                               CH_BELLS: CH_BASS, CH_DRUMS: CH_COUNTER, CH_COUNTER: CH_DRUMS}}
LINE_VOICES = {"melody": Voice(CH_MELODY, SMP_CELESTA, MELODY_BASE),
               "echo": Voice(CH_BELLS, SMP_CELESTA, MELODY_BASE),
               "bass": Voice(CH_BASS, SMP_BASS, BASS_BASE),
               "counter": Voice(CH_COUNTER, SMP_CELESTA, MELODY_BASE)}


class Timeline:
    """Rows of the whole song; each holds a cell a channel plus control effects to place."""

    def __init__(self, samples):
        self.rows = []
        self.controls = []  # (row, effect, param)
        self.section_starts = []
        self.tempos = []  # (row, tempo) wherever the tempo changes
        self.numbers = {s.name: n for n, s in enumerate(samples, 1)}
        self.sample_names = {n: s.name for n, s in enumerate(samples, 1)}
        self.volumes = {s.name: s.volume for s in samples}
        self.last_pad = None  # (sample, note, volume) of the chord the pad holds
        self.side = "left"

    def add_section(self, sec):
        start = len(self.rows)
        self.section_starts.append((sec.name, start))
        for k, tempo in enumerate(sec.tempo):
            if not self.tempos or self.tempos[-1][1] != tempo:
                self.tempos.append((start + k * sec.rows // len(sec.tempo), tempo))
        self.rows.extend([Cell() for _ in range(CHANNELS)] for _ in range(sec.rows))
        change = sec.side != self.side and start
        if change:
            self.last_pad = None
        self.side = sec.side
        swap = SIDES[sec.side]
        for part in LINES:
            voice = LINE_VOICES[part]
            voice = voice._replace(channel=swap.get(voice.channel, voice.channel),
                                   sample=sec.sound.get(part, voice.sample))
            ends = sec.phrase_ends(part) if part == "melody" else set()
            vibrato = sec.vibrato and part == "melody"
            for row, note, rows in timed(sec.bars[part], sec.bar_rows):
                default = DEFAULT_VOLUME.get(part, self.volumes[voice.sample])
                vol = sec.level(part, row, default)
                if part in ACCENTED:
                    vol *= sec.accent(row, row in ends)
                vol = int(round(vol))
                self.line_note(start + row, rows, voice, note, vol, vibrato)
        for part, ch in (("bells", CH_BELLS), ("drums", CH_DRUMS)):
            self.add_hits(sec, start, part, swap.get(ch, ch))
        pad = swap.get(CH_PAD, CH_PAD)
        self.add_chords(sec, start, Voice(pad, None, PAD_BASE))
        if change:  # where the voices change sides, what still rings stops as the section begins
            for ch in range(CHANNELS):
                if not self.rows[start][ch].sample:
                    self.release(start, ch)

    def close(self):
        """Silences what still rings on the song's last row, on the tick where its late shake
        comes in: the show's player cuts whatever sounds where it starts the song again, and
        the shake carries the sound over that gap."""
        last, cut = len(self.rows) - 1, EXT_NOTE_CUT | BELL_HITS["L"].delay
        for ch, cell in enumerate(self.rows[last]):
            if self.volume_at(last + 1, ch) and self.fadable(cell):
                cell.effect, cell.param = FX_EXTENDED, cut

    def release(self, row, ch):
        """Silences what sounds on channel `ch` at `row`, in one step the mixer smooths."""
        if self.volume_at(row, ch) and self.fadable(self.rows[row][ch]):
            cell = self.rows[row][ch]
            cell.effect, cell.param = FX_SET_VOLUME, 0

    @staticmethod
    def fadable(cell):
        """Whether a cell's effect may give way to a release: none, a decay step or a
        vibrato."""
        decay = cell.effect == FX_EXTENDED and cell.param & 0xF0 == EXT_FINE_VOLUME_DOWN
        return not cell.has_effect() or decay or cell.effect == FX_VIBRATO

    def add_hits(self, sec, start, part, ch):
        """The bells' or the drums' hits of a section on their channel."""
        hits = HITS[part]
        for b, pat in enumerate(sec.bars[part]):
            for i, hit in enumerate(pat):
                if hit in hits:
                    row, bell = start + b * sec.bar_rows + i, hits[hit]
                    if self.rows[row][ch].sample:
                        raise ScoreError("line %d: [%s] bells and echo meet in bar %d"
                                         % (sec.line, sec.name, b + 1))
                    self.strike(row, ch, bell.sample, bell.note, bell.volume)
                    if bell.delay:  # the shake's own volume needs no effect to set it
                        cell = self.rows[row][ch]
                        cell.effect, cell.param = FX_EXTENDED, EXT_NOTE_DELAY | bell.delay
                    self.clear_after(row, ch)

    def add_chords(self, sec, start, voice):
        for row, chord, rows in timed(sec.bars["chords"], sec.bar_rows):
            key = chord and chord + (sec.volume.get("chords"),)
            if key is None or sec.level("chords", row, 1) == 0:
                self.line_note(start + row, rows, voice, None, None)  # the pad is silenced
            elif key != self.last_pad:  # a held chord is not struck again
                vol = sec.level("chords", row, self.volumes[chord[0]])
                self.strike(start + row, voice.channel, chord[0], chord[1], int(round(vol)))
            self.last_pad = key

    def line_note(self, row, rows, voice, note, vol, vibrato=False):
        """A note of a line (or a rest, note None) lasting `rows` rows from `row`: a struck
        sound decays, a held one may sing with vibrato."""
        if note is None:
            self.release(row, voice.channel)
            return
        vol = max(vol, RAMPED_STEP)
        self.strike(row, voice.channel, voice.sample, note, vol)
        if voice.sample not in DECAYING:
            if vibrato and rows >= VIBRATO_ROWS:
                for g in range(row + VIBRATO_AFTER, row + rows):
                    self.effect(g, voice.channel, FX_VIBRATO, VIBRATO)
            return
        decay = min(rows - DECAY_AFTER, (vol - RAMPED_STEP) // DECAY_STEP)
        for g in range(row + DECAY_AFTER, row + DECAY_AFTER + max(decay, 0)):
            self.effect(g, voice.channel, FX_EXTENDED, EXT_FINE_VOLUME_DOWN | DECAY_STEP)

    def volume_at(self, row, ch):
        """The volume of what sounds on `ch` as `row` begins, as the player follows the
        effects written so far (0 for silence)."""
        start = next((g for g in range(row - 1, -1, -1) if self.rows[g][ch].sample), None)
        if start is None:
            return 0
        vol = 0
        for cells in self.rows[start:row]:
            cell = cells[ch]
            vol = self.volumes[self.sample_names[cell.sample]] if cell.sample else vol
            ext = cell.param & 0xF0 if cell.effect == FX_EXTENDED else None
            vol = cell.param if cell.effect == FX_SET_VOLUME else vol
            vol = max(0, vol - (cell.param & 15)) if ext == EXT_FINE_VOLUME_DOWN else vol
            vol = 0 if ext == EXT_NOTE_CUT else vol
        return vol

    def clear_after(self, row, ch):
        """Drops the echo's volume effects after a bell hit, which would fade the bell."""
        for cells in self.rows[row + 1:]:
            if cells[ch].sample or not cells[ch].has_effect():
                break
            cells[ch].effect, cells[ch].param = 0, 0

    def effect(self, row, ch, effect, param):
        """Puts an effect on a cell that has none."""
        cell = self.rows[row][ch]
        if not cell.has_effect():
            cell.effect, cell.param = effect, param

    def strike(self, row, ch, sample, note, vol=None):
        cell = self.rows[row][ch]
        cell.sample, cell.period = self.numbers[sample], modwriter.period(note)
        cell.effect, cell.param = 0, 0
        if vol is not None and vol != self.volumes[sample]:
            cell.effect, cell.param = FX_SET_VOLUME, vol

    def control(self, row, effect, param):
        self.controls.append((row, effect, param))


def lay_out(sections, samples):
    """The song's rows, section after section, with the speed and every tempo change to place."""
    tl = Timeline(samples)
    for sec in sections:
        tl.add_section(sec)
    tl.close()
    if SPEED != modwriter.DEFAULT_SPEED:
        tl.control(0, FX_SPEED, SPEED)
    for row, tempo in tl.tempos:
        tl.control(row, FX_SPEED, tempo)
    return tl


def align_closing_section(tl):
    """Pattern positions of the song's rows. The last section is moved so it ends on a pattern's
    last row, with a pattern break before it, so the song stops exactly where the music does."""
    last_start = tl.section_starts[-1][1]
    skip = (last_start - len(tl.rows)) % modwriter.ROWS
    positions, pos = [], 0
    for g in range(len(tl.rows)):
        if g == last_start and pos % modwriter.ROWS != skip:
            if g == 0:
                raise ScoreError("the closing section needs a section before it to break from")
            # the previous row breaks straight to row `skip` of the next pattern
            pos = (pos + modwriter.ROWS - 1) // modwriter.ROWS * modwriter.ROWS + skip
            tl.control(g - 1, FX_PATTERN_BREAK, modwriter.pattern_break_param(skip))
        positions.append(pos)
        pos += 1
    if pos % modwriter.ROWS:
        raise ModuleError("song does not end on a pattern's last row")
    return positions


def free_slot(cells):
    """The channel whose effect slot a control may take in a row, or None."""
    # a decay step may give way; a volume, a slide or another control may not
    free = [ch for ch in (CH_COUNTER, CH_DRUMS, CH_PAD, CH_BASS, CH_MELODY, CH_BELLS)
            if not cells[ch].has_effect()]
    decay = (FX_EXTENDED, EXT_FINE_VOLUME_DOWN)
    free += [ch for ch in (CH_BASS, CH_MELODY, CH_BELLS)
             if (cells[ch].effect, cells[ch].param & 0xF0) == decay]
    return free[0] if free else None


def place_controls(tl):
    """Puts each control effect on the first channel of its row that can give its slot up. On a
    row where every channel strikes or fades, a tempo change moves up to two rows (a
    pattern break may not: it must end its pattern where the music does)."""
    for row, effect, param in tl.controls:
        for at in (row, row + 1, row - 1, row + 2, row - 2) if effect == FX_SPEED else (row,):
            ch = free_slot(tl.rows[at]) if 0 <= at < len(tl.rows) else None
            if ch is not None:
                break
        else:
            raise ScoreError("no free effect slot at song row %d" % row)
        tl.rows[at][ch].effect, tl.rows[at][ch].param = effect, param
        if at != row:
            tl.tempos = [(at if (r, t) == (row, param) else r, t) for r, t in tl.tempos]


def cut_patterns(tl, positions):
    count = positions[-1] // modwriter.ROWS + 1
    patterns = [modwriter.empty_pattern(CHANNELS) for _ in range(count)]
    for g, p in enumerate(positions):
        patterns[p // modwriter.ROWS][p % modwriter.ROWS] = tl.rows[g]
    return patterns


def song_seconds(tl):
    """The song's length in seconds, from its tempos."""
    ends = [row for row, _ in tl.tempos[1:]] + [len(tl.rows)]
    return sum((end - row) * modwriter.row_seconds(SPEED, tempo)
               for (row, tempo), end in zip(tl.tempos, ends))
