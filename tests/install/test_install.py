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


class InstallTest(unittest.TestCase):
    def test_installed_tree_checks_clean_and_its_launcher_runs_or_names_what_is_missing(self):
        with tempfile.TemporaryDirectory() as tmp:
            prefix, link = Path(tmp, "Frost 'n' Funkel"), Path(tmp, "other folder/show")
            # Only the list of installed files is hidden: an error shows with its reason.
            subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix], check=True,
                           stdout=subprocess.DEVNULL)
            share = prefix / "share"
            self.assertEqual({str(p.relative_to(prefix)): f"{stat.S_IMODE(p.stat().st_mode):o}"
                              for p in prefix.rglob("*") if p.is_file()},
                             {"bin/frostfunkel": "755", "libexec/frostfunkel/frostfunkel": "755",
                              **{f"share/{p}": "644" for p in SHARED}})
            # The lines of each checker's output that fail it. Which hints appstreamcli gives as
            # infos differs by release (1.0 calls <developer_name> deprecated, 0.16 does not know
            # <developer>); its warnings and errors fail.
            page = gzip.decompress((share / "man/man6/frostfunkel.6.gz").read_bytes())
            entry = share / "applications/frostfunkel.desktop"
            for command, stdin, failing in (
                    (["desktop-file-validate", entry], None, ""),
                    (["groff", "-man", "-ww", "-z"], page, ""),
                    (["appstreamcli", "validate", "--no-net", "--no-color",
                      share / "metainfo/org.example.frostfunkel.metainfo.xml"], None, "[EW]: ")):
                proc = subprocess.run(command, input=stdin, capture_output=True)
                output = (proc.stdout + proc.stderr).decode()
                self.assertEqual((proc.returncode, re.findall(f"^{failing}.+", output, re.M)),
                                 (0, []), output)
            # The manual page names the folders of the prefix, its blanks escaped.
            line = ".I \\%" + f"{share}/frostfunkel/rahmen.png\n".replace(" ", "\\ ")
            self.assertTrue(line in page.decode(), f"the manual page lacks {line!r}")
            for size in SIZES:
                image = Image.open(share / f"icons/hicolor/{size}x{size}/apps/frostfunkel.png")
                image = image.convert("RGBA")
                left, top, right, bottom = image.getchannel("A").getbbox()
                a = image.getchannel("A").load()
                # Drawn at its size, an edge is one pixel wide: each partly clear pixel touches
                # a clear or an opaque one; a scaled-up icon has wider, soft edges. A scaled-down
                # one blurs its sparkles into the red: none stays pure white.
                soft = [(x, y) for x in range(1, size - 1) for y in range(1, size - 1)
                        if all(0 < a[p] < 255 for p in ((x, y), (x - 1, y), (x + 1, y), (x, y - 1),
                                                        (x, y + 1)))]
                self.assertEqual((image.size, min(left, top, size - right, size - bottom) >= size
                                  // 16, soft, (255, 255, 255, 255) in image.getdata()),
                                 ((size, size), True, [], True), f"the icon of {size} pixels")
            # Started through a symlink in another folder: the show runs; without its data
            # folder, and then without the program too, the launcher names what it misses.
            link.parent.mkdir()
            link.symlink_to(prefix / "bin/frostfunkel")
            for taken, remove, what in (
                    ("", None, None), ("share/frostfunkel", shutil.rmtree, "data folder"),
                    ("libexec/frostfunkel/frostfunkel", Path.unlink, "program")):
                if remove:
                    remove(prefix / taken)
                run = run_show(tmp, command=[link], quit_after=4)
                self.assertEqual((run.status, run.stdout, run.stderr), (0, lines(4), "") if not what
                                 else (1, "", f"frostfunkel: cannot find the {what} (looked in "
                                       f"{prefix}/bin/../{taken} and {prefix}/{taken})\n"))
