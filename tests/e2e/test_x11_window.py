"""End-to-end in a real X11 window: the caption, the piped lines, a real Escape, closed output."""
import os
import select
import subprocess
import time
import unittest

from harness import BIN, lines, scratch, show_env, x_server, xdotool


class RealWindow(unittest.TestCase):
    def setUp(self):
        self.display = self.enterContext(x_server())

    def xdotool(self, *args):
        return xdotool(self.display, *args)

    def start(self, folder, closing="", **streams):
        """The show, started by a shell that closes the streams named in `closing`; its window."""
        show = subprocess.Popen(["sh", "-c", f'exec "$0" {closing}', str(BIN)], cwd=folder,
                                env=show_env(SDL_VIDEODRIVER="x11", DISPLAY=self.display),
                                **streams)
        self.addCleanup(show.wait)
        self.addCleanup(show.kill)
        deadline, found = time.monotonic() + 20, ""
        while not found and show.poll() is None and time.monotonic() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--name", "^Frostfunkel")
        return show, found or None

    def test_window_is_named_and_only_the_escape_release_ends_the_show(self):
        with scratch() as d:
            show, window = self.start(d, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      bufsize=0)
            self.addCleanup(show.stdout.close)
            self.assertEqual(self.xdotool("getwindowname", window), "Frostfunkel ")

            def line():  # the ticks are counted by their lines, never by the clock
                # Each line is flushed as it is shown: unflushed, it would wait ~50 s.
                self.assertTrue(select.select([show.stdout], [], [], 5)[0], "no line in 5 s")
                return show.stdout.readline()

            out = line()
            self.xdotool("windowfocus", "--sync", window)
            self.xdotool("keydown", "Escape")
            out += line() + line() + line()  # ticks with the key held down
            self.assertIsNone(show.poll(), "pressing Escape ended the show")
            self.xdotool("keyup", "Escape")
            self.assertEqual(show.wait(timeout=10), 0)
            out = (out + show.stdout.read()).decode()
            self.assertEqual(out, lines(out.count("\n")))

    def test_closed_output_takes_no_descriptor_of_the_display(self):
        with scratch() as d:  # standard output closed: the show runs, and ends 0 on SIGTERM
            show, window = self.start(d, ">&-", stdout=subprocess.DEVNULL)
            self.assertEqual(os.readlink(f"/proc/{show.pid}/fd/1"), "/dev/null")
            show.terminate()
            self.assertEqual(show.wait(timeout=10), 0)
        with scratch({"rahmen.png": None}) as d:  # standard error closed, the picture missing
            self.assertEqual(self.start(d, "2>&-")[0].wait(timeout=10), 1)
