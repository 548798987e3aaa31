#!/usr/bin/python3
"""Measures a rendering of the medley as a listener hears it: loudness after ITU-R BS.1770
(K-weighted, momentary over 400 ms, integrated with its two gates), the balance of the ears and
single-sample steps that stand out from the music around them (clicks)."""

import os
import sys
import tempfile

import numpy as np

# Run as a script, it finds the music tools beside its own folder.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "music"))
import make_module  # noqa: E402 (found through the path set above)
import mixer_format  # noqa: E402
import render_sdl  # noqa: E402

RATE = mixer_format.RATE
SUB_BLOCK = RATE // 10  # momentary loudness moves in steps of 100 ms
MOMENTARY_SUB_BLOCKS = 4  # 400 ms
SHORT_TERM_SUB_BLOCKS = 30  # 3 s
RISE_SUB_BLOCKS = 5  # how far apart two momentary windows are for a rise: 500 ms
# BS.1770's K-weighting, as its two biquads (b, a) at 48 kHz: a high shelf of +4 dB above about
# 1.7 kHz, then a high-pass at 38 Hz. Below 22 kHz their response at 48 kHz is the weighting's
# curve, which is what a power spectrum at any other rate is weighted by.
K_RATE = 48000
K_STAGES = (((1.53512485958697, -2.69169618940638, 1.19839281085285),
             (1.0, -1.69065929318241, 0.73248077421585)),
            ((1.0, -2.0, 1.0), (1.0, -1.99004745483398, 0.99007225036621)))
ABSOLUTE_GATE, RELATIVE_GATE = -70.0, -10.0
# A step is a click when it is more than CLICK_RATIO times the largest step within
# CLICK_WINDOW samples (10 ms) on either side of it. Its own two neighbours are left out, so
# that a click of two steps (a spike) is not hidden by its other half.
CLICK_RATIO, CLICK_WINDOW = 2.0, RATE // 100
# PCM is 16-bit stereo as the mixer writes it, an array (frames, 2); it is worked through in
# slabs of this many frames, which keeps a render of many minutes in memory as it is.
FULL_SCALE, SLAB = 32768.0, 1 << 22


def k_weighting_power(freqs):
    """|H(f)|^2 of the K-weighting filter at the given frequencies (Hz)."""
    z = np.exp(-2j * np.pi * np.asarray(freqs) / K_RATE)
    gain = 1.0
    for b, a in K_STAGES:
        gain = gain * (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z)
    return np.abs(gain) ** 2


def sub_block_power(pcm):
    """K-weighted mean square of each channel in every 100 ms sub-block, full scale 1: an array
    (blocks, 2)."""
    blocks = len(pcm) // SUB_BLOCK
    frames = pcm[:blocks * SUB_BLOCK].reshape(blocks, SUB_BLOCK, 2)
    slab = SLAB // SUB_BLOCK
    return np.concatenate([block_power(frames[i:i + slab]) for i in range(0, blocks, slab)])


def block_power(frames):
    """K-weighted mean square of each channel of each block of PCM blocks (blocks, frames, 2).
    The weighting is applied to each block's spectrum (Parseval), which for blocks of 100 ms
    and more matches the filter."""
    weight = k_weighting_power(np.fft.rfftfreq(frames.shape[1], 1 / RATE))
    weight[1:-1] *= 2  # the one-sided spectrum's bins stand for two
    power = np.empty((len(frames), 2))
    for ch in range(2):
        spectrum = np.abs(np.fft.rfft(frames[:, :, ch] / FULL_SCALE, axis=1)) ** 2
        power[:, ch] = spectrum @ weight / frames.shape[1] ** 2
    return power


def peak_dbfs(pcm):
    return 20 * np.log10(max(int(pcm.max()), -int(pcm.min()), 1) / FULL_SCALE)


