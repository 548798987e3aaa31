"""End-to-end in a real X11 window: the caption, and a real Escape press and release."""
import subprocess
import time
import unittest

from harness import BIN, Scratch, show_env
from xserver import Xvfb


class RealWindow(unittest.TestCase):
    def test_window_is_named_and_only_the_escape_release_ends_the_show(self):
        with Xvfb() as x, Scratch() as d:
            env = show_env(SDL_VIDEODRIVER="x11", DISPLAY=x.display)
            show = subprocess.Popen([BIN], cwd=d, env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
            try:
                window = x.wait_for_window("^Frostfunkel")
                self.assertIsNotNone(window, "no window appeared")
                self.assertEqual(x.xdotool("getwindowname", window), "Frostfunkel ")
                x.xdotool("windowfocus", "--sync", window)
                x.xdotool("keydown", "Escape")
                time.sleep(1.0)  # several ticks with the key held down
                self.assertIsNone(show.poll(), "pressing Escape ended the show")
                x.xdotool("keyup", "Escape")
                self.assertEqual(show.wait(timeout=10), 0)
                lines = show.stdout.read().decode().splitlines()
                self.assertGreaterEqual(len(lines), 4)
                self.assertEqual(lines[0], " " * 18)
            finally:
                if show.poll() is None:
                    show.kill()
                    show.wait()
                show.stdout.close()


if __name__ == "__main__":
    unittest.main()
