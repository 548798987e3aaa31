"""Synthesizes the carol module's instruments as 8-bit signed samples from fixed seeds. Where a
tone is a sum of partials with random phases, its seed is the one among the first few hundred
whose phases give the lowest peak: a sample is scaled to its peak, so a lower peak is a louder
tone in the same eight bits."""

import math
import random

from modwriter import CLOCK_RATE, PERIODS, Sample

TWO_PI = 2.0 * math.pi
# Playback rate of tracker note C-2; every pitched sample is built for it.
C2_RATE = CLOCK_RATE / PERIODS[12]


def to_int8(values, peak=118):
    """Scales floats to a signed-byte peak, prefixed with the two silent bytes players
    expect."""
    top = max(abs(v) for v in values) or 1.0
    k = peak / top
    out = bytearray(b"\0\0")
    for v in values:
        out.append(int(round(v * k)) & 0xFF)
    if len(out) % 2:
        out.append(0)
    return bytes(out)


def taper_end(values, count):
    """Fades the last samples to silence so an unlooped sample never stops on a step."""
    n = len(values)
    for i in range(count):
        values[n - count + i] *= 0.5 + 0.5 * math.cos(math.pi * (i + 1) / count)
    return values


def decaying_partials(partials, f0, n, attack_samples, loop=0):
    """Sums sine partials (frequency ratio, amplitude, decay time in seconds, phase in
    cycles), each dying away on its own, under a short linear attack against clicks. The last
    `loop` samples hold the whole-number partials at the level they reached, so a loop over
    them (a whole number of cycles) sustains the tone without a step; the others have died by
    then."""
    out = []
    hold = (n - loop) / C2_RATE
    for i in range(n):
        t = i / C2_RATE
        v = 0.0
        for ratio, amp, tau, ph in partials:
            if i < n - loop:
                v += amp * math.exp(-t / tau) * math.sin(TWO_PI * (f0 * ratio * t + ph))
            elif ratio == int(ratio):
                v += amp * math.exp(-hold / tau) * math.sin(TWO_PI * (f0 * ratio * t + ph))
        out.append(v * min(1.0, i / attack_samples))
    return out


def looped(name, values, peak, volume, loop):
    """A sample whose last `loop` values repeat; to_int8's two leading zeros move the loop by
    two."""
    data = to_int8(values, peak)
    return Sample(name, data, volume=volume, loop_start=len(values) - loop + 2, loop_length=loop)


def struck(name, partials, spc, loop_cycles, seconds, attack, volume):
    """A struck tone of decaying partials at `spc` samples a cycle, sounding for `seconds` and
    then sustained by a loop of `loop_cycles` whole cycles."""
    loop = spc * loop_cycles
    n = int(seconds * C2_RATE) // spc * spc + loop
    out = decaying_partials(partials, C2_RATE / spc, n, attack_samples=attack, loop=loop)
    return looped(name, out, 120, volume, loop)


# The celesta's partials: (frequency ratio, amplitude, decay time in seconds).
# The second to fourth ring long enough to carry the tune in 2-4 kHz through a room's chatter.
CELESTA_PARTIALS = ((1.0, 1.0, 0.95), (2.0, 0.50, 0.70), (3.0, 0.30, 0.50), (4.07, 0.16, 0.22),
                    (5.4, 0.07, 0.07), (6.8, 0.03, 0.03))


def celesta(seed=66):
    """Struck steel bar: bright harmonics that die away over a warm fundamental; 16 samples a
    cycle."""
    rng = random.Random(seed)
    partials = [(ratio, amp, tau, rng.random()) for ratio, amp, tau in CELESTA_PARTIALS]
    return struck("celesta", partials, 16, 32, 1.2, 24.0, 64)


def pluck_bass(seed=193):
    """Plucked string: harmonics at a fixed 64 samples a cycle, upper ones decaying first."""
    rng = random.Random(seed)
    harmonics = []
    for h in range(1, 13):
        # Plucked near one fifth of the string length: the 5th and 10th harmonics are weak.
        amp = abs(math.sin(math.pi * h * 0.2)) / h
        tau = 0.85 / (1.0 + 0.45 * (h - 1))
        harmonics.append((h, amp, tau, rng.random()))
    return struck("pluck bass", harmonics, 64, 4, 1.0, 12.0, 56)


# Chord shapes for the pad in equal-tempered semitones over the root: root, fifth, octave and
# the third (or seventh) above, so the melody's notes agree with every chord tone.
PAD_CHORDS = {"maj": (0, 7, 12, 16), "min": (0, 7, 12, 15), "7": (0, 7, 10, 16)}
PAD_SPC = 32  # samples a root cycle
PAD_ATTACK = 48  # a few milliseconds: the new chord takes over at once, with no hole
# Root cycles in a loop: the twins of a pair lie 1/798 of a cycle apart, about 1.1 cents either
# side of the tone they straddle, and every other tone lands as close.
PAD_ROOT_CYCLES = 798


