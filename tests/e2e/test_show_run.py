"""End-to-end runs of the show loop: lines, waits, a tick's order, memory, input and output."""
import fcntl
import os
import resource
import signal
import unittest
from collections import namedtuple
from pathlib import Path

import mixer_format

from harness import (BIN, INTERPOSE, lines, run_show, scratch, show_command, show_env, started,
                     window)

# SDL 1.2's event types as the interposer takes and logs them, and the key symbols used here
DOWN, UP, MOTION, PRESS, RELEASE, QUIT, USER = 2, 3, 4, 5, 6, 12, 24
ESC, A, SPACE, ENTER, ARROW = 27, 97, 32, 13, 273
# One way to end the show: the ticks run, the event types read and those left unread, the events
# injected, the set-up of standard output and signals before the show starts, the signal raised,
# the signals raised while it ends (around SDL_Quit).
End = namedtuple("End", "case ticks read unread events setup raised while_ending",
                 defaults=([], "", None, "", ""))


class ShowLoop(unittest.TestCase):
    def test_thousands_of_ticks_their_lines_waits_order_and_memory(self):
        ticks = 3000
        with scratch() as d:
            run = run_show(d, quit_after=ticks, deadline=60)
        self.assertEqual((run.status, run.stderr, run.stdout), (0, "", lines(ticks)))
        # Full-screen, double-buffered and frameless; the pointer hidden; the mixer opened in the
        # show's format (44.1 kHz, s16le, stereo, 4096 frames), the module looped for ever.
        self.assertEqual([run.entries(kind) for kind in ("video", "cursor", "audio", "music")],
                         [[["640", "480", "32", "0xC0000020"]], [["0"]],
                          [[str(mixer_format.RATE), hex(mixer_format.AUDIO_S16LSB),
                            str(mixer_format.CHANNELS), str(mixer_format.CHUNK_FRAMES)]], [["-1"]]])
        # Each tick shows its image, then waits 250 ms, then reads the input: the one event
        # injected, the quit, in the last tick, and any the SDL library sends on its own (window
        # activity and pointer motion from sdl12-compat on its first poll).
        steps = [line.split()[:2] for line in run.log
                 if line.split()[0] in ("flip", "delay", "event")]
        order = "".join("q" if s == ["event", str(QUIT)] else s[0][0] for s in steps)
        self.assertRegex(order, rf"^(?:fde*){{{ticks - 1}}}fde*q$")
        self.assertEqual({s[1] for s in steps if s[0] == "delay"}, {"250"})
        # A surface kept per tick would add ~27 KiB each, ~50 MiB here.
        rss = {int(t): int(kb) for t, kb, _ in run.entries("rss")}
        self.assertLess(rss[3000] - rss[1000], 1024, rss)


class Input(unittest.TestCase):
    # What ends the show: input events, and also a hang-up and errors writing its lines
    HANG_UP = f"3:{signal.SIGHUP}"  # raised just after the third flip
    # A quit comes in tick 9 in case the show runs on; each show ends with status 0 through
    # SDL_Quit.
    CASES = [
        # pressing Escape does not end the show, releasing it does; the events behind stay unread
        End("escape pressed, then released", ticks=5, read=[DOWN, UP], unread=[USER],
            events=f"3:{DOWN}:{ESC};5:{UP}:{ESC};5:{USER}"),
        End("quit request", ticks=4, read=[QUIT], unread=[USER, UP],
            events=f"4:{QUIT};4:{USER};4:{UP}:{ESC}"),
        End("other keys", ticks=9, read=[DOWN, UP, QUIT],
            events=f"2:{DOWN}:{A};2:{UP}:{A};3:{DOWN}:{SPACE};3:{UP}:{SPACE};4:{UP}:{ENTER};"
                   f"5:{DOWN}:{ARROW}"),
        End("mouse", ticks=9, read=[MOTION, PRESS, RELEASE, QUIT],
            events=f"2:{MOTION};3:{PRESS};3:{RELEASE};4:{MOTION}"),
        End("hang-up", ticks=3, read=[], unread=[QUIT], raised=HANG_UP),
        End("hang-up ignored (nohup)", ticks=9, read=[QUIT], raised=HANG_UP,
            setup="signal.signal(signal.SIGHUP, signal.SIG_IGN)"),
        End("SIGTERM twice while it ends", ticks=9, read=[QUIT], while_ending=signal.SIGTERM),
        End("SIGINT twice while it ends", ticks=9, read=[QUIT], while_ending=signal.SIGINT),
        End("reader gone", ticks=1, read=[], unread=[QUIT],
            setup="r, w = os.pipe(); os.close(r); os.dup2(w, 1)"),
        End("disk full", ticks=9, read=[QUIT],
            setup="os.dup2(os.open('/dev/full', os.O_WRONLY), 1)"),
        End("reader stalled, its pipe full", ticks=9, read=[QUIT],
            setup="r, w = os.pipe(); os.set_inheritable(r, True); os.dup2(w, 1); "
                  "fcntl.fcntl(w, fcntl.F_SETPIPE_SZ, 4096); os.write(w, bytes(4096))"),
    ]

    def test_what_ends_the_show_and_when(self):
        for c in self.CASES:
            with self.subTest(c.case), scratch() as d:
                run = run_show(d, events=c.events, setup=c.setup, quit_after=9, FF_RAISE=c.raised,
                               FF_QUIT_RAISE=int(c.while_ending or 0))
                # The ending tick's image was shown and its line written before the show ended.
                self.assertEqual((run.status, run.flips, run.log[-1]), (0, c.ticks, "quit"))
                self.assertEqual(run.stdout, "" if "dup2" in (c.setup or "") else lines(c.ticks))
                seen = {int(e[0]) for e in run.entries("event")}
                self.assertLessEqual(set(c.read), seen)
                self.assertFalse(set(c.unread) & seen, f"read, though meant to stay unread: {seen}")


