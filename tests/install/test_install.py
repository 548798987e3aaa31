"""The installed tree: files and modes, the launcher from another folder, menu entry, manual."""
import gzip
import shutil
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BUILD, CMAKE, lines, run_show
from installed import LAYOUT


class InstallTest(unittest.TestCase):
    maxDiff = None  # file lists in full when they differ

    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory(prefix="frostfunkel-install-")
        cls.addClassCleanup(tmp.cleanup)
        cls.root = Path(tmp.name)
        cls.prefix = cls.root / "prefix"
        subprocess.run([CMAKE, "--install", BUILD, "--prefix", cls.prefix], check=True,
                       capture_output=True)

    def test_every_file_at_its_place_with_its_mode_and_nothing_else(self):
        found = {str(p.relative_to(self.prefix)): stat.filemode(p.stat().st_mode)
                 for p in self.prefix.rglob("*") if p.is_file()}
        self.assertEqual(found, {p: stat.filemode(stat.S_IFREG | m) for p, m in LAYOUT.items()})

    def test_launcher_runs_the_show_from_another_folder_and_passes_its_status_through(self):
        # A copied tree missing a data file: the launcher must use the copy and report its failure.
        broken = self.root / "broken"
        shutil.copytree(self.prefix, broken)
        (broken / "share/frostfunkel/rahmen.png").unlink()
        for tree, expected in ((self.prefix, (0, lines(6), False)), (broken, (1, "", True))):
            with self.subTest(tree=tree.name):
                run = run_show(self.root, command=[tree / "bin/frostfunkel"], quit_after=6)
                self.assertEqual((run.status, run.stdout, run.stderr != ""), expected, run.stderr)

    def test_menu_entry_and_manual_page_check_clean(self):
        page = gzip.decompress((self.prefix / "share/man/man6/frostfunkel.6.gz").read_bytes())
        entry = self.prefix / "share/applications/frostfunkel.desktop"
        for command, stdin in ((["desktop-file-validate", entry], None),
                               (["groff", "-man", "-ww", "-z"], page)):
            with self.subTest(command=command[0]):
                proc = subprocess.run(command, input=stdin, capture_output=True)
                self.assertEqual((proc.returncode, proc.stdout + proc.stderr), (0, b""))


if __name__ == "__main__":
    unittest.main()
