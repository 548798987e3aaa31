"""End-to-end start-up: each failure's exact message, stream and status, in start-up order."""
import os
import re
import shutil
import tempfile
import time
import unittest
from collections import namedtuple
from pathlib import Path

from harness import DATA, lines, run_show, scratch, started

NO_DEVICE = {"SDL_AUDIODRIVER": "disk",
             "SDL_DISKAUDIOFILE": os.path.join(tempfile.gettempdir(), "no-such-dir", "audio.raw")}
NO_DISPLAY = {"SDL_VIDEODRIVER": "x11", "unset": ("DISPLAY",)}
REFUSED = "refused by the test"
ANY = r"[^\n]+"  # a library's own reason
DISPLAY_FAILED = re.escape("Bildschirm konnte nicht initialisiert werden: ") + ANY
STARTED = re.escape(lines(5))  # five ticks are run where the show starts
SILENT = re.escape("Mix_PlayMusic: music parameter was NULL\n") + STARTED  # without a module
PICTURE, FONT = ((DATA / name).read_bytes() for name in ("rahmen.png", "PC_Snowballs.ttf"))
CUT = "the file is cut off (truncated)"


def huge(name, gib):
    """A symlink to the data file followed by zeros to `gib` GiB (sparse: no disk used)."""
    def make(path):
        shutil.copyfile(DATA / name, f"{path}.real")
        os.truncate(f"{path}.real", gib << 30)
        os.symlink(f"{path}.real", path)
    return make


# A start-up case: the data files replaced or left out (see harness.scratch), the run's settings
# (see harness.run_show), and what must come of it: the status, and standard output and error as
# patterns that must match whole. Without a status it is a show that starts.
Case = namedtuple("Case", "name files settings status stdout stderr",
                  defaults=({}, {}, 0, STARTED, ""))


def unusable(name, content, reason=None):
    """A scene file the show cannot use, named with its reason (or the library's) on exit 1."""
    call = "IMG_Load" if name == "rahmen.png" else "TTF_OpenFont"
    why = ANY if reason is None else re.escape(reason)
    return Case(f"{name}: {reason}", files={name: content}, status=1, stdout="",
                stderr=re.escape(f"{call}({name}): ") + why + "\n")


class StartUp(unittest.TestCase):
    CASES = [
        Case("SDL without audio", settings={"FF_REFUSE": "SDL_Init&0x10"}, status=1, stdout=""),
        Case("SDL without an optional subsystem", settings={"FF_REFUSE": "SDL_Init&0x100"}),
        Case("no display and no audio device", settings={**NO_DISPLAY, **NO_DEVICE}, status=1,
             stdout="", stderr=DISPLAY_FAILED),
        Case("audio device refused", files={"rahmen.png": None, "PC_Snowballs.ttf": None},
             settings={"FF_REFUSE": "Mix_OpenAudio,TTF_Init"}, status=2,
             stdout=re.escape(f"Mix_OpenAudio: {REFUSED}\n")),
        Case("font engine refused", files={"rahmen.png": None}, settings={"FF_REFUSE": "TTF_Init"},
             status=1, stdout=""),
        Case("module missing", files={"xmas.mod": None}, stdout=f"MUSIC_load: {ANY}\n" + SILENT),
        Case("playing refused", settings={"FF_REFUSE": "Mix_PlayMusic"},
             stdout=re.escape(f"Mix_PlayMusic: {REFUSED}\n") + STARTED),
        Case("module empty", files={"xmas.mod": b""},
             stdout=re.escape("MUSIC_load: xmas.mod: ") + ANY + "\n" + SILENT),
        # one scene file of each kind; the checks' cases over bytes are the unit test's
        # an ancillary chunk cut short: the PNG loader alone would spin
        unusable("rahmen.png", PICTURE[:33] + b"\0\0\0\x40tEXtComment", CUT),
        unusable("PC_Snowballs.ttf", FONT[:-4], CUT),
        unusable("rahmen.png", os.mkdir, "is a folder, not a file"),
        unusable("PC_Snowballs.ttf", os.mkfifo, "is a named pipe, not a file"),
        unusable("rahmen.png", lambda p: os.symlink("/dev/zero", p), "is not a regular file"),
        unusable("rahmen.png", FONT, "Unsupported image format"),  # the loader's own reason
        unusable("PC_Snowballs.ttf", None),
        # SDL_ttf measures a font with SDL 1.2's 32-bit seek: one of 4 GiB it cannot open at all
        Case("a 4 GiB picture and a 3 GiB font through symlinks, in 256 MiB",
             files={"rahmen.png": huge("rahmen.png", 4),
                    "PC_Snowballs.ttf": huge("PC_Snowballs.ttf", 3)},
             settings={"setup": f"resource.setrlimit(resource.RLIMIT_DATA, ({256 << 20},) * 2)"}),
    ]

    def test_each_failure_writes_its_message_and_ends_with_its_status(self):
        for case in self.CASES:
            with self.subTest(case.name), scratch(case.files) as d:
                run = run_show(d, quit_after=5, **case.settings)
                self.assertEqual(run.status, case.status, run.stderr)
                self.assertRegex(run.stdout, f"^{case.stdout}\\Z")
                self.assertRegex(run.stderr, f"^{case.stderr}\\Z")
                self.assertEqual(run.flips, 5 if case.status == 0 else 0, "images shown")


class WaitingWriter(unittest.TestCase):
    # A named pipe at a data file's place, a writer waiting in its open: the show refuses the
    # file without opening it, so the writer neither gets a reader nor loses it (SIGPIPE).
    # (data file, the show's status, the stream of its message, the message)
    CASES = [("rahmen.png", 1, "stderr", "IMG_Load(rahmen.png): is a named pipe, not a file\n"),
             ("xmas.mod", 0, "stdout", "MUSIC_load: xmas.mod: is a named pipe, not a file\n")]

    def test_a_named_pipe_is_refused_and_its_waiting_writer_keeps_waiting(self):
        for name, status, stream, message in self.CASES:
            with self.subTest(name), scratch({name: os.mkfifo}) as d:
                writer = self.enterContext(started(["sh", "-c", 'echo x > "$0"', f"{d}/{name}"]))
                self.assertTrue(waits_for_a_reader(writer), "the writer does not wait")
                run = run_show(d, quit_after=5)
                self.assertEqual((run.status, message in getattr(run, stream), writer.poll(),
                                  waits_for_a_reader(writer)), (status, True, None, True))


def waits_for_a_reader(process):
    """True once `process` waits in a named pipe's open (the kernel's wait_for_partner)."""
    end = time.monotonic() + 10
    while process.poll() is None and time.monotonic() < end:
        if Path(f"/proc/{process.pid}/wchan").read_text() == "wait_for_partner":
            return True
        time.sleep(0.01)
    return False
