"""End-to-end runs of the show loop: lines, waits, a tick's order, memory, input and output."""
import signal
import unittest

from harness import lines, run_show, scratch

# SDL 1.2's event types as the interposer takes and logs them, and the key symbols used here
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
        self.assertEqual([run.entries(kind) for kind in ("video", "cursor", "audio", "music")],
                         [[["640", "480", "32", "0xC0000020"]], [["0"]],
                          [["44100", "0x8010", "2", "4096"]], [["-1"]]])
        # Each tick shows its image, then waits 250 ms, then reads the input: the one event
        # injected, the quit, in the last tick, and any the SDL library sends on its own (window
        # activity and pointer motion from sdl12-compat on its first poll).
        steps = [line.split()[:2] for line in run.log
                 if line.split()[0] in ("flip", "delay", "event")]
        order = "".join("q" if s == ["event", str(QUIT)] else s[0][0] for s in steps)
        self.assertRegex(order, rf"^(?:fde*){{{ticks - 1}}}fde*q$")
        self.assertEqual(run.log[-1], "quit")
        self.assertEqual({s[1] for s in steps if s[0] == "delay"}, {"250"})
        # A surface kept per tick would add ~27 KiB each, ~50 MiB here.
        rss = {int(t): int(kb) for t, kb, _ in run.entries("rss")}
        self.assertLess(rss[3000] - rss[1000], 1024, rss)


class Input(unittest.TestCase):
    # What ends the show: input events, and also a hang-up and errors writing its lines
    HANG_UP = f"3:{signal.SIGHUP}"  # raised just after the third flip
    # (case, events, standard output and signals as set up before the show starts, signal raised,
    # ticks run, event types read, event types left unread); a quit comes in tick 9 in case the
    # show runs on. Each show ends with status 0 through SDL_Quit.
    CASES = [
        # pressing Escape does not end the show, releasing it does; the events behind stay unread
        ("escape pressed, then released", f"3:{DOWN}:{ESC};5:{UP}:{ESC};5:{USER}", None, "", 5,
         [DOWN, UP], [USER]),
        ("escape released at once", f"1:{UP}:{ESC};1:{USER}", None, "", 1, [UP], [USER]),
        ("quit request", f"4:{QUIT};4:{USER};4:{UP}:{ESC}", None, "", 4, [QUIT], [USER, UP]),
        ("other keys", f"2:{DOWN}:{A};2:{UP}:{A};3:{DOWN}:{SPACE};3:{UP}:{SPACE};4:{UP}:{ENTER};"
         f"5:{DOWN}:{ARROW}", None, "", 9, [DOWN, UP, QUIT], []),
        ("mouse", f"2:{MOTION};3:{PRESS};3:{RELEASE};4:{MOTION}", None, "", 9,
         [MOTION, PRESS, RELEASE, QUIT], []),
        ("hang-up", "", None, HANG_UP, 3, [], [QUIT]),
        ("hang-up ignored (nohup)", "", "signal.signal(signal.SIGHUP, signal.SIG_IGN)", HANG_UP, 9,
         [QUIT], []),
        ("reader gone", "", "r, w = os.pipe(); os.close(r); os.dup2(w, 1)", "", 1, [], [QUIT]),
        ("disk full", "", "os.dup2(os.open('/dev/full', os.O_WRONLY), 1)", "", 9, [QUIT], []),
        ("reader stalled, its pipe full", "", "r, w = os.pipe(); os.set_inheritable(r, True); "
         "fcntl.fcntl(w, fcntl.F_SETPIPE_SZ, 4096); os.write(w, bytes(4096)); os.dup2(w, 1)", "", 9,
         [QUIT], []),
        ("file too large", "", "w = os.open('out', os.O_WRONLY | os.O_CREAT); "
         "os.lseek(w, 999950, 0); os.dup2(w, 1); "
         "resource.setrlimit(resource.RLIMIT_FSIZE, (10 ** 6, 10 ** 6))", "", 9, [QUIT], []),
    ]

    def test_what_ends_the_show_and_when(self):
        for case, events, setup, raised, ticks, read, unread in self.CASES:
            with self.subTest(case), scratch() as d:
                run = run_show(d, events=events, setup=setup, quit_after=9, FF_RAISE=raised)
                # The ending tick's image was shown and its line written before the show ended.
                self.assertEqual((run.status, run.flips, run.log[-1]), (0, ticks, "quit"))
                self.assertEqual(run.stdout, "" if "dup2" in (setup or "") else lines(ticks))
                seen = {int(e[0]) for e in run.entries("event")}
                self.assertTrue(set(read) <= seen and not set(unread) & seen, seen)
