"""End-to-end start-up: each failure's exact message, stream and status, in start-up order."""
import os
import re
import shutil
import tempfile
import unittest

from harness import DATA, lines, run_prepared, run_show, scratch

NO_DEVICE = {"SDL_AUDIODRIVER": "disk",
             "SDL_DISKAUDIOFILE": os.path.join(tempfile.gettempdir(), "no-such-dir", "audio.raw")}
NO_DISPLAY = {"SDL_VIDEODRIVER": "x11", "unset": ("DISPLAY",)}
REFUSED = "refused by the test"
ANY = r"[^\n]+"  # a library's own reason
DISPLAY_FAILED = "Bildschirm konnte nicht initialisiert werden: "
exactly = re.escape


class StartUp(unittest.TestCase):
    # (case, files left out, run settings, status, standard output, standard error), the
    # outputs as patterns that must match whole; five ticks are run where the show starts.
    CASES = [
        ("SDL without audio", (), {"FF_REFUSE": "SDL_Init&0x10"}, 1, "", ""),
        ("SDL without an optional subsystem", (), {"FF_REFUSE": "SDL_Init&0x100"}, 0,
         exactly(lines(5)), ""),
        ("no display", (), NO_DISPLAY, 1, "", exactly(DISPLAY_FAILED) + ANY),
        ("no display and no audio device", (), {**NO_DISPLAY, **NO_DEVICE}, 1, "",
         exactly(DISPLAY_FAILED) + ANY),
        ("audio device refused", ("rahmen.png", "PC_Snowballs.ttf"),
         {"FF_REFUSE": "Mix_OpenAudio,TTF_Init"}, 2, exactly(f"Mix_OpenAudio: {REFUSED}\n"), ""),
        ("font engine refused", ("rahmen.png",), {"FF_REFUSE": "TTF_Init"}, 1, "", ""),
        ("module missing", ("xmas.mod",), {}, 0,
         f"MUSIC_load: {ANY}\n" + exactly("Mix_PlayMusic: music parameter was NULL\n" + lines(5)), ""),
        ("playing refused", (), {"FF_REFUSE": "Mix_PlayMusic"}, 0,
         exactly(f"Mix_PlayMusic: {REFUSED}\n{lines(5)}"), ""),
    ]

    def test_each_failure_writes_its_message_and_ends_with_its_status(self):
        for case, omit, settings, status, stdout, stderr in self.CASES:
            with self.subTest(case), scratch(omit=omit) as d:
                run = run_show(d, quit_after=5, **settings)
                self.assertEqual(run.status, status, run.stderr)
                self.assertRegex(run.stdout, f"^{stdout}\\Z")
                self.assertRegex(run.stderr, f"^{stderr}\\Z")
                self.assertEqual(run.flips, 5 if status == 0 else 0)


def cut_text_chunk(path):  # an ancillary chunk cut short: the PNG loader alone would spin
    path.write_bytes((DATA / "rahmen.png").read_bytes()[:33] + b"\0\0\0\x40tEXtComment")


def huge(name, gib):
    """A symlink to the data file followed by zeros to `gib` GiB (sparse: no disk used)."""
    def make(path):
        shutil.copyfile(DATA / name, f"{path}.real")
        os.truncate(f"{path}.real", gib << 30)
        os.symlink(f"{path}.real", path)
    return make


class SceneFiles(unittest.TestCase):
    CUT = "the file is cut off (truncated)"
    # (file, its replacement: bytes or a maker of the path, reason or None for the library's
    # own): one of each kind; the checks' cases over bytes are the unit test's
    CASES = [
        ("rahmen.png", cut_text_chunk, CUT),
        ("PC_Snowballs.ttf", (DATA / "PC_Snowballs.ttf").read_bytes()[:-4], CUT),
        ("rahmen.png", os.mkdir, "is a folder, not a file"),
        ("PC_Snowballs.ttf", os.mkfifo, "is a named pipe, not a file"),
        ("rahmen.png", lambda p: os.symlink("/dev/zero", p), "is not a regular file"),
        ("rahmen.png", (DATA / "PC_Snowballs.ttf").read_bytes(), None),
        ("PC_Snowballs.ttf", None, None),
    ]

    def test_an_unusable_picture_or_font_is_named_with_its_reason_and_exits_1(self):
        for name, content, reason in self.CASES:
            with self.subTest(file=name, reason=reason or "the library's"), \
                    scratch(replace={name: content}, omit=(name,)) as d:
                run = run_show(d, quit_after=3)
                self.assertEqual((run.status, run.stdout, run.flips), (1, "", 0))
                call = "IMG_Load" if name == "rahmen.png" else "TTF_OpenFont"
                why = ANY if reason is None else exactly(reason)
                self.assertRegex(run.stderr, f"^{exactly(f'{call}({name}): ')}{why}\n\\Z")

    def test_a_4_gib_picture_and_a_3_gib_font_through_symlinks_start_in_little_memory(self):
        # SDL_ttf measures a font with SDL 1.2's 32-bit seek: one of 4 GiB it cannot open at all
        files = {"rahmen.png": huge("rahmen.png", 4), "PC_Snowballs.ttf": huge("PC_Snowballs.ttf", 3)}
        with scratch(replace=files) as d:
            run = run_prepared(d, f"resource.setrlimit(resource.RLIMIT_DATA, ({256 << 20},) * 2)",
                               quit_after=3)
            self.assertEqual((run.status, run.stderr, run.flips), (0, "", 3))


if __name__ == "__main__":
    unittest.main()