def pad_cycles(semitones, root_cycles):
    """Whole cycles per loop for each chord tone, the lower of a chorus pair one cycle apart
    whose two pitches straddle the equal-tempered one."""
    centre = root_cycles + 0.5
    return [int(round(centre * 2 ** (s / 12.0) - 0.5)) for s in semitones]


def pad(kind, seed):
    """Soft chorused organ pad holding a whole chord; 32 samples a root cycle, looped. The loop
    holds a whole number of cycles of every tone, so the loop point cannot click."""
    rng = random.Random(seed)
    semitones = PAD_CHORDS[kind]
    loop = PAD_SPC * PAD_ROOT_CYCLES + PAD_SPC // 2
    total = PAD_ATTACK + loop
    voices = []
    for k, cycles in enumerate(pad_cycles(semitones, PAD_ROOT_CYCLES)):
        level = (1.0, 0.55, 0.6, 0.45)[k]
        for detune in (0, 1):
            # The twin runs one cycle ahead per loop: a slow, loop-safe chorus beat.
            for h, hamp in ((1, 1.0), (2, 0.32), (3, 0.14), (4, 0.06)):
                voices.append((h * (cycles + detune), level * hamp, rng.random()))
    out = []
    for i in range(total):
        x = (i - PAD_ATTACK) / loop
        v = 0.0
        for cyc, amp, ph in voices:
            v += amp * math.sin(TWO_PI * (cyc * x + ph))
        if i < PAD_ATTACK:
            v *= 0.5 - 0.5 * math.cos(math.pi * i / PAD_ATTACK)
        out.append(v)
    return looped("pad " + kind, out, 110, 52, loop)


# Sleigh bells are built for the highest tracker note, B-3 (31.6 kHz), and ring between 2.7
# and 5.6 kHz, low against that rate: the mixer's images of them (at the rate minus the tone,
# folded back below 22 kHz) then lie some 30 dB under the jingle itself.
BELLS_NOTE = 35
BELLS_RATE = CLOCK_RATE / PERIODS[BELLS_NOTE]


# Ringing band-passes of the small shells: centre (Hz), Q and gain.
BELL_RESONANCES = ((2700.0, 14.0, 0.7), (3600.0, 18.0, 1.0), (4500.0, 20.0, 0.9),
                   (5600.0, 24.0, 0.45))


def _jingle(rng, length, onsets, decay):
    """Noise through a bank of ringing band-passes, struck at each onset: small metal shells."""
    rate = BELLS_RATE
    noise = [0.0] * length
    for onset, amp in onsets:
        start = int(onset * rate)
        for i in range(start, length):
            t = (i - start) / rate
            e = amp * math.exp(-t / decay)
            if e < 1e-4:
                break
            noise[i] += e * (rng.random() * 2.0 - 1.0)
    out = [0.0] * length
    for freq, q, gain in BELL_RESONANCES:
        # Two-pole resonator (constant peak gain band-pass).
        w = TWO_PI * freq / rate
        r = math.exp(-w / (2.0 * q))
        a1, a2 = 2.0 * r * math.cos(w), -r * r
        g = (1.0 - r) * gain
        y1 = y2 = 0.0
        for i in range(length):
            y = g * noise[i] + a1 * y1 + a2 * y2
            out[i] += y
            y2, y1 = y1, y
    return out


def sleigh_shake(seed=3303):
    """A shaken strap of bells: a cluster of jingles over a few hundredths of a second."""
    rng = random.Random(seed)
    length = int(0.30 * BELLS_RATE)
    onsets = [(0.0, 1.0)]
    t = 0.0
    for k in range(7):
        t += 0.006 + rng.random() * 0.012
        onsets.append((t, 0.75 * (0.8 ** k) * (0.7 + 0.3 * rng.random())))
    out = _jingle(rng, length, onsets, 0.05)
    taper_end(out, 800)
    return Sample("sleigh shake", to_int8(out, 115), volume=56)


def sleigh_tap(seed=4404):
    """A single light tap of the strap: a short jingle."""
    rng = random.Random(seed)
    length = int(0.14 * BELLS_RATE)
    onsets = [(0.0, 1.0), (0.004, 0.5), (0.011, 0.3)]
    out = _jingle(rng, length, onsets, 0.025)
    taper_end(out, 600)
    return Sample("sleigh tap", to_int8(out, 115), volume=42)


