"""Reads the carol score and lays it out as ProTracker patterns for four channels."""

import re
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
from modwriter import ModuleError
from modwriter import SPEED_LIMIT

# Amiga panning puts channels 1 and 4 left, 2 and 3 right: melody and bells (or the echo)
# against pad and bass, or all four mirrored when the melody is on the right.
CH_MELODY, CH_PAD, CH_BASS, CH_BELLS = 0, 1, 2, 3
SPEED = 6  # ticks per row; a row is a sixteenth, so the tempo byte is the quarter-note BPM
TEMPO_RANGE = (SPEED_LIMIT + 1, 255)
# How the show's mixer (libmikmod's high-quality mixer) changes a channel's sound: a new note
# takes over from the one before over GLIDE_FRAMES (1.5 ms), and a volume change of RAMPED_STEP
# or more glides as long, but a smaller change steps at once, which is a click where the wave
# is large. So a note is never faded in small steps: it rings until the next note on its
# channel takes over, or a rest (a change of sides, the song's end) silences it in one step of
# at least RAMPED_STEP.
RAMPED_STEP, FULL_VOLUME = 11, 64
# The mixer's glide does not run on into its next chunk: one still under way where a chunk ends
# stops there with a step. The show opens the mixer at MIX_RATE with chunks of MIX_CHUNK
# frames and the song starts on a chunk (each time it starts again, too), so the arranger knows
# where every tick falls. A silencing on a tick that begins less than GLIDE_FRAMES before a
# chunk's end moves a tick earlier; a note struck there on a sounding channel has what rings
# silenced on the tick before it.
MIX_RATE, MIX_CHUNK, GLIDE_FRAMES = 44100, 4096, 64
# Celesta and bass samples sustain in a loop; from a note's fifth row on it decays a step a row
# as a struck bar does (a step of one, too small to be heard), but not below RAMPED_STEP, so
# that it can still be silenced smoothly.
DECAY_AFTER, DECAY_STEP = 4, 1
# Phrasing, as a player shapes a tune: a bar's first note sounds at the part's volume, the
# other strong beat (the middle of a 4/4 or 6/8 bar) a decibel below, weak notes 2.6 dB below,
# and so does the last note of every phrase. Volumes are linear, so these are amplitude ratios.
STRONG, MIDDLE, WEAK = 1.0, 0.88, 0.74
ACCENTED = ("melody", "bass")

# Written pitch (MIDI number) that lands on tracker note C-1 for each part.
MELODY_BASE = 48  # celesta C4 -> C-2, sounding C5
BASS_BASE = 36  # bass C2 -> C-1
PAD_BASE = 48  # pad roots C3..B3 -> C-1..B-1, below the melody
PAD_LOWEST_ROOT = 48

PITCH_CLASSES = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}
ACCIDENTALS = {None: 0, "#": 1, "b": -1}
COMMENT_RE = re.compile(r"(^|\s)#.*")  # a "#" after a letter is a sharp
NOTE_RE = re.compile(r"^([a-g])(#|b)?(\d)$")
CHORD_RE = re.compile(r"^([a-g])(#|b)?(m|7)?$", re.IGNORECASE)
CHORD_KIND = {None: "maj", "m": "min", "7": "7"}
LENGTHS = {"1": 16, "2": 8, "4": 4, "8": 2, "16": 1}
# Melody and echo are celesta lines: the echo shares the bells' channel where the bells rest.
LINES = ("melody", "echo", "bass")
PARTS = LINES + ("chords", "bells")
VOLUME_PARTS = LINES + ("chords",)
PHRASE_BARS = 2  # bars a phrase, unless a section says otherwise

# The instruments by the names make_module gives their samples.
SMP_CELESTA, SMP_BASS, SMP_SHAKE, SMP_TAP = "celesta", "pluck bass", "sleigh shake", "sleigh tap"
PAD_SAMPLE = {kind: "pad " + kind for kind in ("maj", "min", "7")}
# Soft hits a semitone lower, as a strap of bells never rings twice alike. A late shake comes on
# its row's fourth tick, to ring on over the next downbeat.
BellHit = namedtuple("BellHit", "sample volume note delay")
BELL_HITS = {"S": BellHit(SMP_SHAKE, 50, 35, 0), "s": BellHit(SMP_SHAKE, 30, 34, 0),
             "T": BellHit(SMP_TAP, 48, 35, 0), "t": BellHit(SMP_TAP, 30, 34, 0),
             "L": BellHit(SMP_SHAKE, 44, 35, 4)}
