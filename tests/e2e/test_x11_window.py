"""End-to-end in a real X11 window: the caption, the piped lines and a real Escape."""
import os
import select
import subprocess
import time
import unittest

from harness import BIN, lines, scratch, show_env


class RealWindow(unittest.TestCase):
    def setUp(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp"],
                                pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        self.addCleanup(xvfb.wait, 10)
        self.addCleanup(xvfb.terminate)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:  # the whole line: Xvfb ends if it cannot write all of it
            self.display = ":" + pipe.readline().strip()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.display},
                              capture_output=True, text=True, timeout=10).stdout.rstrip("\n")

    def test_window_is_named_and_only_the_escape_release_ends_the_show(self):
        with scratch() as d:
            show = subprocess.Popen([BIN], cwd=d, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                    env=show_env(SDL_VIDEODRIVER="x11", DISPLAY=self.display))
            self.addCleanup(show.kill)
            deadline, window = time.monotonic() + 20, ""
            while not window and time.monotonic() < deadline:
                window = self.xdotool("search", "--onlyvisible", "--name", "^Frostfunkel")
            self.assertTrue(window, "no window appeared")
            self.assertEqual(self.xdotool("getwindowname", window.split()[0]), "Frostfunkel ")
            # Each line is flushed as it is shown: unflushed, it would wait ~50 s in a buffer.
            self.assertTrue(select.select([show.stdout], [], [], 5)[0], "no line within 5 s")
            self.xdotool("windowfocus", "--sync", window.split()[0])
            self.xdotool("keydown", "Escape")
            time.sleep(1.0)  # several ticks with the key held down
            self.assertIsNone(show.poll(), "pressing Escape ended the show")
            self.xdotool("keyup", "Escape")
            self.assertEqual(show.wait(timeout=10), 0)
            self.assertEqual(show.stdout.read().decode()[:57], lines(3))


if __name__ == "__main__":
    unittest.main()
