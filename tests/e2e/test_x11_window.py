"""End-to-end in a real X11 window under Xvfb: the caption, and a real Escape press and release."""
import os
import subprocess
import time
import unittest

from harness import BIN, scratch, show_env


class RealWindow(unittest.TestCase):
    def setUp(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "640x480x24",
                                 "-nolisten", "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        self.addCleanup(xvfb.wait, 10)
        self.addCleanup(xvfb.terminate)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.display},
                              capture_output=True, text=True, timeout=10).stdout.rstrip("\n")

    def test_window_is_named_and_only_the_escape_release_ends_the_show(self):
        with scratch() as d:
            show = subprocess.Popen([BIN], cwd=d, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                    env=show_env(SDL_VIDEODRIVER="x11", DISPLAY=self.display))
            try:
                deadline, window = time.monotonic() + 20, ""
                while not window and time.monotonic() < deadline:
                    window = self.xdotool("search", "--onlyvisible", "--name", "^Frostfunkel")
                self.assertTrue(window, "no window appeared")
                window = window.split()[0]
                self.assertEqual(self.xdotool("getwindowname", window), "Frostfunkel ")
                self.xdotool("windowfocus", "--sync", window)
                self.xdotool("keydown", "Escape")
                time.sleep(1.0)  # several ticks with the key held down
                self.assertIsNone(show.poll(), "pressing Escape ended the show")
                self.xdotool("keyup", "Escape")
                self.assertEqual(show.wait(timeout=10), 0)
                self.assertEqual(show.stdout.read().decode().split("\n")[:4],
                                 [" " * 18, " " * 17 + "F", " " * 16 + "Fr", " " * 15 + "Fro"])
            finally:
                if show.poll() is None:
                    show.kill()
                    show.wait()
                show.stdout.close()


if __name__ == "__main__":
    unittest.main()