ECHO_VOLUME = 30  # the echo answers the melody from further back, unless a section says otherwise
# A pitched line's channel, sample and the written pitch that lands on tracker note C-1.
Voice = namedtuple("Voice", "channel sample base")
# With the melody on the right every voice takes the channel on the other side, so the bass is
# always opposite the melody and both ears keep the same weight.
SIDES = {"left": {}, "right": {CH_MELODY: CH_PAD, CH_PAD: CH_MELODY, CH_BASS: CH_BELLS,
                               CH_BELLS: CH_BASS}}
LINE_VOICES = {"melody": Voice(CH_MELODY, SMP_CELESTA, MELODY_BASE),
               "echo": Voice(CH_BELLS, SMP_CELESTA, MELODY_BASE),
               "bass": Voice(CH_BASS, SMP_BASS, BASS_BASE)}


class ScoreError(ValueError):
    pass


def pitch_class(letter, accidental):
    """Semitones above C of a note name such as "b" with accidental "b" (B-flat)."""
    return PITCH_CLASSES[letter.lower()] + ACCIDENTALS[accidental]


def parse_pitch(text):
    m = NOTE_RE.match(text)
    if not m:
        raise ScoreError("bad pitch %r" % text)
    return 12 * (int(m.group(3)) + 1) + pitch_class(m.group(1), m.group(2))


def parse_length(text):
    """Sixteenths in a note length such as 4, 8. or 2, or tied lengths such as 4.+4."""
    if "+" in text:
        return sum(parse_length(part) for part in text.split("+"))
    dotted = text.endswith(".")
    rows = LENGTHS.get(text[:-1] if dotted else text)
    if rows is None:
        raise ScoreError("bad length %r" % text)
    if dotted:
        if rows % 2:
            raise ScoreError("a dotted sixteenth does not fit the row grid")
        rows += rows // 2
    return rows


def parse_chord(symbol):
    """(pad sample name, tracker note) of a chord symbol such as Bb, Dm or C7."""
    m = CHORD_RE.match(symbol)
    if not m or not symbol[0].isupper():
        raise ScoreError("bad chord %r" % symbol)
    root = PAD_BASE + pitch_class(m.group(1), m.group(2)) % 12
    if root < PAD_LOWEST_ROOT:
        root += 12
    return PAD_SAMPLE[CHORD_KIND[m.group(3)]], root - PAD_BASE


def number(text, low, high, what):
    if not text.strip().isdigit() or not low <= int(text) <= high:
        raise ScoreError("%s must be a whole number from %d to %d, not %r"
                         % (what, low, high, text.strip()))
    return int(text)


def parse_bar(part, text, bar_rows, voice_base):
    """One bar of a part as (row, what) events: MIDI pitch, (sample, note) of a chord, or None for
    a rest; a final (bar_rows, None) marks where the bar ends."""
    events, row = [], 0
    for tok in text.split():
        what, colon, length = tok.partition(":")
        if not colon:
            raise ScoreError("%s note %r needs a length after a colon" % (part, tok))
        if what == "r":
            events.append((row, None))
        elif part == "chords":
            events.append((row, parse_chord(what)))
        else:
            note = tracker_note(parse_pitch(what), voice_base, "%s note %s" % (part, what))
            events.append((row, note))
        row += parse_length(length)
    if row != bar_rows:
        raise ScoreError("%s bar %r lasts %d sixteenths, not %d" % (part, text, row, bar_rows))
    return events


def parse_bells(text, bar_rows):
    pattern, star, times = text.partition("*")
    count = number(times, 1, 64, "a bells repeat") if star else 1
    if len(pattern) != bar_rows or set(pattern) - set(BELL_HITS) - {"."}:
        raise ScoreError("bells bar %r is not %d of S s T t ." % (pattern, bar_rows))
    return [pattern] * count


