"""The installed tree: files and modes, the launcher, the menu entry, manual and metainfo."""
import gzip, re, shutil, stat, subprocess, tempfile, unittest
from pathlib import Path

from harness import BUILD, CMAKE, lines, run_show
from installed import LAYOUT


def install(prefix):
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix], check=True, capture_output=True)


class InstallTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        # No hyphen in the path, so the manual page has it as it is.
        cls.prefix = Path(cls.enterClassContext(tempfile.TemporaryDirectory(prefix="ffinstall")),
                          "prefix")
        install(cls.prefix)

    def test_every_file_at_its_place_with_its_mode_and_nothing_else(self):
        found = {str(p.relative_to(self.prefix)): stat.filemode(p.stat().st_mode)
                 for p in self.prefix.rglob("*") if p.is_file()}
        self.assertEqual(found, {p: stat.filemode(stat.S_IFREG | m) for p, m in LAYOUT.items()})

    def test_launcher_through_a_symlink_runs_the_show_or_names_what_is_missing(self):
        # What is taken from an install under a prefix with a blank and a quote, and what the
        # launcher then reports, when started through a symlink in another folder.
        for taken, remove, what in (("", None, None),
                                    ("share/frostfunkel", shutil.rmtree, "data folder"),
                                    ("libexec/frostfunkel/frostfunkel", Path.unlink, "program")):
            with self.subTest(taken=taken), tempfile.TemporaryDirectory() as tmp:
                prefix, link = Path(tmp, "Frost 'n' Funkel"), Path(tmp, "other folder/show")
                install(prefix)
                if remove:
                    remove(prefix / taken)
                link.parent.mkdir()
                link.symlink_to(prefix / "bin/frostfunkel")
                run = run_show(tmp, command=[link], quit_after=4)
                self.assertEqual((run.status, run.stdout, run.stderr), (0, lines(4), "") if not what
                                 else (1, "", f"frostfunkel: cannot find the {what} (looked in "
                                       f"{prefix}/bin/../{taken} and {prefix}/{taken})\n"))

    def test_menu_entry_manual_page_and_metainfo_check_clean(self):
        page = gzip.decompress((self.prefix / "share/man/man6/frostfunkel.6.gz").read_bytes())
        share = self.prefix / "share"
        for command, stdin, output in (
                (["desktop-file-validate", share / "applications/frostfunkel.desktop"], None, b""),
                (["groff", "-man", "-ww", "-z"], page, b"")):
            with self.subTest(command=command[0]):
                proc = subprocess.run(command, input=stdin, capture_output=True)
                self.assertEqual((proc.returncode, proc.stdout + proc.stderr), (0, output))
        # Valid, infos allowed: which hints a release's appstreamcli adds as infos differs
        # (1.0 calls <developer_name> deprecated, 0.16 does not know <developer>).
        proc = subprocess.run(["appstreamcli", "validate", "--no-net", "--no-color",
                               share / "metainfo/org.example.frostfunkel.metainfo.xml"],
                              capture_output=True, text=True)
        self.assertEqual((proc.returncode, re.findall(r"^[EW]: .*", proc.stdout, re.M)), (0, []),
                         proc.stdout)
        # The manual page names the folders of the prefix installed into.
        self.assertIn(f".I \\%{share}/frostfunkel/rahmen.png\n".encode(), page)
