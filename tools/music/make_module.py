#!/usr/bin/python3
"""Builds the show's carol module xmas.mod from score.txt and the synthesized instruments."""

import os
import sys

# Run as a script, Python finds the modules beside it.
import arrange
import chunk_timing
import instruments
import score
from modwriter import Module

HERE = os.path.dirname(os.path.abspath(__file__))
TITLE = "frostfunkel carols"


def build_samples():
    # The arranger finds each by its name.
    return [
        instruments.celesta(),
        instruments.pad("maj", 5),
        instruments.pad("min", 5),
        instruments.pad("7", 209),
        instruments.pluck_bass(),
        instruments.sleigh_shake(),
        instruments.sleigh_tap(),
        instruments.flute(),
        instruments.clarinet(),
        instruments.glockenspiel(),
        instruments.kick(),
        instruments.woodblock(),
        instruments.brush(),
    ]


SCORE = os.path.join(HERE, "score.txt")


def read_score(score_path=SCORE):
    with open(score_path, encoding="utf-8") as f:
        return score.parse_score(f.read())


def build_module(score_path=SCORE):
    samples = build_samples()
    patterns, orders, seconds = arrange.build_patterns(read_score(score_path), samples)
    return Module(TITLE, samples, patterns, orders), seconds


def section_times(score_path=SCORE):
    """(name, first second, last second) of each section of the score as the module plays it."""
    tl, _ = arrange.arrange(read_score(score_path), build_samples())
    return chunk_timing.section_times(tl)


def main(argv):
    """Writes the module only once it is whole: a bad score leaves the old file as it was."""
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: make_module.py OUT.mod [SCORE]\n")
        return 2
    try:
        module, seconds = build_module(*argv[2:])
        data = module.to_bytes()
    except score.ScoreError as e:
        sys.stderr.write("%s: %s\n" % (argv[2] if len(argv) > 2 else "score.txt", e))
        return 1
    with open(argv[1], "wb") as f:
        f.write(data)
    sys.stderr.write("%s: %d bytes, %d patterns, %.1f s\n"
                     % (argv[1], len(data), len(module.patterns), seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
