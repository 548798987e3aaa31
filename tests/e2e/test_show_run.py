"""End-to-end runs of the show loop: the scroller lines, the waits, input and memory."""
import select
import signal
import subprocess
import unittest

from harness import BIN, scratch, lines, run_show, show_env

SDL_KEYDOWN, SDL_KEYUP, SDL_QUIT, SDL_USEREVENT = 2, 3, 12, 24
SDLK_ESCAPE = 27


class ScrollerOutput(unittest.TestCase):
    def test_lines_waits_and_the_order_of_a_tick_over_more_than_one_cycle(self):
        ticks = 250
        with scratch() as d:
            run = run_show(d, quit_after=ticks)
        self.assertEqual((run.status, run.stderr), (0, ""))
        self.assertEqual(run.stdout, lines(ticks))
        self.assertEqual([d[0] for d in run.entries("delay")], ["250"] * ticks)
        # The pointer hidden and the mixer opened at 44.1 kHz, s16le, stereo, 4096 frames.
        self.assertEqual(run.entries("cursor"), [["0"]])
        self.assertEqual(run.entries("audio"), [["44100", "0x8010", "2", "4096"]])
        # Each tick shows its image, then waits, then reads the input.
        steps = [line.split()[0] for line in run.log if line.split()[0] in ("flip", "delay", "event")]
        self.assertEqual(steps, ["flip", "delay"] * ticks + ["event"])

    def test_each_line_reaches_a_pipe_as_it_is_shown_and_sigterm_quits(self):
        # Real waits: without a flush the first line would sit in the buffer for ~50 s.
        with scratch() as d:
            proc = subprocess.Popen([BIN], cwd=d, env=show_env(), stdout=subprocess.PIPE)
            try:
                ready, _, _ = select.select([proc.stdout], [], [], 10)
                self.assertTrue(ready, "no scroller line within 10 s")
                self.assertEqual(proc.stdout.readline().decode(), " " * 18 + "\n")
                self.assertIsNone(proc.poll())
                proc.send_signal(signal.SIGTERM)
                self.assertEqual(proc.wait(timeout=10), 0)
            finally:
                if proc.poll() is None:
                    proc.kill()
                proc.stdout.close()


class Input(unittest.TestCase):
    # (name, events, safety quit tick, ticks run, event types read, event types left unread)
    CASES = [
        ("escape pressed only", f"3:down:{SDLK_ESCAPE}", 12, 12, [SDL_KEYDOWN, SDL_QUIT], []),
        ("escape released", f"3:down:{SDLK_ESCAPE};5:up:{SDLK_ESCAPE}", 40, 5,
         [SDL_KEYDOWN, SDL_KEYUP], [SDL_QUIT]),
        ("escape released at once", f"1:up:{SDLK_ESCAPE};1:user", 40, 1, [SDL_KEYUP],
         [SDL_USEREVENT, SDL_QUIT]),
        ("quit request", "4:quit;4:user;4:up:27", 40, 4, [SDL_QUIT], [SDL_USEREVENT, SDL_KEYUP]),
        ("other keys", "2:down:97;2:up:97;3:down:32;3:up:32;4:up:13;5:down:273", 9, 9,
         [SDL_KEYDOWN, SDL_KEYUP, SDL_QUIT], []),
        ("mouse", "2:motion;3:press;3:release;4:motion", 7, 7, [4, 5, 6, SDL_QUIT], []),
    ]

    def test_which_events_end_the_show_and_when(self):
        for name, events, safety, ticks, read, unread in self.CASES:
            with self.subTest(name), scratch() as d:
                run = run_show(d, events=events, quit_after=safety)
                self.assertEqual(run.status, 0, run.stderr)
                self.assertEqual(run.stdout, lines(ticks))
                # The ending tick's image was shown before the show ended.
                self.assertEqual(run.flips, ticks)
                seen = {int(e[0]) for e in run.entries("event")}
                self.assertLessEqual(set(read), seen)
                self.assertFalse(set(unread) & seen)


class Memory(unittest.TestCase):
    def test_memory_stays_flat_over_thousands_of_ticks(self):
        with scratch() as d:
            run = run_show(d, quit_after=6000, FF_RSS_TICKS="500,6000", deadline=60)
        self.assertEqual(run.status, 0, run.stderr)
        rss = {int(t): int(kb) for t, kb, _ in run.entries("rss")}
        # A surface kept per tick would add ~27 KiB each, ~150 MiB here.
        self.assertLess(rss[6000] - rss[500], 1024, rss)


if __name__ == "__main__":
    unittest.main()
