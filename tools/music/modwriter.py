"""Writes ProTracker modules of 4, 6 or 8 channels ("M.K.", "6CHN", "8CHN") byte by byte,
refusing anything players disagree on."""

import struct

# ProTracker's finetune-0 period table, C-1 .. B-3. Other values are snapped to
# different notes by some players, so cells may only use these (or 0 = no note).
PERIODS = (
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
)
PERIOD_SET = frozenset(PERIODS)

# PC players (libmikmod, libopenmpt, libxmp) play period 428 (C-2) at 8363 Hz:
# the playback rate in Hz is CLOCK_RATE / period.
CLOCK_RATE = 8363.0 * 428

ROWS = 64
# The tag after the orders names the channel count; every player reads these three alike.
CHANNEL_TAGS = {4: b"M.K.", 6: b"6CHN", 8: b"8CHN"}
MAX_SAMPLES = 31
MAX_SAMPLE_BYTES = 65534
MAX_PATTERNS = 64
MAX_ORDERS = 128
RESTART_BYTE = 0x7F

# The effect codes the arranger writes, in ProTracker's numbering.
FX_VIBRATO = 0x4  # param: speed and depth nibbles
FX_POSITION_JUMP = 0xB
FX_SET_VOLUME = 0xC
FX_PATTERN_BREAK = 0xD  # param: the row to start the next pattern at, as two decimal digits
FX_EXTENDED = 0xE
FX_SPEED = 0xF  # param below 0x20: ticks per row; from 0x21 on: the tempo in beats a minute
EXT_FINE_VOLUME_DOWN = 0xB0  # with FX_EXTENDED: lowers the volume by the low nibble, once a row
EXT_NOTE_CUT = 0xC0  # with FX_EXTENDED: silences the note on the tick in the low nibble
EXT_NOTE_DELAY = 0xD0  # with FX_EXTENDED: strikes the row's note on the tick in the low nibble
SPEED_LIMIT = 0x20  # the F param that players read either way
# Every player starts a module at speed 6 and tempo 125.
DEFAULT_SPEED, DEFAULT_TEMPO = 6, 125
# Tempo 125 gives 50 ticks a second, the Amiga's frame rate: a tick lasts 2.5 / tempo seconds.
TEMPO_TICK_SECONDS = 2.5


class ModuleError(ValueError):
    """A module that would load differently (or not at all) in some player."""


def period(note_index):
    """Period of tracker note 0 (C-1) .. 35 (B-3)."""
    if not 0 <= note_index < len(PERIODS):
        raise ModuleError("note %d is outside C-1..B-3" % note_index)
    return PERIODS[note_index]


def row_seconds(speed, tempo):
    """How long a row lasts at `speed` ticks a row: a tick is TEMPO_TICK_SECONDS / tempo seconds."""
    return speed * TEMPO_TICK_SECONDS / tempo


