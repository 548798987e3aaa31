"""The Debian package: fields, files, lintian, and an install and removal in a scratch root."""
import os
import re
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BUILD, SOURCE, lines, run_show
from installed import LAYOUT

ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                      check=True).stdout.strip()
# What dpkg-shlibdeps finds the program linked to (versions left out), with SDL 1.2 widened to
# either runtime: the classic library or sdl12-compat's shim.
DEPENDS = ["libc6", "libgcc-s1", "libsdl-image1.2", "libsdl-mixer1.2", "libsdl-ttf2.0-0",
           "libsdl1.2debian (>= 1.2.11) | libsdl1.2-compat-shim", "libstdc++6"]


def dpkg_deb(*args):
    return subprocess.run(["dpkg-deb", *args], capture_output=True, text=True,
                          check=True).stdout.splitlines()


class PackageTest(unittest.TestCase):
    maxDiff = None  # file lists in full when they differ

    @classmethod
    def setUpClass(cls):
        proc = subprocess.run([SOURCE / "scripts/package", BUILD / "package-build"],
                              capture_output=True, text=True)
        if proc.returncode != 0:
            raise AssertionError(f"scripts/package failed:\n{proc.stderr}")
        cls.deb = Path(proc.stdout.strip())

    def test_control_fields_and_depends(self):
        names = ("Package", "Version", "Architecture", "Section", "Depends")
        fields = dict(line.split(": ", 1) for line in dpkg_deb("-f", self.deb, *names))
        depends = [re.sub(r" \(>?= [^)]*\)$", "", d) for d in fields.pop("Depends").split(", ")]
        self.assertEqual(depends, DEPENDS)
        self.assertEqual(fields, dict(zip(names, ("frostfunkel", "1.0.0", ARCH, "games"))))

    def test_files_with_their_modes_owned_by_root(self):
        files = {}
        for line in dpkg_deb("-c", self.deb):
            perms, owner, _, _, _, path = line.split(None, 5)
            if not perms.startswith("d"):
                files[path.removeprefix("./")] = (perms, owner)
        self.assertEqual(files, {re.sub("^usr/bin/", "usr/games/", f"usr/{path}"):
                                 (stat.filemode(stat.S_IFREG | mode), "root/root")
                                 for path, mode in LAYOUT.items()})

    def test_lintian_finds_no_errors_or_warnings(self):
        proc = subprocess.run(["lintian", "--fail-on", "error,warning", self.deb],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)

    def test_installs_runs_and_removes_cleanly_in_a_scratch_root(self):
        with tempfile.TemporaryDirectory() as tmp:
            root, admin = Path(tmp), Path(tmp) / "var/lib/dpkg"
            admin.mkdir(parents=True)
            (admin / "status").touch()
            # No libraries are registered in the scratch root, so Depends go unchecked here;
            # fakeroot lets a user have dpkg make root the owner of what it unpacks.
            command = [] if os.geteuid() == 0 else ["fakeroot"]
            command += ["dpkg", f"--root={root}", "--log=/dev/null", "--force-depends",
                        "--force-script-chrootless", "--force-not-root"]

            def dpkg(*action):
                proc = subprocess.run(command + list(action), capture_output=True, text=True)
                self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
            dpkg("-i", self.deb)
            # The packed build (stripped, hardened, launcher in games/) runs the show.
            run = run_show(SOURCE, command=[root / "usr/games/frostfunkel"], quit_after=4)
            self.assertEqual((run.status, run.stdout, run.stderr), (0, lines(4), ""))
            dpkg("-r", "frostfunkel")
            self.assertEqual([p for p in root.rglob("*") if p.is_file() and admin not in p.parents],
                             [])


if __name__ == "__main__":
    unittest.main()
