"""Reads the carol score and checks it: every part's notes, chords and bells bar by bar, with
the line of whatever it cannot play."""

import re
from collections import namedtuple

import modwriter
from modwriter import SPEED_LIMIT

TEMPO_RANGE = (SPEED_LIMIT + 1, 255)
# Phrasing, as a player shapes a tune: a bar's first note sounds at the part's volume, the
# other strong beat (the middle of a 4/4 or 6/8 bar) a decibel below, weak notes 2.6 dB below,
# and so does the last note of every phrase. Volumes are linear, so these are amplitude ratios.
STRONG, MIDDLE, WEAK = 1.0, 0.88, 0.74

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
# The pitched lines: the tune, its echo (on the bells' channel where the bells rest), the bass
# and a counter-line of its own; then the pad's chords and the two rows of hits.
LINES = ("melody", "echo", "bass", "counter")
PARTS = LINES + ("chords", "bells", "drums")
OPTIONAL_PARTS = ("echo", "counter", "drums")  # where given, one bar for every bar
VOLUME_PARTS = LINES + ("chords",)
PHRASE_BARS = 2  # bars a phrase, unless a section says otherwise

# The instruments by the names make_module gives their samples.
SMP_CELESTA, SMP_BASS, SMP_SHAKE, SMP_TAP = "celesta", "pluck bass", "sleigh shake", "sleigh tap"
SMP_FLUTE, SMP_CLARINET, SMP_GLOCKENSPIEL = "flute", "clarinet", "glockenspiel"
SMP_KICK, SMP_WOODBLOCK, SMP_BRUSH = "kick", "woodblock", "brush"
# The sounds a tune, its echo or a counter-line may take ("sound PART NAME").
LINE_SOUNDS = (SMP_CELESTA, SMP_FLUTE, SMP_CLARINET, SMP_GLOCKENSPIEL)
SOUNDED_LINES = ("melody", "echo", "counter")
PAD_SAMPLE = {kind: "pad " + kind for kind in ("maj", "min", "7")}
# Soft hits a semitone lower, as a strap of bells never rings twice alike. A late shake comes on
# its row's fourth tick, to ring on over the next downbeat.
BellHit = namedtuple("BellHit", "sample volume note delay")
BELL_HITS = {"S": BellHit(SMP_SHAKE, 50, 35, 0), "s": BellHit(SMP_SHAKE, 30, 34, 0),
             "T": BellHit(SMP_TAP, 48, 35, 0), "t": BellHit(SMP_TAP, 30, 34, 0),
             "L": BellHit(SMP_SHAKE, 44, 35, 4)}
# The light percussion of the quick carols, loud and soft: a soft kick drum, a woodblock and a
# brush; every hit is built for the tracker note it plays at.
DRUM_HITS = {"K": BellHit(SMP_KICK, 56, 35, 0), "k": BellHit(SMP_KICK, 40, 35, 0),
             "W": BellHit(SMP_WOODBLOCK, 40, 35, 0), "w": BellHit(SMP_WOODBLOCK, 28, 35, 0),
             "B": BellHit(SMP_BRUSH, 44, 35, 0), "b": BellHit(SMP_BRUSH, 30, 35, 0)}
HITS = {"bells": BELL_HITS, "drums": DRUM_HITS}
# The melody's side; every other voice takes its side from it.
SIDE_NAMES = ("left", "right")
# Written pitch that lands on tracker note C-1 for each pitched line.
LINE_BASES = {"melody": MELODY_BASE, "echo": MELODY_BASE, "bass": BASS_BASE,
              "counter": MELODY_BASE}


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


def parse_hits(part, text, bar_rows):
    """A bar of bells or drums, one letter a sixteenth, or a bar and its repeat count."""
    pattern, star, times = text.partition("*")
    count = number(times, 1, 64, "a %s repeat" % part) if star else 1
    letters = HITS[part]
    if len(pattern) != bar_rows or set(pattern) - set(letters) - {"."}:
        raise ScoreError("%s bar %r is not %d of %s ."
                         % (part, pattern, bar_rows, " ".join(sorted(letters))))
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
        self.sound = {}  # line -> the sample that plays it, where not its usual one
        self.vibrato = False  # whether the tune's long notes get a singer's vibrato
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
            if rest.strip() not in SIDE_NAMES:
                raise ScoreError("side needs left or right")
            self.side = rest.strip()
        elif word == "sound":
            part, _, name = rest.strip().partition(" ")
            if part not in SOUNDED_LINES or name.strip() not in LINE_SOUNDS:
                raise ScoreError("sound needs one of %s and one of %s"
                                 % (", ".join(SOUNDED_LINES), ", ".join(LINE_SOUNDS)))
            self.sound[part] = name.strip()
        elif word == "vibrato" and not rest.strip():
            self.vibrato = True
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
                if word in HITS:
                    self.bars[word].extend(parse_hits(word, bar, self.bar_rows))
                else:
                    base = LINE_BASES.get(word)
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
        counts = {p: len(self.bars[p]) for p in PARTS
                  if self.bars[p] or p not in OPTIONAL_PARTS}
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