def pattern_break_param(row):
    """The pattern break's parameter for the row to start at: its two decimal digits as nibbles."""
    return (row // 10) << 4 | row % 10


class Sample:
    """One 8-bit signed instrument; loop_start/loop_length are in bytes, length 0 = not looped."""

    def __init__(self, name, data, volume=64, finetune=0, loop_start=0, loop_length=0):
        self.name = name
        self.data = bytes(data)
        self.volume = volume
        self.finetune = finetune
        self.loop_start = loop_start
        self.loop_length = loop_length

    def validate(self):
        n = len(self.data)
        if n % 2:
            raise ModuleError("sample %r has an odd length" % self.name)
        if n > MAX_SAMPLE_BYTES:
            raise ModuleError("sample %r is longer than %d bytes" % (self.name, MAX_SAMPLE_BYTES))
        if n and self.data[:2] != b"\0\0":
            raise ModuleError("sample %r must begin with two zero bytes" % self.name)
        if len(self.name.encode("latin-1")) > 22:
            raise ModuleError("sample name %r is longer than 22 bytes" % self.name)
        if not 0 <= self.volume <= 64:
            raise ModuleError("sample %r volume out of range" % self.name)
        if not 0 <= self.finetune <= 15:
            raise ModuleError("sample %r finetune out of range" % self.name)
        if self.loop_length:
            if self.loop_start % 2 or self.loop_length % 2:
                raise ModuleError("sample %r loop is not word aligned" % self.name)
            if self.loop_length <= 4:
                raise ModuleError("sample %r loop must be longer than 2 words" % self.name)
            if self.loop_start < 0 or self.loop_start + self.loop_length > n:
                raise ModuleError("sample %r loop runs outside its data" % self.name)
        elif self.loop_start:
            raise ModuleError("sample %r has a loop start but no loop" % self.name)

    def header(self):
        self.validate()
        if self.loop_length:
            rep_start, rep_len = self.loop_start // 2, self.loop_length // 2
        else:
            rep_start, rep_len = 0, 1  # the "no loop" convention every player understands
        return struct.pack(
            ">22sHBBHH",
            self.name.encode("latin-1"),
            len(self.data) // 2,
            self.finetune,
            self.volume,
            rep_start,
            rep_len,
        )


EMPTY_SAMPLE_HEADER = struct.pack(">22sHBBHH", b"", 0, 0, 0, 0, 1)


class Cell:
    """One channel in one row: sample 0..31, period 0 or from PERIODS, effect 0..15, param
    0..255."""

    __slots__ = ("sample", "period", "effect", "param")

    def __init__(self, sample=0, period=0, effect=0, param=0):
        self.sample = sample
        self.period = period
        self.effect = effect
        self.param = param

    def has_effect(self):
        return self.effect != 0 or self.param != 0

    def validate(self):
        if not 0 <= self.sample <= MAX_SAMPLES:
            raise ModuleError("sample number %d out of range" % self.sample)
        if self.period and self.period not in PERIOD_SET:
            raise ModuleError("period %d is not in the ProTracker table" % self.period)
        if not 0 <= self.effect <= 15 or not 0 <= self.param <= 255:
            raise ModuleError("effect %X%02X out of range" % (self.effect, self.param))
        if self.effect == FX_SPEED and self.param in (0x00, SPEED_LIMIT):
            # F00 stops some players and F20 is read as speed 32 or as 32 BPM.
            raise ModuleError("effect F%02X is ambiguous between players" % self.param)
        if self.effect == FX_POSITION_JUMP:
            raise ModuleError("position jumps are ignored by the show's player")

    def encode(self):
        self.validate()
        return bytes((
            (self.sample & 0xF0) | (self.period >> 8),
            self.period & 0xFF,
            ((self.sample & 0x0F) << 4) | self.effect,
            self.param,
        ))


def empty_pattern(channels):
    return [[Cell() for _ in range(channels)] for _ in range(ROWS)]


class Module:
    def __init__(self, title, samples, patterns, orders):
        self.title = title
        self.samples = list(samples)
        self.patterns = list(patterns)
        self.orders = list(orders)
        self.channels = len(self.patterns[0][0]) if self.patterns and self.patterns[0] else 0

    def validate(self):
        if len(self.title.encode("latin-1")) > 20:
            raise ModuleError("title is longer than 20 bytes")
        if len(self.samples) > MAX_SAMPLES:
            raise ModuleError("more than %d samples" % MAX_SAMPLES)
        if not 1 <= len(self.orders) <= MAX_ORDERS:
            raise ModuleError("order list must hold 1..%d entries" % MAX_ORDERS)
        if not 1 <= len(self.patterns) <= MAX_PATTERNS:
            raise ModuleError("pattern count must be 1..%d" % MAX_PATTERNS)
        if any(not 0 <= o < len(self.patterns) for o in self.orders):
            raise ModuleError("order list names a missing pattern")
        # Players size the pattern block from the highest order entry, so every
        # stored pattern must be reachable or the sample data would be misread.
        if max(self.orders) != len(self.patterns) - 1:
            raise ModuleError("every stored pattern must appear in the order list")
        if self.channels not in CHANNEL_TAGS:
            raise ModuleError("a module has 4, 6 or 8 channels, not %d" % self.channels)
        for pat in self.patterns:
            if len(pat) != ROWS or any(len(row) != self.channels for row in pat):
                raise ModuleError("patterns must be %d rows of %d channels"
                                  % (ROWS, self.channels))
            for row in pat:
                for cell in row:
                    if cell.sample > len(self.samples):
                        raise ModuleError("cell uses undefined sample %d" % cell.sample)

    def to_bytes(self):
        self.validate()
        out = bytearray()
        out += struct.pack("20s", self.title.encode("latin-1"))
        for i in range(MAX_SAMPLES):
            out += self.samples[i].header() if i < len(self.samples) else EMPTY_SAMPLE_HEADER
        out += bytes((len(self.orders), RESTART_BYTE))
        out += bytes(self.orders) + bytes(MAX_ORDERS - len(self.orders))
        out += CHANNEL_TAGS[self.channels]
        for pat in self.patterns:
            for row in pat:
                for cell in row:
                    out += cell.encode()
        for s in self.samples:
            out += s.data
        return bytes(out)