class SharedOutput(unittest.TestCase):
    def test_shows_on_one_stalled_pipe_leave_its_flags_as_they_were_and_keep_their_ticks(self):
        # A full pipe nobody reads, its flags shared by every writer on it (a sibling loses bytes
        # to a non-blocking one). Two shows, each stopped after its second tick: the flags are as
        # a SIGKILL would leave them; then the first ends and the second runs on to its end.
        r, w = os.pipe()
        for fd in (r, w):
            self.addCleanup(os.close, fd)
        fcntl.fcntl(w, fcntl.F_SETPIPE_SZ, 4096)
        os.write(w, bytes(4096))
        flags = fcntl.fcntl(w, fcntl.F_GETFL)
        env = show_env(LD_PRELOAD=INTERPOSE, FF_RAISE=f"2:{signal.SIGSTOP}", FF_QUIT_AFTER=9)
        with scratch() as d:
            shows = []
            for _ in range(2):  # the second starts while the first runs
                shows.append(self.enterContext(started([BIN], cwd=d, env=env, stdout=w)))
                self.assertTrue(os.WIFSTOPPED(os.waitpid(shows[-1].pid, os.WUNTRACED)[1]))
            self.assertEqual(fcntl.fcntl(w, fcntl.F_GETFL), flags)
            for show in shows:
                show.send_signal(signal.SIGCONT)
                self.assertEqual(show.wait(10), 0)
                self.assertEqual(fcntl.fcntl(w, fcntl.F_GETFL), flags)


class CutLine(unittest.TestCase):
    def test_a_line_cut_at_the_file_size_limit_is_ended_before_the_next_once_there_is_room(self):
        # 20 lines of 19 bytes fit under the limit and 10 bytes of the 21st; the 22nd finds no
        # room, and the show goes on. It stops after its 22nd tick, and the limit is lifted as
        # when a disk gets room again: the 23rd line must not be glued to the fragment.
        limit, stopped, ticks = 19 * 20 + 10, 22, 30
        setup = ("os.dup2(os.open('out', os.O_WRONLY | os.O_CREAT), 1); resource.setrlimit("
                 f"resource.RLIMIT_FSIZE, ({limit}, resource.RLIM_INFINITY))")
        env = show_env(LD_PRELOAD=INTERPOSE, FF_RAISE=f"{stopped}:{signal.SIGSTOP}",
                       FF_QUIT_AFTER=ticks)
        with scratch() as d:
            show = self.enterContext(started(show_command(setup=setup), cwd=d, env=env))
            self.assertTrue(os.WIFSTOPPED(os.waitpid(show.pid, os.WUNTRACED)[1]))
            cut = lines(20) + window(20)[:10]
            self.assertEqual(Path(d, "out").read_text(), cut)
            resource.prlimit(show.pid, resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY,) * 2)
            show.send_signal(signal.SIGCONT)
            self.assertEqual(show.wait(10), 0)
            rest = "".join(window(t) + "\n" for t in range(stopped, ticks))
            self.assertEqual(Path(d, "out").read_text(), cut + "\n" + rest)
