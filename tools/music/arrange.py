"""Arranges the carol score into ProTracker patterns: the timeline of its rows, then the
mixer's chunk timing."""

import chunk_timing
import timeline


def arrange(sections, samples):
    """The song's timeline with every effect placed, and the pattern position of each row."""
    tl = timeline.lay_out(sections, samples)
    positions = timeline.align_closing_section(tl)
    timeline.place_controls(tl)
    chunk_timing.steer_clear_of_chunk_ends(tl)
    return tl, positions


def build_patterns(sections, samples):
    """Returns (patterns, orders, seconds) of the sections played by the given samples."""
    tl, positions = arrange(sections, samples)
    patterns = timeline.cut_patterns(tl, positions)
    return patterns, list(range(len(patterns))), timeline.song_seconds(tl)
