"""The installed tree: files and modes, icons, menu entry, manual, metainfo and the launcher."""
import gzip
import re
import shutil
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

from PIL import Image

from harness import BUILD, CMAKE, lines, run_show

SIZES = (16, 24, 32, 48, 64, 128, 256)
SHARED = ("frostfunkel/rahmen.png", "frostfunkel/PC_Snowballs.ttf", "frostfunkel/xmas.mod",
          "applications/frostfunkel.desktop", "metainfo/org.example.frostfunkel.metainfo.xml",
          "man/man6/frostfunkel.6.gz", "doc/frostfunkel/LICENSE", "icons/hicolor/scalable/apps/"
          "frostfunkel.svg", *(f"icons/hicolor/{s}x{s}/apps/frostfunkel.png" for s in SIZES))


def install(folder):
    """The build installed under `folder`, into a prefix with blanks and quotes in its name."""
    prefix = Path(folder, "Frost 'n' Funkel")
    # Only the list of installed files is hidden: an error shows with its reason.
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)
    return prefix


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = install(cls.enterClassContext(tempfile.TemporaryDirectory()))
        cls.share = cls.prefix / "share"
        cls.page = gzip.decompress((cls.share / "man/man6/frostfunkel.6.gz").read_bytes())

    def test_has_exactly_the_show_s_files_with_their_modes(self):
        self.assertEqual({str(p.relative_to(self.prefix)): f"{stat.S_IMODE(p.stat().st_mode):o}"
                          for p in self.prefix.rglob("*") if p.is_file()},
                         {"bin/frostfunkel": "755", "libexec/frostfunkel/frostfunkel": "755",
                          **{f"share/{p}": "644" for p in SHARED}})

    def test_menu_entry_manual_page_and_metainfo_pass_their_checkers(self):
        # The lines of each checker's output that fail it. Which hints appstreamcli gives as infos
        # differs by release (1.0 calls <developer_name> deprecated, 0.16 does not know
        # <developer>); its warnings and errors fail.
        for command, stdin, failing in (
                (["desktop-file-validate", self.share / "applications/frostfunkel.desktop"], None,
                 ""),
                (["groff", "-man", "-ww", "-z"], self.page, ""),
                (["appstreamcli", "validate", "--no-net", "--no-color",
                  self.share / "metainfo/org.example.frostfunkel.metainfo.xml"], None, "[EW]: ")):
            with self.subTest(command[0]):
                proc = subprocess.run(command, input=stdin, capture_output=True)
                output = (proc.stdout + proc.stderr).decode()
                self.assertEqual((proc.returncode, re.findall(f"^{failing}.+", output, re.M)),
                                 (0, []), output)

    def test_manual_page_names_the_prefix_s_data_folder(self):
        line = ".I \\%" + f"{self.share}/frostfunkel/rahmen.png\n".replace(" ", "\\ ")
        self.assertIn(line, self.page.decode(), "the manual page lacks the data folder, escaped")

    def test_each_icon_is_drawn_crisp_at_its_size_with_padding(self):
        for size in SIZES:
            with self.subTest(size=size):
                image = Image.open(self.share / f"icons/hicolor/{size}x{size}/apps/frostfunkel.png")
                image = image.convert("RGBA")
                left, top, right, bottom = image.getchannel("A").getbbox()
                a = image.getchannel("A").load()
                # Drawn at its size, an edge is one pixel wide: each partly clear pixel touches a
                # clear or an opaque one; a scaled-up icon has wider, soft edges. A scaled-down one
                # blurs its sparkles into the red: none stays pure white.
                soft = [(x, y) for x in range(1, size - 1) for y in range(1, size - 1)
                        if all(0 < a[p] < 255 for p in ((x, y), (x - 1, y), (x + 1, y), (x, y - 1),
                                                        (x, y + 1)))]
                self.assertEqual((image.size, min(left, top, size - right, size - bottom) >= size
                                  // 16, soft, (255, 255, 255, 255) in image.getdata()),
                                 ((size, size), True, [], True))


class Launcher(unittest.TestCase):
    def test_runs_the_show_through_a_symlink_or_names_what_it_misses(self):
        # (what is taken from the installed tree, what the launcher then says it cannot find)
        for taken, what in (("", None), ("share/frostfunkel", "data folder"),
                            ("libexec/frostfunkel/frostfunkel", "program")):
            with self.subTest(taken=taken), tempfile.TemporaryDirectory() as tmp:
                prefix, link = install(tmp), Path(tmp, "other folder/show")
                link.parent.mkdir()
                link.symlink_to(prefix / "bin/frostfunkel")
                if what:
                    (shutil.rmtree if what == "data folder" else Path.unlink)(prefix / taken)
                run = run_show(tmp, command=[link], quit_after=4)
                self.assertEqual((run.status, run.stdout, run.stderr), (0, lines(4), "") if not what
                                 else (1, "", f"frostfunkel: cannot find the {what} (looked in "
                                       f"{prefix}/bin/../{taken} and {prefix}/{taken})\n"))
