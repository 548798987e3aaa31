"""Reads the carol score and lays it out as ProTracker patterns for four channels."""

import re

import modwriter
from modwriter import Cell, ModuleError

# Amiga panning puts channels 1 and 4 left, 2 and 3 right: melody and bells against pad and bass.
CH_MELODY, CH_PAD, CH_BASS, CH_BELLS = 0, 1, 2, 3
SPEED = 6  # ticks per row; a row is a sixteenth, so the tempo byte is the quarter-note BPM
PAD_DIP = 0x0A  # volume slide on the row before a chord change, so the pad restarts from near silence
# The celesta is damped on the row before its next note, as the instrument's dampers would:
# cutting a ringing note mid-wave clicks. A sixteenth only gets a light touch.
MELODY_DAMP, MELODY_DAMP_SHORT = 0x0B, 0x04

# Written pitch (MIDI number) that lands on tracker note C-1 for each part.
MELODY_BASE = 48  # celesta C4 -> C-2, sounding C5
BASS_BASE = 36  # bass C2 -> C-1
PAD_BASE = 48  # pad roots D3..C#4 -> D-1..C#2
PAD_LOWEST_ROOT = 50

PITCH_CLASSES = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}
NOTE_RE = re.compile(r"^([a-g])(#|b)?(\d)$")
CHORD_RE = re.compile(r"^([A-G])(#|b)?(m|7)?$")
CHORD_KIND = {None: "maj", "m": "min", "7": "7"}
PARTS = ("melody", "chords", "bass", "bells")

# Sample numbers (1-based, in the order make_module builds them).
SMP_CELESTA, SMP_PAD_MAJ, SMP_PAD_MIN, SMP_PAD_7, SMP_BASS, SMP_SHAKE, SMP_TAP = range(1, 8)
PAD_SAMPLE = {"maj": SMP_PAD_MAJ, "min": SMP_PAD_MIN, "7": SMP_PAD_7}
# (sample, volume, tracker note): soft hits a semitone lower, as a strap of bells never rings twice alike.
BELL_HITS = {"S": (SMP_SHAKE, 56, 33), "s": (SMP_SHAKE, 32, 32), "T": (SMP_TAP, 42, 33), "t": (SMP_TAP, 26, 32)}


class ScoreError(ValueError):
    pass


def parse_pitch(text):
    m = NOTE_RE.match(text)
    if not m:
        raise ScoreError("bad pitch %r" % text)
    pc = PITCH_CLASSES[m.group(1)] + {None: 0, "#": 1, "b": -1}[m.group(2)]
    return 12 * (int(m.group(3)) + 1) + pc


def parse_length(text):
    """Sixteenths in a note length such as 4, 8. or 2."""
    dotted = text.endswith(".")
    base = text.rstrip(".")
    if base not in ("1", "2", "4", "8", "16"):
        raise ScoreError("bad length %r" % text)
    rows = 16 // int(base)
    if dotted:
        if rows % 2:
            raise ScoreError("a dotted sixteenth does not fit the row grid")
        rows += rows // 2
    return rows


class Section:
    def __init__(self, name, meter, tempo):
        self.name = name
        self.meter = meter
        self.tempo = tempo
        self.fade = False
        self.volume = {}  # part -> channel volume for this section's notes
        self.bars = {p: [] for p in PARTS}

    @property
    def bar_rows(self):
        num, den = self.meter
        return 16 * num // den

    @property
    def rows(self):
        return self.bar_rows * len(self.bars["melody"])


