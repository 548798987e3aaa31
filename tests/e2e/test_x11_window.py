"""End-to-end in a real X11 window: caption, piped lines, a real Escape, closed output, lost X."""
import os
import signal
import subprocess
import time
import unittest

from harness import (BIN, X_LOST, X_SERVERS, lines, lose_x_at_mode_switch, next_line, scratch,
                     show_env, started, x_server, xdotool)


class RealWindow(unittest.TestCase):
    def setUp(self):
        self.display = self.enterContext(x_server())

    def start(self, folder, closing="", window=True, **streams):
        """The show, started by a shell closing the streams in `closing`; its window if `window`."""
        show = self.enterContext(started(["sh", "-c", f'exec "$0" {closing}', str(BIN)],
                                         cwd=folder, **streams, env=show_env(
                                             SDL_VIDEODRIVER="x11", DISPLAY=self.display)))
        deadline, found = time.monotonic() + 20, ""
        while window and not found and show.poll() is None and time.monotonic() < deadline:
            found = xdotool(self.display, "search", "--onlyvisible", "--name", "^Frostfunkel")
        why = "in 20 s" if show.poll() is None else f"before the show ended with {show.poll()}"
        self.assertTrue(found or not window, f"no window {why}")
        return show, found

    def test_window_is_named_and_only_the_escape_release_ends_the_show(self):
        with scratch() as d:
            show, window = self.start(d, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      bufsize=0)
            self.addCleanup(show.stdout.close)
            self.assertEqual(xdotool(self.display, "getwindowname", window), "Frostfunkel ")

            def line():  # the ticks are counted by their lines, never by the clock
                # Each line is flushed as it is shown: unflushed, it would wait ~50 s.
                text = next_line(show.stdout, 5)
                self.assertTrue(text, "no line in 5 s, or the show ended")
                return text

            out = line()
            xdotool(self.display, "windowfocus", "--sync", window)
            xdotool(self.display, "keydown", "Escape")
            out += line() + line() + line()  # ticks with the key held down
            self.assertIsNone(show.poll(), "pressing Escape ended the show")
            xdotool(self.display, "keyup", "Escape")
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
            self.assertEqual(self.start(d, "2>&-", window=False)[0].wait(timeout=10), 1)

    def test_lost_display_ends_the_show_at_once_saying_so(self):
        with scratch() as d:  # no SDL_Quit then: it would wait on the dead connection for ever
            show, window = self.start(d, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            X_SERVERS[self.display].send_signal(signal.SIGTERM)
            self.assertEqual(show.communicate(timeout=5)[1].decode(), X_LOST)
            self.assertEqual(show.returncode, 1)


class LostAtStartUp(unittest.TestCase):
    def test_x_server_lost_between_connecting_and_the_mode_switch_ends_the_show_saying_so(self):
        # Xlib's own handler would end it with Xlib's message, or leave it spinning in the
        # SDL_Quit that exit runs; ten times, as the libraries' threads vary the timing.
        with scratch() as d:
            self.assertEqual([lose_x_at_mode_switch(d) for _ in range(10)], [(1, X_LOST)] * 10)
