"""Times the song as the show's mixer plays it, chunk by chunk: where every row and tick falls,
and where a note or a silencing must move a tick to keep its glide inside one mixing chunk."""

import mixer_format
import modwriter
from modwriter import EXT_NOTE_CUT
from modwriter import EXT_NOTE_DELAY
from modwriter import FX_EXTENDED
from modwriter import FX_SET_VOLUME
from score import SMP_CELESTA
from timeline import SPEED

# The mixer's glide does not run on into its next chunk: one still under way where a chunk ends
# stops there with a step. The show opens the mixer at MIX_RATE with chunks of MIX_CHUNK
# frames and the song starts on a chunk (each time it starts again, too), so the arranger knows
# where every tick falls. A silencing on a tick that begins less than GLIDE_FRAMES before a
# chunk's end moves a tick earlier; a note struck there on a sounding channel has what rings
# silenced on the tick before it.
MIX_RATE, MIX_CHUNK = mixer_format.RATE, mixer_format.CHUNK_FRAMES
GLIDE_FRAMES = 64


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


def section_times(tl):
    """(name, first second, last second) of every section as the show's mixer plays it, whose
    whole-frame ticks run a little ahead of the tempo's."""
    ticks = row_ticks(tl)
    frames = [frame for frame, _ in ticks]
    frames.append(frames[-1] + SPEED * ticks[-1][1])
    starts = [row for _, row in tl.section_starts] + [len(tl.rows)]
    return [(name, frames[row] / MIX_RATE, frames[end] / MIX_RATE)
            for (name, row), end in zip(tl.section_starts, starts[1:])]