def parse_score(text):
    sections = []
    meter, tempo = None, None
    for lineno, raw in enumerate(text.splitlines(), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        where = "line %d" % lineno
        if line.startswith("[") and line.endswith("]"):
            sections.append(Section(line[1:-1], meter, tempo))
            continue
        if not sections:
            raise ScoreError("%s: text before the first section" % where)
        sec = sections[-1]
        word, _, rest = line.partition(" ")
        if word == "meter":
            num, den = rest.strip().split("/")
            sec.meter = meter = (int(num), int(den))
        elif word == "tempo":
            sec.tempo = tempo = int(rest)
        elif word == "fade":
            sec.fade = True
        elif word == "volume":
            part, vol = rest.split()
            if part not in ("melody", "chords", "bass") or not 0 <= int(vol) <= 64:
                raise ScoreError("%s: volume needs melody, chords or bass and 0..64" % where)
            sec.volume[part] = int(vol)
        elif word in PARTS:
            for bar in rest.split("|"):
                bar = bar.strip()
                if not bar:
                    continue
                if word == "bells":
                    pat, _, times = bar.partition("*")
                    sec.bars[word].extend([pat] * (int(times) if times else 1))
                else:
                    sec.bars[word].append(bar.split())
        else:
            raise ScoreError("%s: unknown word %r" % (where, word))
    for sec in sections:
        check_section(sec)
    return sections


def check_section(sec):
    if sec.meter is None or sec.tempo is None:
        raise ScoreError("[%s] needs a meter and a tempo" % sec.name)
    counts = {p: len(sec.bars[p]) for p in PARTS}
    if len(set(counts.values())) != 1:
        raise ScoreError("[%s] parts have different bar counts: %s" % (sec.name, counts))
    for part in ("melody", "chords", "bass"):
        for i, bar in enumerate(sec.bars[part], 1):
            total = sum(parse_length(tok.split(":")[1]) for tok in bar)
            if total != sec.bar_rows:
                raise ScoreError("[%s] %s bar %d lasts %d sixteenths, not %d"
                                 % (sec.name, part, i, total, sec.bar_rows))
    for i, pat in enumerate(sec.bars["bells"], 1):
        if len(pat) != sec.bar_rows or set(pat) - set(BELL_HITS) - {"."}:
            raise ScoreError("[%s] bells bar %d is not %d of S s T t ." % (sec.name, i, sec.bar_rows))


def note_events(bars, bar_rows):
    """(row, token-before-colon) for each struck note or chord, rests dropped."""
    out = []
    row = 0
    for bar in bars:
        for tok in bar:
            what, length = tok.split(":")
            if what != "r":
                out.append((row, what))
            row += parse_length(length)
    return out


def tracker_note(midi, base, part):
    idx = midi - base
    if not 0 <= idx < len(modwriter.PERIODS):
        raise ScoreError("%s note %d is outside the tracker's three octaves" % (part, midi))
    return idx


def chord_cell(symbol):
    m = CHORD_RE.match(symbol)
    if not m:
        raise ScoreError("bad chord %r" % symbol)
    pc = (PITCH_CLASSES[m.group(1).lower()] + {None: 0, "#": 1, "b": -1}[m.group(2)]) % 12
    root = PAD_BASE + pc
    if root < PAD_LOWEST_ROOT:
        root += 12
    return PAD_SAMPLE[CHORD_KIND[m.group(3)]], tracker_note(root, PAD_BASE, "pad")


class Timeline:
    """Rows of the whole song; each holds four cells plus control effects to place."""

    def __init__(self, default_volumes):
        self.rows = []
        self.controls = []  # (row, effect, param)
        self.section_starts = []
        self.volumes = default_volumes
        self.last_pad = None  # (sample, note, volume) of the chord the pad holds
        self.last_melody = None  # row of the last celesta note

    def add_section(self, sec):
        start = len(self.rows)
        self.section_starts.append((sec.name, start))
        self.rows.extend([Cell() for _ in range(4)] for _ in range(sec.rows))
        br = sec.bar_rows

        for row, tok in note_events(sec.bars["melody"], br):
            g = start + row
            if self.last_melody is not None and not self.rows[g - 1][CH_MELODY].has_effect():
                damp = MELODY_DAMP_SHORT if self.last_melody == g - 1 else MELODY_DAMP
                self.rows[g - 1][CH_MELODY].effect, self.rows[g - 1][CH_MELODY].param = 0xA, damp
            self.strike(g, CH_MELODY, SMP_CELESTA, tracker_note(parse_pitch(tok), MELODY_BASE, "melody"),
                        sec.volume.get("melody"))
            self.last_melody = g
        for row, tok in note_events(sec.bars["bass"], br):
            self.strike(start + row, CH_BASS, SMP_BASS, tracker_note(parse_pitch(tok), BASS_BASE, "bass"),
                        sec.volume.get("bass"))
        for b, pat in enumerate(sec.bars["bells"]):
            for i, ch in enumerate(pat):
                if ch in BELL_HITS:
                    smp, vol, note = BELL_HITS[ch]
                    self.strike(start + b * br + i, CH_BELLS, smp, note, vol)
        for row, tok in note_events(sec.bars["chords"], br):
            smp, note = chord_cell(tok)
            vol = sec.volume.get("chords")
            if self.last_pad == (smp, note, vol):
                continue  # a held chord is not struck again
            self.last_pad = (smp, note, vol)
            g = start + row
            if g > 0 and not self.rows[g - 1][CH_PAD].has_effect():
                self.rows[g - 1][CH_PAD].effect, self.rows[g - 1][CH_PAD].param = 0xA, PAD_DIP
            self.strike(g, CH_PAD, smp, note, vol)

        if sec.fade:
            self.fade_out(start, sec.rows)

    def strike(self, row, ch, smp, note, vol=None):
        cell = self.rows[row][ch]
        cell.sample, cell.period = smp, modwriter.period(note)
        if vol is not None and vol != self.volumes[smp]:
            cell.effect, cell.param = 0xC, vol

    def fade_out(self, start, count):
        """Sets every channel's volume row by row down to zero at the section's last row."""
        current = [0, 0, 0, 0]
        for ch in range(4):
            for g in range(start, -1, -1):
                c = self.rows[g][ch]
                if c.sample:
                    current[ch] = c.param if c.effect == 0xC else self.volumes[c.sample]
                    break
        for i in range(count):
            g = start + i
            f = (1.0 - (i + 1) / count) ** 1.5
            for ch in range(4):
                c = self.rows[g][ch]
                if c.sample:
                    current[ch] = c.param if c.effect == 0xC else self.volumes[c.sample]
                c.effect, c.param = 0xC, int(round(current[ch] * f))

    def control(self, row, effect, param):
        self.controls.append((row, effect, param))


def build_patterns(sections, default_volumes):
    """Returns (patterns, orders, seconds). The last section is moved so it ends on a pattern's
    last row, with a pattern break before it, so the song stops exactly where the music does."""
    tl = Timeline(default_volumes)
    tempo = None
    for sec in sections:
        start = len(tl.rows)
        tl.add_section(sec)
        if start == 0:
            tl.control(0, 0xF, SPEED)
        if sec.tempo != tempo:
            tl.control(start, 0xF, sec.tempo)
            tempo = sec.tempo

    total = len(tl.rows)
    last_start = tl.section_starts[-1][1]
    skip = (-(total - last_start)) % modwriter.ROWS
    positions = []
    pos = 0
    for g in range(total):
        if g == last_start and pos % modwriter.ROWS != skip:
            if g == 0:
                raise ScoreError("the closing section needs a section before it to break from")
            # the previous row breaks straight to row `skip` of the next pattern
            pos = (pos + modwriter.ROWS - 1) // modwriter.ROWS * modwriter.ROWS + skip
            tl.control(g - 1, 0xD, (skip // 10) << 4 | (skip % 10))
        positions.append(pos)
        pos += 1
    if pos % modwriter.ROWS:
        raise ModuleError("song does not end on a pattern's last row")

    for row, effect, param in tl.controls:
        cells = tl.rows[row]
        for ch in (CH_BASS, CH_PAD, CH_MELODY, CH_BELLS):
            if not cells[ch].has_effect():
                cells[ch].effect, cells[ch].param = effect, param
                break
        else:
            raise ScoreError("no free effect slot at song row %d" % row)

    count = pos // modwriter.ROWS
    patterns = [modwriter.empty_pattern() for _ in range(count)]
    for g, p in enumerate(positions):
        patterns[p // modwriter.ROWS][p % modwriter.ROWS] = tl.rows[g]

    seconds = 0.0
    tempo = None
    starts = dict((s, sec) for (name, s), sec in zip(tl.section_starts, sections))
    for g in range(total):
        if g in starts:
            tempo = starts[g].tempo
        seconds += SPEED * 2.5 / tempo
    return patterns, list(range(count)), seconds
