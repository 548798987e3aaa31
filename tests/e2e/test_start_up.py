"""End-to-end start-up: each failure's exact message, stream and status, in start-up order."""
import os
import re
import tempfile
import unittest

from harness import DATA, lines, run_show, scratch

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
        ("no audio device", ("rahmen.png", "PC_Snowballs.ttf"), NO_DEVICE, 2,
         f"Mix_OpenAudio: {ANY}\n", ""),
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


def variants(name):
    """Broken versions of one data file: (label, bytes or a maker of the path, reason or None
    for the library's own)."""
    good = (DATA / name).read_bytes()
    other = "PC_Snowballs.ttf" if name == "rahmen.png" else "rahmen.png"
    cut = "the file is cut off (truncated)"
    cases = [("missing", None, None), ("empty", b"", None), ("a third", good[:len(good) // 3], cut),
             ("header only", good[:64], cut), ("end cut", good[:-4], cut),
             ("foreign", (DATA / other).read_bytes(), None),
             ("text", b"neither picture nor font\n" * 10, None),
             ("folder", os.mkdir, "is a folder, not a file"),
             ("named pipe", os.mkfifo, "is a named pipe, not a file"),
             ("device", lambda p: os.symlink("/dev/zero", p), "is not a regular file")]
    if name == "rahmen.png":  # an ancillary chunk cut short: the PNG loader alone would spin
        cases.append(("text chunk cut", good[:33] + b"\0\0\0\x40tEXtComment", cut))
    return cases


class SceneFiles(unittest.TestCase):
    def test_an_unusable_picture_or_font_is_named_with_its_reason_and_exits_1(self):
        for name, call in (("rahmen.png", "IMG_Load"), ("PC_Snowballs.ttf", "TTF_OpenFont")):
            for label, content, reason in variants(name):
                with self.subTest(file=name, variant=label):
                    with scratch(replace={name: content}, omit=(name,)) as d:
                        run = run_show(d, quit_after=3)
                    self.assertEqual((run.status, run.stdout, run.flips), (1, "", 0))
                    why = ANY if reason is None else exactly(reason)
                    self.assertRegex(run.stderr, f"^{exactly(f'{call}({name}): ')}{why}\n\\Z")


if __name__ == "__main__":
    unittest.main()