def held(name, harmonics, seed, attack, volume, breath=0.0):
    """A blown tone that holds its breath as long as the note lasts: whole harmonics (number,
    amplitude) at 16 samples a cycle with random phases under a soft attack of `attack`
    samples, then a loop of whole cycles. `breath` adds a puff of noise to the attack, which
    dies before the loop. Harmonics stay below the eighth, half the sample's rate."""
    rng = random.Random(seed)
    phases = [rng.random() for _ in harmonics]
    spc, loop = 16, 16 * 64
    n = (attack + 2 * spc) // spc * spc + loop
    out = []
    for i in range(n):
        x = i / spc
        v = sum(amp * math.sin(TWO_PI * (h * x + ph)) for (h, amp), ph in zip(harmonics, phases))
        rise = min(1.0, i / attack)
        v *= 0.5 - 0.5 * math.cos(math.pi * rise)
        if breath and i < attack:
            v += breath * math.sin(math.pi * i / attack) * (rng.random() * 2.0 - 1.0)
        out.append(v)
    return looped(name, out, 116, volume, loop)


# A flute's soft, airy tone: a strong fundamental, the octave and a little of the upper
# harmonics, which at the tune's pitches reach 3.5 to 8 kHz.
FLUTE_HARMONICS = ((1, 1.0), (2, 0.32), (3, 0.16), (4, 0.07), (5, 0.05), (6, 0.03), (7, 0.02))
# A clarinet's hollow tone: the odd harmonics strong, the even ones faint.
CLARINET_HARMONICS = ((1, 1.0), (2, 0.03), (3, 0.32), (4, 0.03), (5, 0.12), (6, 0.02),
                      (7, 0.035))


def flute(seed=7):
    """Flute: a breathy 30 ms onset, then a steady tone; 16 samples a cycle, looped."""
    return held("flute", FLUTE_HARMONICS, seed, 240, 60, breath=0.08)


def clarinet(seed=11):
    """Clarinet: a reedy tone under a 20 ms onset; 16 samples a cycle, looped."""
    return held("clarinet", CLARINET_HARMONICS, seed, 160, 56)


# A glockenspiel bar's partials (frequency ratio, amplitude, decay in seconds): the bar's own
# overtones at 2.76 and 5.40 times the fundamental give the bright, metallic strike (4 to 8 kHz
# on the tune's upper notes) and die quickly; the octave rings a little longer.
GLOCKENSPIEL_PARTIALS = ((1.0, 1.0, 1.1), (2.0, 0.12, 0.5), (2.76, 0.45, 0.18),
                         (5.40, 0.22, 0.06))


def glockenspiel(seed=5):
    """Glockenspiel: a small struck steel bar; 16 samples a cycle, sustained in a loop."""
    rng = random.Random(seed)
    partials = [(ratio, amp, tau, rng.random()) for ratio, amp, tau in GLOCKENSPIEL_PARTIALS]
    return struck("glockenspiel", partials, 16, 32, 1.0, 8.0, 64)


# Percussion is built for the highest tracker note, as the bells are, and played there.
def _hit(name, length, voice, volume, taper):
    out = [voice(i / BELLS_RATE) for i in range(int(length * BELLS_RATE))]
    taper_end(out, taper)
    return Sample(name, to_int8(out, 112), volume=volume)


def kick():
    """A soft kick drum: a sine falling from 110 to 50 Hz, dying over a fifth of a second,
    with a 2 ms onset."""
    def voice(t):
        phase = 50.0 * t + 60.0 * 0.03 * (1.0 - math.exp(-t / 0.03))
        return math.sin(TWO_PI * phase) * math.exp(-t / 0.09) * min(1.0, t / 0.002)
    return _hit("kick", 0.35, voice, 56, 400)


def woodblock(seed=21):
    """A woodblock: two hollow resonances struck once, dying within a tenth of a second."""
    rng = random.Random(seed)
    phases = (rng.random(), rng.random())

    def voice(t):
        ring = (math.sin(TWO_PI * (880.0 * t + phases[0])) * math.exp(-t / 0.035)
                + 0.5 * math.sin(TWO_PI * (1530.0 * t + phases[1])) * math.exp(-t / 0.02))
        return ring * min(1.0, t / 0.0008)
    return _hit("woodblock", 0.16, voice, 40, 300)


def brush(seed=31):
    """A brush on a snare: a swish of bright noise (the lows taken off by a difference, the
    very highs by a gentle low-pass) swelling over 10 ms and dying over 60 ms."""
    rng = random.Random(seed)
    low = last = 0.0
    out = []
    for i in range(int(0.22 * BELLS_RATE)):
        t, noise = i / BELLS_RATE, rng.random() * 2.0 - 1.0
        low += 0.45 * (noise - last - low)
        last = noise
        out.append(low * min(1.0, t / 0.01) * math.exp(-t / 0.06))
    taper_end(out, 800)
    return Sample("brush", to_int8(out, 112), volume=44)