def quietest_dbfs(pcm, width):
    """The level (dBFS, both ears) of the quietest stretch of `width` frames, side by side."""
    blocks = pcm[:len(pcm) // width * width].astype(float).reshape(-1, width, 2) / FULL_SCALE
    return 10 * np.log10(max((blocks ** 2).mean(axis=(1, 2)).min(), 1e-20))


def lufs(mean_square):
    return -0.691 + 10 * np.log10(np.maximum(mean_square, 1e-20))


def integrated(power):
    """Integrated loudness (LUFS): the 400 ms windows above the absolute gate, then those within
    10 LU of their mean."""
    both = np.lib.stride_tricks.sliding_window_view(power.sum(axis=1), MOMENTARY_SUB_BLOCKS)
    blocks = both.mean(axis=1)
    blocks = blocks[lufs(blocks) > ABSOLUTE_GATE]
    return lufs(blocks[lufs(blocks) > lufs(blocks.mean()) + RELATIVE_GATE].mean())


def windowed(power, sub_blocks):
    """The loudness (LUFS) of every window of `sub_blocks` sub-blocks, a sub-block apart."""
    both = np.lib.stride_tricks.sliding_window_view(power.sum(axis=1), sub_blocks)
    return lufs(both.mean(axis=1))


def short_term_floor(power):
    """(LUFS, second) of the quietest 3 s window."""
    short = windowed(power, SHORT_TERM_SUB_BLOCKS)
    return short.min(), short.argmin() * SUB_BLOCK / RATE


def largest_rise(power):
    """(LU, second) of the largest rise of the momentary loudness within 500 ms: a window
    against the one starting 500 ms after it."""
    momentary = windowed(power, MOMENTARY_SUB_BLOCKS)
    rise = momentary[RISE_SUB_BLOCKS:] - momentary[:-RISE_SUB_BLOCKS]
    return rise.max(), rise.argmax() * SUB_BLOCK / RATE


def balance(power):
    """Left minus right in dB, K-weighted, over the given sub-blocks."""
    left, right = power.sum(axis=0)
    return 10 * np.log10(left / right)


def frame_steps(pcm):
    """How far each frame steps to the next, the larger of its two channels' steps: every
    channel of the module sounds in both ears."""
    steps = np.empty(len(pcm) - 1, dtype=np.int32)
    for i in range(0, len(steps), SLAB):
        part = pcm[i:i + SLAB + 1].astype(np.int32)
        steps[i:i + SLAB] = np.abs(np.diff(part, axis=0)).max(axis=1)
    return steps


def window_max(values, starts, width):
    """The largest of values[s:s + width] for each s in starts."""
    bounds = np.stack([starts, starts + width], axis=1).ravel()
    return np.maximum.reduceat(values, bounds)[::2] if len(starts) else values[:0]


def clicks(pcm):
    """Frame indices where a sample steps more than CLICK_RATIO times the largest step within
    10 ms before and after it (the step's two neighbours left out)."""
    steps, width = frame_steps(pcm), CLICK_WINDOW
    at = np.arange(width + 1, len(steps) - width - 2)
    # only a step above twice the ones two before and two after it (each inside one of its
    # windows) can stand out from them: only those are looked at
    at = at[(steps[at] > CLICK_RATIO * steps[at - 2]) & (steps[at] > CLICK_RATIO * steps[at + 2])]
    # steps[i] against steps[i - 1 - width:i - 1] and steps[i + 2:i + 2 + width]
    around = np.maximum(window_max(steps, at - 1 - width, width), window_max(steps, at + 2, width))
    return at[steps[at] > CLICK_RATIO * around]


def boundary_jump(pcm, second):
    """How far the momentary loudness moves across `second`: the 400 ms just before it
    against the 400 ms just after, in LU."""
    at, width = int(round(second * RATE)), SUB_BLOCK * MOMENTARY_SUB_BLOCKS
    before, after = block_power(pcm[at - width:at + width].reshape(2, width, 2)).sum(axis=1)
    return lufs(after) - lufs(before)


def sections(pcm, power, times, passes=1):
    """Per section (name, first second, last second) of each of the equally long passes the
    rendering holds: its integrated loudness, its balance and the jump of the momentary loudness
    into it (none at the very start). `power` is the rendering's sub_block_power."""
    length = len(pcm) / passes / RATE
    rows = []
    for start in np.arange(passes) * length:
        for name, first, last in times:
            part = power[int((start + first) * 10):int((start + last) * 10)]
            jump = boundary_jump(pcm, start + first) if start + first else float("nan")
            rows.append((name, start + first, start + last, integrated(part), balance(part),
                         jump))
    return rows


def three_plays(module):
    """The module played three times over through the show's mixer (two restarts), as PCM."""
    with tempfile.TemporaryDirectory() as tmp:
        pcm = render_sdl.render(str(module), os.path.join(tmp, "render.raw"), loops=2)
    return np.frombuffer(pcm, dtype=np.int16).reshape(-1, 2)


def main(argv):
    """Prints the loudness, balance and clicks of three plays of the module, and of every
    section of the first pass."""
    if len(argv) != 2:
        sys.stderr.write("usage: listen.py MODULE\n")
        return 2
    pcm = three_plays(argv[1])
    power = sub_block_power(pcm)
    print("%.2f s, integrated %.2f LUFS, L-R %+.2f dB, peak %.2f dBFS, clicks at %s"
          % (len(pcm) / RATE, integrated(power), balance(power), peak_dbfs(pcm),
             list(np.round(clicks(pcm) / RATE, 3))))
    print("quietest 3 s %.2f LUFS at %.1f s, largest rise in 500 ms %.2f LU at %.1f s"
          % (short_term_floor(power) + largest_rise(power)))
    print("section        from      to    LUFS    L-R   jump in")
    times = make_module.section_times()
    for row in sections(pcm, power, times, passes=3)[:len(times) + 1]:  # and a restart
        print("%-12s %6.1f  %6.1f  %6.1f  %+5.1f  %+5.1f" % row)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
