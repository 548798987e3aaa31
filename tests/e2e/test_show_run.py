"""End-to-end runs of the show loop: lines, waits, a tick's order, memory, input and output."""
import signal
import unittest

from harness import lines, run_prepared, run_show, scratch

# SDL 1.2's event types as the interposer logs them, and the key symbols used here
DOWN, UP, MOTION, PRESS, RELEASE, QUIT, USER = 2, 3, 4, 5, 6, 12, 24
ESC, A, SPACE, ENTER, ARROW = 27, 97, 32, 13, 273


class ShowLoop(unittest.TestCase):
    def test_thousands_of_ticks_their_lines_waits_order_and_memory(self):
        ticks = 3000
        with scratch() as d:
            run = run_show(d, quit_after=ticks, deadline=60)
        self.assertEqual((run.status, run.stderr, run.stdout), (0, "", lines(ticks)))
        # Full-screen, double-buffered and frameless; the pointer hidden; the mixer opened at
        # 44.1 kHz, s16le, stereo, 4096 frames, the module looped for ever; SDL_Quit at the end.
        self.assertEqual(run.entries("video"), [["640", "480", "32", "0xC0000020"]])
        self.assertEqual(run.entries("cursor"), [["0"]])
        self.assertEqual(run.entries("audio"), [["44100", "0x8010", "2", "4096"]])
        self.assertEqual(run.entries("music"), [["-1"]])
        # Each tick shows its image, then waits 250 ms, then reads the input: the one event
        # injected, the quit, in the last tick, and any the SDL library sends on its own (window
        # activity and pointer motion from sdl12-compat on its first poll).
        steps = [line.split()[:2] for line in run.log if line.split()[0] in ("flip", "delay", "event")]
        order = "".join("q" if s == ["event", str(QUIT)] else s[0][0] for s in steps)
        self.assertRegex(order, rf"^(?:fde*){{{ticks - 1}}}fde*q$")
        self.assertEqual(run.log[-1], "quit")
        self.assertEqual({s[1] for s in steps if s[0] == "delay"}, {"250"})
        # A surface kept per tick would add ~27 KiB each, ~50 MiB here.
        rss = {int(t): int(kb) for t, kb, _ in run.entries("rss")}
        self.assertLess(rss[3000] - rss[1000], 1024, rss)


class Input(unittest.TestCase):
    # (name, events, safety quit tick, ticks run, event types read, event types left unread)
    CASES = [
        ("escape pressed only", f"3:down:{ESC}", 12, 12, [DOWN, QUIT], []),
        ("escape released", f"3:down:{ESC};5:up:{ESC}", 40, 5, [DOWN, UP], [QUIT]),
        ("escape released at once", f"1:up:{ESC};1:user", 40, 1, [UP], [USER, QUIT]),
        ("quit request", f"4:quit;4:user;4:up:{ESC}", 40, 4, [QUIT], [USER, UP]),
        ("other keys", f"2:down:{A};2:up:{A};3:down:{SPACE};3:up:{SPACE};4:up:{ENTER};"
         f"5:down:{ARROW}", 9, 9, [DOWN, UP, QUIT], []),
        ("mouse", "2:motion;3:press;3:release;4:motion", 7, 7, [MOTION, PRESS, RELEASE, QUIT], []),
    ]

    def test_which_events_end_the_show_and_when(self):
        for name, events, safety, ticks, read, unread in self.CASES:
            with self.subTest(name), scratch() as d:
                run = run_show(d, events=events, quit_after=safety)
                # The ending tick's image was shown and its line written before the show ended.
                self.assertEqual((run.status, run.stdout, run.flips), (0, lines(ticks), ticks))
                seen = {int(e[0]) for e in run.entries("event")}
                self.assertTrue(set(read) <= seen and not set(unread) & seen, seen)



class Output(unittest.TestCase):
    HANG_UP = {"FF_RAISE": f"3:{signal.SIGHUP}"}  # just after the third flip
    # (case, standard output and signals as set up before the show starts, run settings, ticks
    # run); each show ends with status 0 through SDL_Quit.
    CASES = [
        ("hang-up", "", HANG_UP, 3),
        ("hang-up ignored (nohup)", "signal.signal(signal.SIGHUP, signal.SIG_IGN)", HANG_UP, 9),
        ("reader gone", "r, w = os.pipe(); os.close(r); os.dup2(w, 1)", {}, 1),
        ("disk full", "os.dup2(os.open('/dev/full', os.O_WRONLY), 1)", {}, 9),
        ("reader stalled, its pipe full", "r, w = os.pipe(); os.set_inheritable(r, True); "
         "fcntl.fcntl(w, fcntl.F_SETPIPE_SZ, 4096); os.write(w, bytes(4096)); os.dup2(w, 1)", {}, 9),
        ("file too large", "w = os.open('out', os.O_WRONLY | os.O_CREAT); os.lseek(w, 999950, 0); "
         "os.dup2(w, 1); resource.setrlimit(resource.RLIMIT_FSIZE, (10 ** 6, 10 ** 6))", {}, 9),
    ]

    def test_hang_up_and_write_errors_end_the_show_as_a_quit_request_or_lose_the_line(self):
        for case, setup, settings, ticks in self.CASES:
            with self.subTest(case), scratch() as d:
                run = run_prepared(d, setup, quit_after=9, **settings)
                self.assertEqual((run.status, run.flips, run.log[-1]), (0, ticks, "quit"))


if __name__ == "__main__":
    unittest.main()