def tracker_note(midi, base, what):
    idx = midi - base
    if not 0 <= idx < len(modwriter.PERIODS):
        raise ScoreError("%s is outside the tracker's three octaves" % what)
    return idx


class Section:
    def __init__(self, name, meter, tempo, line):
        self.name = name
        self.meter = meter
        self.tempo = tempo  # one tempo, or several in steps that share the section's rows evenly
        self.line = line
        self.side = "left"  # the melody's side; the other voices take their sides from it
        self.volume = {}  # part -> (volume on the first row, volume on the last) of its notes
        self.phrase = PHRASE_BARS
        self.bars = {p: [] for p in PARTS}

    @property
    def bar_rows(self):
        num, den = self.meter
        return 16 * num // den

    @property
    def rows(self):
        return self.bar_rows * len(self.bars["melody"])

    def read(self, word, rest):
        """Takes one score line's word and the text after it."""
        if word == "meter":
            num, slash, den = rest.partition("/")
            if not slash:
                raise ScoreError("meter needs the form 3/4")
            self.meter = (number(num, 1, 16, "the meter's beats"),
                          number(den, 1, 16, "the meter's note"))
            if den.strip() not in ("2", "4", "8", "16") or 16 * self.meter[0] % self.meter[1]:
                raise ScoreError("meter %s does not fill whole sixteenths" % rest.strip())
        elif word == "tempo":
            self.tempo = tuple(number(t, TEMPO_RANGE[0], TEMPO_RANGE[1], "tempo")
                               for t in rest.split() or [""])
        elif word == "side":
            if rest.strip() not in SIDES:
                raise ScoreError("side needs left or right")
            self.side = rest.strip()
        elif word == "phrase":
            self.phrase = number(rest, 1, 16, "a phrase's bars")
        elif word == "volume":
            part, _, vols = rest.strip().partition(" ")
            if part not in VOLUME_PARTS:
                raise ScoreError("volume needs one of %s" % ", ".join(VOLUME_PARTS))
            vols = [number(v, 0, 64, "volume") for v in vols.split() or [""]]
            if len(vols) > 2:
                raise ScoreError("volume takes one level, or the first and the last of a swell")
            self.volume[part] = (vols[0], vols[-1])
        elif word in PARTS:
            if self.meter is None:
                raise ScoreError("[%s] needs a meter before its parts" % self.name)
            for bar in filter(None, (b.strip() for b in rest.split("|"))):
                if word == "bells":
                    self.bars[word].extend(parse_bells(bar, self.bar_rows))
                else:
                    base = LINE_VOICES[word].base if word in LINES else None
                    self.bars[word].append(parse_bar(word, bar, self.bar_rows, base))
        else:
            raise ScoreError("unknown word %r" % word)

    def level(self, part, row, default):
        """The volume of a `part` note at the section's `row`: the part's level there (along a
        swell from its first to its last row), or `default`, the sample's own."""
        first, last = self.volume.get(part, (default, default))
        return first + (last - first) * row / max(self.rows - 1, 1)

    def accent(self, row, phrase_end):
        """The phrasing's ratio for a note at the section's `row`."""
        at = row % self.bar_rows
        if phrase_end:
            return WEAK
        if at == 0:
            return STRONG
        middle = self.meter[0] in (4, 6, 12) and at == self.bar_rows // 2
        return MIDDLE if middle else WEAK

    def phrase_ends(self, part):
        """Rows of the notes that end a phrase: the last struck by the middle of a phrase's last
        bar (a later one leads into the next phrase)."""
        ends = set()
        for b, bar in enumerate(self.bars[part]):
            struck = [row for row, what in bar if what is not None and row <= self.bar_rows // 2]
            if struck and ((b + 1) % self.phrase == 0 or b + 1 == len(self.bars[part])):
                ends.add(b * self.bar_rows + struck[-1])
        return ends

    def check(self):
        if self.tempo is None or self.meter is None:
            raise ScoreError("[%s] needs a meter and a tempo" % self.name)
        counts = {p: len(self.bars[p]) for p in PARTS if self.bars[p] or p != "echo"}
        if len(set(counts.values())) != 1:
            raise ScoreError("[%s] parts have different bar counts: %s" % (self.name, counts))
        if self.rows % len(self.tempo):
            raise ScoreError("[%s] tempo steps do not share its %d rows evenly"
                             % (self.name, self.rows))


def parse_score(text):
    sections = []
    meter, tempo = None, None
    for lineno, raw in enumerate(text.splitlines(), 1):
        line = COMMENT_RE.sub("", raw).strip()
        try:
            if not line:
                continue
            if line.startswith("[") and line.endswith("]"):
                sections.append(Section(line[1:-1], meter, tempo, lineno))
                continue
            if not sections:
                raise ScoreError("text before the first section")
            word, _, rest = line.partition(" ")
            sections[-1].read(word, rest)
            meter, tempo = sections[-1].meter, sections[-1].tempo and sections[-1].tempo[-1:]
        except ScoreError as e:
            raise ScoreError("line %d: %s" % (lineno, e)) from None
    for sec in sections:
        try:
            sec.check()
        except ScoreError as e:
            raise ScoreError("line %d: %s" % (sec.line, e)) from None
    if not sections:
        raise ScoreError("the score has no sections")
    return sections


def timed(bars, bar_rows):
    """(row, what, rows it lasts) for each event of a part, bar after bar."""
    out = []
    for b, bar in enumerate(bars):
        for (row, what), (end, _) in zip(bar, bar[1:] + [(bar_rows, None)]):
            out.append((b * bar_rows + row, what, end - row))
    return out


class Timeline:
    """Rows of the whole song; each holds four cells plus control effects to place."""

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
        self.rows.extend([Cell() for _ in range(modwriter.CHANNELS)] for _ in range(sec.rows))
        change = sec.side != self.side and start
        if change:
            self.last_pad = None
        self.side = sec.side
        swap = SIDES[sec.side]
        for part in LINES:
            voice = LINE_VOICES[part]
            voice = voice._replace(channel=swap.get(voice.channel, voice.channel))
            ends = sec.phrase_ends(part) if part == "melody" else set()
            for row, note, rows in timed(sec.bars[part], sec.bar_rows):
                default = ECHO_VOLUME if part == "echo" else self.volumes[voice.sample]
                vol = sec.level(part, row, default)
                if part in ACCENTED:
                    vol *= sec.accent(row, row in ends)
                vol = int(round(vol))
                self.line_note(start + row, rows, voice, note, vol)
        bells = swap.get(CH_BELLS, CH_BELLS)
        self.add_bells(sec, start, bells)
        pad = swap.get(CH_PAD, CH_PAD)
        self.add_chords(sec, start, Voice(pad, None, PAD_BASE))
        if change:  # where the voices change sides, what still rings stops as the section begins
            for ch in range(modwriter.CHANNELS):
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
        """Whether a cell's effect may give way to a release: none or a decay step."""
        decay = cell.effect == FX_EXTENDED and cell.param & 0xF0 == EXT_FINE_VOLUME_DOWN
        return not cell.has_effect() or decay

    def add_bells(self, sec, start, ch):
        for b, pat in enumerate(sec.bars["bells"]):
            for i, hit in enumerate(pat):
                if hit in BELL_HITS:
                    row, bell = start + b * sec.bar_rows + i, BELL_HITS[hit]
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
            if key is None:
                self.line_note(start + row, rows, voice, None, None)  # the pad is silenced
            elif key != self.last_pad:  # a held chord is not struck again
                vol = sec.level("chords", row, self.volumes[chord[0]])
                self.strike(start + row, voice.channel, chord[0], chord[1], int(round(vol)))
            self.last_pad = key

    def line_note(self, row, rows, voice, note, vol):
        """A celesta or bass note (or rest, note None) lasting `rows` rows from `row`."""
        if note is None:
            self.release(row, voice.channel)
            return
        vol = max(vol, RAMPED_STEP)
        self.strike(row, voice.channel, voice.sample, note, vol)
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
    free = [ch for ch in (CH_PAD, CH_BASS, CH_MELODY, CH_BELLS) if not cells[ch].has_effect()]
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


def tick_frames(tempo):
    """How many frames the mixer plays for one tick at `tempo` (it counts quarter frames, and
    a tick a whole number of frames)."""
    return int(MIX_RATE * modwriter.TEMPO_TICK_SECONDS) // tempo


def row_ticks(tl):
    """(first frame, frames a tick) of every row of the song as the mixer plays it."""
    tempo_at = dict(tl.tempos)
    out, frame, tempo = [], 0, modwriter.DEFAULT_TEMPO
    for g in range(len(tl.rows)):
        tempo = tempo_at.get(g, tempo)
        out.append((frame, tick_frames(tempo)))
        frame += SPEED * tick_frames(tempo)
    return out


def near_chunk_end(frame):
    return frame % MIX_CHUNK > MIX_CHUNK - GLIDE_FRAMES


def steer_clear_of_chunk_ends(tl):
    """Keeps every glide inside one mixing chunk: a cut on a row's last tick (or a release on
    its first) that a chunk's end would cut short comes a tick earlier, and a note struck there
    over a sounding channel comes a tick late or, where its row has no room for that, has what
    rings silenced on the tick before. The celesta's bright attack covers the rest of its own
    takeover, which is not worth a gap."""
    cut_last, cut_early = EXT_NOTE_CUT | (SPEED - 1), EXT_NOTE_CUT | (SPEED - 2)
    ticks = row_ticks(tl)
    for g, (frame, tick) in enumerate(ticks):
        for ch, cell in enumerate(tl.rows[g]):
            if (cell.effect, cell.param) == (FX_EXTENDED, cut_last) and \
                    near_chunk_end(frame + (SPEED - 1) * tick):
                cell.param = cut_early
            elif (cell.effect, cell.param, cell.sample) == (FX_SET_VOLUME, 0, 0) and \
                    near_chunk_end(frame):
                cell.effect, cell.param = FX_EXTENDED, EXT_NOTE_CUT | 1
            elif cell.sample and near_chunk_end(frame) and tl.volume_at(g, ch):
                before = tl.rows[g - 1][ch]
                if not cell.has_effect():
                    cell.effect, cell.param = FX_EXTENDED, EXT_NOTE_DELAY | 1
                elif tl.fadable(before) and tl.sample_names[cell.sample] != SMP_CELESTA:
                    last = near_chunk_end(ticks[g - 1][0] + (SPEED - 1) * ticks[g - 1][1])
                    before.effect, before.param = FX_EXTENDED, cut_early if last else cut_last


def cut_patterns(tl, positions):
    patterns = [modwriter.empty_pattern() for _ in range(positions[-1] // modwriter.ROWS + 1)]
    for g, p in enumerate(positions):
        patterns[p // modwriter.ROWS][p % modwriter.ROWS] = tl.rows[g]
    return patterns


def song_seconds(tl):
    """The song's length in seconds, from its tempos."""
    ends = [row for row, _ in tl.tempos[1:]] + [len(tl.rows)]
    return sum((end - row) * modwriter.row_seconds(SPEED, tempo)
               for (row, tempo), end in zip(tl.tempos, ends))


def section_times(tl):
    """(name, first second, last second) of every section as the show's mixer plays it, whose
    whole-frame ticks run a little ahead of the tempo's."""
    ticks = row_ticks(tl)
    frames = [frame for frame, _ in ticks]
    frames.append(frames[-1] + SPEED * ticks[-1][1])
    starts = [row for _, row in tl.section_starts] + [len(tl.rows)]
    return [(name, frames[row] / MIX_RATE, frames[end] / MIX_RATE)
            for (name, row), end in zip(tl.section_starts, starts[1:])]


def arrange(sections, samples):
    """The song's timeline with every effect placed, and the pattern position of each row."""
    tl = lay_out(sections, samples)
    positions = align_closing_section(tl)
    place_controls(tl)
    steer_clear_of_chunk_ends(tl)
    return tl, positions


def build_patterns(sections, samples):
    """Returns (patterns, orders, seconds) of the sections played by the given samples."""
    tl, positions = arrange(sections, samples)
    patterns = cut_patterns(tl, positions)
    return patterns, list(range(len(patterns))), song_seconds(tl)
