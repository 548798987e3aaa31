"""The Debian package: Depends, lintian, reproducibility, install, metainfo, run and removal."""
import gzip
import os
import subprocess
import tempfile
import time
import unittest
from pathlib import Path
from xml.etree import ElementTree

from harness import BUILD, SOURCE, lines, run_show


def run(*command):
    return subprocess.run(command, capture_output=True, text=True)


def package(folder):
    proc = run(SOURCE / "scripts/package", folder)
    assert proc.returncode == 0, f"scripts/package failed:\n{proc.stderr}"
    return Path(proc.stdout.strip())


class PackageTest(unittest.TestCase):
    def test_package_lints_clean_builds_again_alike_installs_runs_and_removes_cleanly(self):
        deb = package(BUILD / "package-build")
        # dpkg-shlibdeps names only the SDL 1.2 runtime found here; the show runs on either.
        self.assertIn("libsdl1.2debian (>= 1.2.11) | libsdl1.2-compat-shim",
                      run("dpkg-deb", "-f", deb, "Depends").stdout)
        lint = run("lintian", "--fail-on", "error,warning", deb)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        time.sleep(1.1)  # so the files of the second build are written at other times
        with tempfile.TemporaryDirectory(prefix="frostfunkel package ") as folder:
            self.assertEqual(package(folder).read_bytes(), deb.read_bytes())
        with tempfile.TemporaryDirectory() as tmp:
            root, db = Path(tmp, "root"), Path(tmp, "root/var/lib/dpkg")
            db.mkdir(parents=True)
            (db / "status").touch()
            # No libraries are registered in the scratch root, so Depends go unchecked here;
            # fakeroot lets a user have dpkg make root the owner of what it unpacks.
            dpkg = ["fakeroot"] * (os.geteuid() != 0) + [
                "dpkg", f"--root={root}", "--log=/dev/null", "--force-depends",
                "--force-script-chrootless", "--force-not-root"]
            self.assertEqual(run(*dpkg, "-i", deb).returncode, 0)
            # The packed build (stripped, hardened, launcher in games/) runs the show.
            show = run_show(tmp, command=[root / "usr/games/frostfunkel"], quit_after=4)
            self.assertEqual((show.status, show.stdout, show.stderr), (0, lines(4), ""))
            # Software centres get one component, the package's release, and the icon sizes
            # they ask for (newer compose adds double-size copies, scale 2).
            self.assertEqual(run("appstreamcli", "compose", "--no-net", "--origin=frostfunkel",
                                 f"--result-root={tmp}/out", root).returncode, 0)
            found = ElementTree.parse(gzip.open(next(Path(tmp, "out").rglob("*.xml.gz")))).getroot()
            self.assertEqual([(c.findtext("id"), c.find(".//release").get("version"), [
                i.get("width") for i in c.iter("icon")
                if i.get("type") == "cached" and i.get("scale", "1") == "1"]) for c in found],
                [("org.example.frostfunkel", run("dpkg-deb", "-f", deb, "Version").stdout.strip(),
                  ["48", "64", "128"])])
            self.assertEqual(run(*dpkg, "-r", "frostfunkel").returncode, 0)
            self.assertFalse([p for p in root.rglob("*") if p.is_file() and db not in p.parents])
