"""Reads the carol score and lays it out as ProTracker patterns for four channels."""

import re
from collections import namedtuple

import modwriter
from modwriter import (Cell, ModuleError, FX_VOLUME_SLIDE, FX_SET_VOLUME, FX_PATTERN_BREAK,
                       FX_EXTENDED, FX_SPEED, EXT_FINE_VOLUME_DOWN, EXT_NOTE_DELAY, SPEED_LIMIT)

# Amiga panning puts channels 1 and 4 left, 2 and 3 right: melody and bells (or the echo)
# against pad and bass.
CH_MELODY, CH_PAD, CH_BASS, CH_BELLS = 0, 1, 2, 3
SPEED = 6  # ticks per row; a row is a sixteenth, so the tempo byte is the quarter-note BPM
TEMPO_RANGE = (SPEED_LIMIT + 1, 255)
# Celesta and bass are damped on the row before their next note, as a player's dampers would:
# cutting a ringing note mid-wave clicks. A sixteenth only gets a light touch, and so does the
# bass, whose slow waves would step audibly at every tick of a steep fade.
MELODY_DAMP, MELODY_DAMP_SHORT, BASS_DAMP = 0x0B, 0x04, 0x02
SLOW_ROW_SECONDS = 0.2  # rows longer than this (a quarter below 75) fade over two rows
# Celesta and bass samples sustain in a loop; from a note's fifth row on it decays a step a row
# as a struck bar does, and a rest lets it die away within a few rows.
DECAY_AFTER, DECAY_STEP = 4, 1
# A rest fades its channel to silence within four rows (20 a row) from any volume; a shorter
# rest fades faster, so that it is silent by its end.
RELEASE_ROWS, FULL_VOLUME = 4, 64

# Written pitch (MIDI number) that lands on tracker note C-1 for each part.
MELODY_BASE = 48  # celesta C4 -> C-2, sounding C5
BASS_BASE = 36  # bass C2 -> C-1
PAD_BASE = 48  # pad roots C3..B3 -> C-1..B-1, below the melody
PAD_LOWEST_ROOT = 48

PITCH_CLASSES = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}
ACCIDENTALS = {None: 0, "#": 1, "b": -1}
NOTE_RE = re.compile(r"^([a-g])(#|b)?(\d)$")
CHORD_RE = re.compile(r"^([a-g])(#|b)?(m|7)?$", re.IGNORECASE)
CHORD_KIND = {None: "maj", "m": "min", "7": "7"}
LENGTHS = {"1": 16, "2": 8, "4": 4, "8": 2, "16": 1}
# Melody and echo are celesta lines: the echo shares the bells' channel where the bells rest.
LINES = ("melody", "echo", "bass")
PARTS = LINES + ("chords", "bells")
VOLUME_PARTS = LINES + ("chords",)

# The instruments by the names make_module gives their samples.
SMP_CELESTA, SMP_BASS, SMP_SHAKE, SMP_TAP = "celesta", "pluck bass", "sleigh shake", "sleigh tap"
PAD_SAMPLE = {kind: "pad " + kind for kind in ("maj", "min", "7")}
# Soft hits a semitone lower, as a strap of bells never rings twice alike. A late shake comes on
# its row's fourth tick, to ring on over the next downbeat.
BellHit = namedtuple("BellHit", "sample volume note delay")
BELL_HITS = {"S": BellHit(SMP_SHAKE, 56, 33, 0), "s": BellHit(SMP_SHAKE, 32, 32, 0),
             "T": BellHit(SMP_TAP, 42, 33, 0), "t": BellHit(SMP_TAP, 26, 32, 0),
             "L": BellHit(SMP_SHAKE, 56, 33, 4)}
