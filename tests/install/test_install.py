"""The installed tree: files and modes, the launcher from other folders, the menu entry, the manual."""
import gzip
import os
import re
import shutil
import stat
import subprocess
import unittest

from installed import (BUILD, DATA_FILES, SOURCE, ScratchDir, cmake_install, expected_lines,
                       run, show_env)

# Installed path -> mode, for a prefix laid out by GNUInstallDirs' defaults.
LAYOUT = {
    "bin/frostfunkel": 0o755,
    "libexec/frostfunkel/frostfunkel": 0o755,
    **{f"share/frostfunkel/{name}": 0o644 for name in DATA_FILES},
    "share/applications/frostfunkel.desktop": 0o644,
    "share/icons/hicolor/32x32/apps/frostfunkel.png": 0o644,
    "share/man/man6/frostfunkel.6.gz": 0o644,
    "share/doc/frostfunkel/copyright": 0o644,
    "share/doc/frostfunkel/changelog.gz": 0o644,
    "share/lintian/overrides/frostfunkel": 0o644,
}


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = ScratchDir()
        cls.root = cls.scratch.__enter__()
        cls.prefix = cls.root / "prefix"
        cmake_install(cls.prefix)

    @classmethod
    def tearDownClass(cls):
        cls.scratch.__exit__(None, None, None)

    def test_every_file_at_its_place_with_its_mode_and_nothing_else(self):
        found = {str(p.relative_to(self.prefix)): stat.S_IMODE(p.stat().st_mode)
                 for p in self.prefix.rglob("*") if p.is_file()}
        self.assertEqual({k: oct(v) for k, v in found.items()},
                         {k: oct(v) for k, v in LAYOUT.items()})
        for d in (p for p in self.prefix.rglob("*") if p.is_dir()):
            self.assertEqual(stat.S_IMODE(d.stat().st_mode), 0o755, d)
        for name in DATA_FILES:
            self.assertEqual((self.prefix / "share/frostfunkel" / name).read_bytes(),
                             (SOURCE / "data" / name).read_bytes(), name)

    def test_launcher_runs_the_show_from_another_folder(self):
        with ScratchDir() as elsewhere:
            status, out, err = run([self.prefix / "bin/frostfunkel"], elsewhere, show_env(6))
            self.assertEqual((status, err), (0, ""))
            self.assertEqual(out, expected_lines(6))
            # Nothing written to the folder it was started from.
            self.assertEqual(list(elsewhere.iterdir()), [])

    def test_launcher_in_moved_trees_and_through_a_symlink(self):
        with ScratchDir() as d:
            moved = d / "moved"
            shutil.copytree(self.prefix, moved, symlinks=True)
            (d / "links").mkdir()
            (d / "links/ff").symlink_to(moved / "bin/frostfunkel")
            staged = d / "stage"
            cmake_install("/opt/frostfunkel", destdir=staged)
            for launcher in (moved / "bin/frostfunkel", d / "links/ff",
                             staged / "opt/frostfunkel/bin/frostfunkel"):
                with self.subTest(launcher=str(launcher.relative_to(d))):
                    status, out, err = run([launcher], d, show_env(3))
                    self.assertEqual((status, err), (0, ""))
                    self.assertEqual(out, expected_lines(3))

    def test_launcher_passes_failing_statuses_through(self):
        with ScratchDir() as d:
            tree = d / "tree"
            shutil.copytree(self.prefix, tree, symlinks=True)
            (tree / "share/frostfunkel/rahmen.png").unlink()
            status, out, err = run([tree / "bin/frostfunkel"], d, show_env(3))
            self.assertEqual(status, 1)
            self.assertIn("rahmen.png", err)
            status, out, err = run([tree / "bin/frostfunkel"], d,
                                   show_env(3, SDL_AUDIODRIVER="disk",
                                            SDL_DISKAUDIOFILE=d / "no-such-dir/audio.raw"))
            self.assertEqual(status, 2)
            self.assertRegex(out, r"^Mix_OpenAudio: ")

    def test_launcher_starts_the_program_in_the_data_folder_with_the_arguments(self):
        # A stand-in program shows what the launcher hands over: folder, arguments, status.
        with ScratchDir() as d:
            tree = d / "tree"
            shutil.copytree(self.prefix, tree, symlinks=True)
            program = tree / "libexec/frostfunkel/frostfunkel"
            program.write_text('#!/bin/sh\npwd\nfor a in "$@"; do echo "[$a]"; done\nexit 7\n')
            status, out, err = run([tree / "bin/frostfunkel", "two words", "", "-x"], d)
            self.assertEqual(status, 7, err)
            self.assertEqual(out.splitlines(),
                             [str((tree / "share/frostfunkel").resolve()), "[two words]", "[]",
                              "[-x]"])

    def test_menu_entry_is_valid_and_starts_the_launcher_with_the_icon(self):
        entry = self.prefix / "share/applications/frostfunkel.desktop"
        proc = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        self.assertEqual((proc.returncode, proc.stdout + proc.stderr), (0, ""))
        fields = dict(line.split("=", 1) for line in entry.read_text().splitlines() if "=" in line)
        self.assertEqual(fields["Exec"], "frostfunkel")
        self.assertEqual(fields["Icon"], "frostfunkel")
        self.assertIn("Game", fields["Categories"].split(";"))

    def test_copyright_carries_the_licence_of_the_source_tree(self):
        # The Debian copyright file repeats LICENSE's terms; both must say the same.
        licence = (SOURCE / "LICENSE").read_text()
        terms = " ".join(licence[licence.index("Permission"):licence.index("SOFTWARE.") + 9].split())
        copyright = (self.prefix / "share/doc/frostfunkel/copyright").read_text()
        stanza = next(p for p in copyright.split("\n\n") if p.startswith("License: Expat\n"))
        stanza = stanza.split("\n", 1)[1]
        self.assertEqual(" ".join(line.strip() for line in stanza.splitlines()
                                  if line.strip() != ".").split(), terms.split())
        self.assertIn("CC0", licence)
        self.assertRegex(copyright, r"(?m)^Files: data/rahmen\.png data/PC_Snowballs\.ttf "
                                    r"data/xmas\.mod\nCopyright: .*\nLicense: CC0-1\.0$")

    def test_manual_page_formats_without_warnings_and_covers_its_sections(self):
        page = gzip.decompress((self.prefix / "share/man/man6/frostfunkel.6.gz").read_bytes())
        proc = subprocess.run(["groff", "-man", "-ww", "-z"], input=page, capture_output=True)
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        text = subprocess.run(["man", "-l", "-"], input=page, capture_output=True,
                              env=dict(os.environ, MANWIDTH="200"), check=True).stdout.decode()
        text = re.sub(".\b", "", text)  # overstruck bold and underlined letters
        for heading in ("NAME", "SYNOPSIS", "DESCRIPTION", "STOPPING THE SHOW", "FILES", "OUTPUT",
                        "EXIT STATUS", "ENVIRONMENT"):
            self.assertRegex(text, rf"(?m)^{heading}$")
        flat = " ".join(text.split())
        self.assertIn("Release the Escape key; pressing it is not enough.", flat)
        for name in DATA_FILES:
            self.assertIn(f"{build_prefix()}/share/frostfunkel/{name}", flat)


def build_prefix():
    """The prefix the build was configured with, which the manual names."""
    for line in (BUILD / "CMakeCache.txt").read_text().splitlines():
        if line.startswith("CMAKE_INSTALL_PREFIX:"):
            return line.split("=", 1)[1]
    raise AssertionError("no CMAKE_INSTALL_PREFIX in the build's cache")


if __name__ == "__main__":
    unittest.main()
