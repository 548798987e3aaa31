"""End-to-end on a Wayland compositor through sdl12-compat's SDL 2: a lost compositor is no quit."""
import ctypes
import signal
import subprocess
import unittest
from collections import namedtuple

from harness import BIN, next_line, scratch, show_env, started, weston

WAYLAND_LOST = "Bildschirm verloren: die Verbindung zum Wayland-Compositor ist abgebrochen\n"
# Which process is sent which signal while the show draws; whether the show then says the
# display was lost (status 1) or ends as on a quit request (status 0).
Ending = namedtuple("Ending", "case target signal lost")


@unittest.skipUnless(hasattr(ctypes.CDLL("libSDL-1.2.so.0"), "SDL12COMPAT_GetWindow"),
                     "the classic SDL 1.2 has no Wayland driver, only sdl12-compat through SDL 2")
class Compositor(unittest.TestCase):
    CASES = [
        # SDL 2 turns both the signal and a lost compositor into a quit event
        Ending("quit signal, the compositor still there", "show", signal.SIGTERM, lost=False),
        Ending("compositor ended", "weston", signal.SIGTERM, lost=True),
        Ending("compositor crashed", "weston", signal.SIGKILL, lost=True),
    ]

    def test_a_lost_compositor_ends_the_show_with_status_1_saying_so(self):
        for c in self.CASES:
            with self.subTest(c.case), scratch() as d, weston() as (compositor, settings, _):
                show = self.enterContext(started(
                    [BIN], cwd=d, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    env=show_env(SDL_VIDEODRIVER="wayland", **settings)))
                for tick in range(4):  # the show draws
                    self.assertTrue(next_line(show.stdout), f"no line after {tick}")
                (show if c.target == "show" else compositor).send_signal(c.signal)
                stderr = show.communicate(timeout=10)[1].decode()
                # libdecor may have written its own lines before
                self.assertEqual((show.returncode, stderr.endswith(WAYLAND_LOST)),
                                 (1, True) if c.lost else (0, False), stderr)