ECHO_VOLUME = 30  # the echo answers the melody from further back, unless a section says otherwise
# A pitched line's channel, sample, the written pitch that lands on tracker note C-1 and its damp.
Voice = namedtuple("Voice", "channel sample base damp")
# With the melody on the right, melody and pad trade channels 1 and 2.
SIDES = {"left": {}, "right": {CH_MELODY: CH_PAD, CH_PAD: CH_MELODY}}
LINE_VOICES = {"melody": Voice(CH_MELODY, SMP_CELESTA, MELODY_BASE, MELODY_DAMP),
               "echo": Voice(CH_BELLS, SMP_CELESTA, MELODY_BASE, MELODY_DAMP),
               "bass": Voice(CH_BASS, SMP_BASS, BASS_BASE, BASS_DAMP)}


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
    """Sixteenths in a note length such as 4, 8. or 2."""
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
        self.side = "left"  # the melody's side; the pad takes the other
        self.volume = {}  # part -> channel volume for this section's notes
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
        elif word == "volume":
            part, _, vol = rest.strip().partition(" ")
            if part not in VOLUME_PARTS:
                raise ScoreError("volume needs one of %s" % ", ".join(VOLUME_PARTS))
            self.volume[part] = number(vol, 0, 64, "volume")
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
        line = raw.split("#", 1)[0].strip()
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
        self.volumes = {s.name: s.volume for s in samples}
        self.last_pad = None  # (sample, note, volume) of the chord the pad holds
        self.side = "left"
        self.slow = False  # rows long enough for a tick's volume step to be heard

    def add_section(self, sec):
        start = len(self.rows)
        self.section_starts.append((sec.name, start))
        for k, tempo in enumerate(sec.tempo):
            if not self.tempos or self.tempos[-1][1] != tempo:
                self.tempos.append((start + k * sec.rows // len(sec.tempo), tempo))
        self.rows.extend([Cell() for _ in range(modwriter.CHANNELS)] for _ in range(sec.rows))
        if sec.side != self.side and start:
            # melody and pad trade channels: each fades before the other's first note cuts it
            for ch in (CH_MELODY, CH_PAD):
                self.effect(start - 1, ch, FX_VOLUME_SLIDE, MELODY_DAMP, replace=True)
            self.last_pad = None
        self.side = sec.side
        self.slow = modwriter.row_seconds(SPEED, max(sec.tempo)) > SLOW_ROW_SECONDS
        swap = SIDES[sec.side]
        for part in LINES:
            voice = LINE_VOICES[part]
            voice = voice._replace(channel=swap.get(voice.channel, voice.channel))
            vol = sec.volume.get(part, ECHO_VOLUME if part == "echo" else None)
            for row, note, rows in timed(sec.bars[part], sec.bar_rows):
                self.line_note(start + row, rows, voice, note, vol)
        self.add_bells(sec, start)
        self.add_chords(sec, start, Voice(swap.get(CH_PAD, CH_PAD), None, PAD_BASE, None))

    def add_bells(self, sec, start):
        for b, pat in enumerate(sec.bars["bells"]):
            for i, hit in enumerate(pat):
                if hit in BELL_HITS:
                    row, bell = start + b * sec.bar_rows + i, BELL_HITS[hit]
                    if self.rows[row][CH_BELLS].sample:
                        raise ScoreError("line %d: [%s] bells and echo meet in bar %d"
                                         % (sec.line, sec.name, b + 1))
                    self.strike(row, CH_BELLS, bell.sample, bell.note, bell.volume)
                    if bell.delay:  # the shake's own volume needs no effect to set it
                        cell = self.rows[row][CH_BELLS]
                        cell.effect, cell.param = FX_EXTENDED, EXT_NOTE_DELAY | bell.delay
                    self.clear_after(row, CH_BELLS)

    def add_chords(self, sec, start, voice):
        for row, chord, rows in timed(sec.bars["chords"], sec.bar_rows):
            key = chord and chord + (sec.volume.get("chords"),)
            if key is None:
                self.line_note(start + row, rows, voice, None, None)  # the pad fades
            elif key != self.last_pad:  # a held chord is not struck again
                self.strike(start + row, voice.channel, chord[0], chord[1], key[2])
            self.last_pad = key

    def line_note(self, row, rows, voice, note, vol):
        """A celesta or bass note (or rest, note None) lasting `rows` rows from `row`."""
        ch = voice.channel
        if note is None:
            # The volume slides on all ticks but the first.
            fade = -(-FULL_VOLUME // ((SPEED - 1) * min(rows, RELEASE_ROWS)))
            for g in range(row, row + min(rows, RELEASE_ROWS)):
                self.effect(g, ch, FX_VOLUME_SLIDE, fade)
            return
        if row > 0:
            self.damp_before(row, ch, voice.damp)
        self.strike(row, ch, voice.sample, note, vol)
        for g in range(row + DECAY_AFTER, row + rows):
            self.effect(g, ch, FX_EXTENDED, EXT_FINE_VOLUME_DOWN | DECAY_STEP)

    def damp_before(self, row, ch, damp):
        """Fades the note that rings on `ch` before the one struck at `row`."""
        prev = self.rows[row - 1][ch]
        if prev.sample and prev.effect == 0:  # a sixteenth before: only a light touch
            self.effect(row - 1, ch, FX_VOLUME_SLIDE, MELODY_DAMP_SHORT)
        elif (self.slow and damp > MELODY_DAMP_SHORT and row > 1 and not prev.sample
              and not self.rows[row - 2][ch].sample):
            # long rows take the fade over two, so that no tick steps the volume far
            self.effect(row - 2, ch, FX_VOLUME_SLIDE, damp // 2, replace=True)
            self.effect(row - 1, ch, FX_VOLUME_SLIDE, damp - damp // 2, replace=True)
        else:
            self.effect(row - 1, ch, FX_VOLUME_SLIDE, damp, replace=True)

    def clear_after(self, row, ch):
        """Drops the echo's volume effects after a bell hit, which would fade the bell."""
        for cells in self.rows[row + 1:]:
            if cells[ch].sample or not cells[ch].has_effect():
                break
            cells[ch].effect, cells[ch].param = 0, 0

    def effect(self, row, ch, effect, param, replace=False):
        """Puts an effect on a cell that has none (or, with replace, only a decay step)."""
        cell = self.rows[row][ch]
        if not cell.has_effect() or (replace and cell.effect == FX_EXTENDED):
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


def place_controls(tl):
    """Puts each control effect on the first channel of its row that can give its slot up."""
    for row, effect, param in tl.controls:
        cells = tl.rows[row]
        # a decay step or a release may give way; a damp, a volume or another control may not
        free = [ch for ch in (CH_PAD, CH_BASS, CH_MELODY, CH_BELLS) if not cells[ch].has_effect()]
        free += [ch for ch in (CH_BASS, CH_MELODY, CH_BELLS) if cells[ch].effect == FX_EXTENDED]
        free += [ch for ch in (CH_BELLS, CH_BASS)
                 if cells[ch].effect == FX_VOLUME_SLIDE and cells[ch].param <= 0xF]
        if not free:
            raise ScoreError("no free effect slot at song row %d" % row)
        cells[free[0]].effect, cells[free[0]].param = effect, param


def cut_patterns(tl, positions):
    patterns = [modwriter.empty_pattern() for _ in range(positions[-1] // modwriter.ROWS + 1)]
    for g, p in enumerate(positions):
        patterns[p // modwriter.ROWS][p % modwriter.ROWS] = tl.rows[g]
    return patterns


def song_seconds(tl):
    ends = [row for row, _ in tl.tempos[1:]] + [len(tl.rows)]
    return sum((end - row) * modwriter.row_seconds(SPEED, tempo)
               for (row, tempo), end in zip(tl.tempos, ends))


def build_patterns(sections, samples):
    """Returns (patterns, orders, seconds) of the sections played by the given samples."""
    tl = lay_out(sections, samples)
    positions = align_closing_section(tl)
    place_controls(tl)
    patterns = cut_patterns(tl, positions)
    return patterns, list(range(len(patterns))), song_seconds(tl)
