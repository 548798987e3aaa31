"""End-to-end start-up failures: no display, no audio device, no music module."""
import os
import tempfile
import unittest

from harness import Scratch, run_show
from harness import window


class StartFailures(unittest.TestCase):
    def test_no_display_gives_the_message_without_line_end_and_status_1(self):
        with Scratch() as d:
            run = run_show(d, quit_after=5, unset=("DISPLAY",), SDL_VIDEODRIVER="x11")
        self.assertEqual(run.status, 1)
        self.assertRegex(run.stderr, r"^Bildschirm konnte nicht initialisiert werden: \S.*[^\n]$")
        self.assertEqual(run.stdout, "")
        self.assertEqual(run.flips, 0)

    def test_audio_device_that_cannot_open_ends_with_status_2_before_the_scene(self):
        missing = os.path.join(tempfile.gettempdir(), "frostfunkel-no-such-dir", "audio.raw")
        # Without picture and font: reaching them would end with status 1 instead.
        with Scratch(omit=("rahmen.png", "PC_Snowballs.ttf")) as d:
            run = run_show(d, quit_after=5, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=missing)
        self.assertEqual(run.status, 2)
        self.assertRegex(run.stdout, r"^Mix_OpenAudio: \S.*\n$")
        self.assertEqual(run.stderr, "")

    def test_only_a_failing_audio_subsystem_stops_the_start(self):
        # (flags refused, exit status, scroller lines shown)
        for flags, status, ticks in (("0xFFFF", 0, 5), ("0x10", 1, 0)):
            with self.subTest(flags=flags), Scratch() as d:
                run = run_show(d, quit_after=5, FF_FAIL_INIT=flags)
                self.assertEqual(run.status, status, run.stderr)
                self.assertEqual(run.stdout.splitlines(), [window(t) for t in range(ticks)])
                self.assertEqual(run.stderr, "")

    def test_missing_module_is_reported_and_the_show_goes_on(self):
        with Scratch(omit=("xmas.mod",)) as d:
            run = run_show(d, quit_after=20)
        self.assertEqual(run.status, 0, run.stderr)
        lines = run.stdout.split("\n")
        self.assertRegex(lines[0], r"^MUSIC_load: \S")
        self.assertRegex(lines[1], r"^Mix_PlayMusic: \S")
        self.assertEqual(lines[2:], [window(t) for t in range(20)] + [""])


if __name__ == "__main__":
    unittest.main()
