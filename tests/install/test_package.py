"""The Debian package: Depends, lintian, reproducibility, its files, metainfo and autopkgtest."""
import gzip
import os
import platform
import subprocess
import tempfile
import unittest
from pathlib import Path
from xml.etree import ElementTree

from harness import BUILD, SOURCE

# Debian 12 has both SDL 1.2 libraries: the package asks for sdl12-compat's first, and before
# the companions, whose libsdl1.2debian apt would otherwise give the classic one. sdl12-compat
# keeps the picture's proportions on a wide screen. On Debian 13 libsdl1.2debian is sdl12-compat.
SDL = {"12": r"^libsdl1\.2-compat-shim \| libsdl1\.2debian \(>= 1\.2\.11\), "}.get(
    platform.freedesktop_os_release().get("VERSION_ID"), r"\blibsdl1\.2debian \(>= ")


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


# The .deb scripts/package builds, without the tests: scripts/test runs them itself.
def package(folder, umask=0o022, **env):
    proc = run(SOURCE / "scripts/package", folder, umask=umask,
               env={**os.environ, "DEB_BUILD_OPTIONS": "nocheck", **env})
    assert proc.returncode == 0, f"scripts/package failed:\n{proc.stderr[-3000:]}"
    return Path(proc.stdout.strip())


class PackageTest(unittest.TestCase):
    def test_package_lints_clean_builds_again_alike_and_its_show_runs(self):
        deb = package(BUILD / "package-build")
        self.assertRegex(run("dpkg-deb", "-f", deb, "Depends").stdout, SDL)
        lint = run("lintian", "--fail-on", "error,warning", deb.with_suffix(".changes"))
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        # Built again elsewhere, later, with another umask, locale and time zone: the same bytes.
        with tempfile.TemporaryDirectory(prefix="frostfunkel package ") as other:
            self.assertTrue(package(other, 0o002, LC_ALL="C.UTF-8", TZ="XMAS-14").read_bytes()
                            == deb.read_bytes(), "built again, the .deb differs")
        with tempfile.TemporaryDirectory() as tmp:
            # Unpacked into a scratch root: the package has no maintainer scripts to run.
            root = Path(tmp, "root")
            self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
            # The packed build (stripped, hardened, launcher in games/) passes the autopkgtest,
            # which also fails on anything written to standard error.
            show = run(SOURCE / "debian/tests/show",
                       env={**os.environ, "FROSTFUNKEL_LAUNCHER": root / "usr/games/frostfunkel"})
            self.assertEqual((show.returncode, show.stderr), (0, ""))
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
