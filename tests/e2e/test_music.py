"""End-to-end: the show restarts its module from the start whenever it ends."""
import array
import subprocess
import time
import unittest
from pathlib import Path

import modwriter as mw
from harness import BIN, scratch, show_env

ONE_PASS = 64 * 0.04  # one pattern of 64 rows at speed 2: 2.56 s


def beep_module():
    """A module that beeps on its first row, about 1 kHz for 0.16 s, and is silent after."""
    pattern = mw.empty_pattern()
    pattern[0][0], pattern[4][0] = mw.Cell(1, 214, 0xF, 2), mw.Cell(0, 0, 0xC, 0)
    square = b"\0\0" + (b"\x60" * 4 + b"\xa0" * 4) * 8
    beep = mw.Sample("beep", square, volume=64, loop_start=2, loop_length=64)
    return mw.Module("beep", [beep], [pattern], [0]).to_bytes()


class Music(unittest.TestCase):
    def test_the_module_starts_again_from_its_start_whenever_it_ends(self):
        with scratch(replace={"xmas.mod": beep_module()}) as d:
            audio = Path(d, "audio.raw")
            env = show_env(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=audio, SDL_DISKAUDIODELAY=0)
            show = subprocess.Popen([BIN], cwd=d, env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10  # the disk driver mixes faster than real time
            while time.monotonic() < deadline and (
                    not audio.exists() or audio.stat().st_size < 6 * ONE_PASS * 44100 * 4):
                time.sleep(0.05)
            show.terminate()
            self.assertEqual(show.wait(timeout=10), 0)
            pcm = array.array("h", audio.read_bytes()[:audio.stat().st_size // 4 * 4])
        # the seconds at which the sound rises out of silence, in frames of 10 ms
        loud = [max(map(abs, pcm[i:i + 882])) > 2000 for i in range(0, len(pcm) - 882, 882)]
        starts = [i / 100 for i in range(1, len(loud)) if loud[i] and not loud[i - 1]]
        self.assertGreaterEqual(len(starts), 5, f"passes began at {starts} s")
        for earlier, later in zip(starts, starts[1:]):
            self.assertAlmostEqual(later - earlier, ONE_PASS, delta=0.1, msg=starts)


if __name__ == "__main__":
    unittest.main()
