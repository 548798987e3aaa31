"""The Debian package: its fields and files, lintian, and an install and removal in a scratch root."""
import os
import re
import subprocess
import unittest
from pathlib import Path

from installed import BUILD, DATA_FILES, SOURCE, ScratchDir, expected_lines, run, show_env

# Package path -> mode; every file is root's.
CONTENTS = {
    "usr/games/frostfunkel": 0o755,
    "usr/libexec/frostfunkel/frostfunkel": 0o755,
    **{f"usr/share/frostfunkel/{name}": 0o644 for name in DATA_FILES},
    "usr/share/applications/frostfunkel.desktop": 0o644,
    "usr/share/icons/hicolor/32x32/apps/frostfunkel.png": 0o644,
    "usr/share/man/man6/frostfunkel.6.gz": 0o644,
    "usr/share/doc/frostfunkel/copyright": 0o644,
    "usr/share/doc/frostfunkel/changelog.gz": 0o644,
    "usr/share/lintian/overrides/frostfunkel": 0o644,
}
ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                      check=True).stdout.strip()
SDL_RUNTIME = "libsdl1.2debian (>= 1.2.11) | libsdl1.2-compat-shim"
# Each library the program links, by its Debian package (versions as dpkg-shlibdeps finds them).
LINKED = ["libc6", "libgcc-s1", "libsdl-image1.2", "libsdl-mixer1.2", "libsdl-ttf2.0-0",
          SDL_RUNTIME, "libstdc++6"]


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        proc = subprocess.run([SOURCE / "scripts/package", BUILD / "package-build"],
                              capture_output=True, text=True)
        if proc.returncode != 0:
            raise AssertionError(f"scripts/package failed:\n{proc.stderr}")
        cls.deb = Path(proc.stdout.strip())

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", self.deb, name], capture_output=True, text=True,
                              check=True).stdout.strip()

    def test_control_fields(self):
        self.assertEqual(self.deb.name, f"frostfunkel_1.0.0_{ARCH}.deb")
        for name, value in (("Package", "frostfunkel"), ("Version", "1.0.0"),
                            ("Architecture", ARCH), ("Section", "games"),
                            ("Priority", "optional")):
            with self.subTest(field=name):
                self.assertEqual(self.field(name), value)
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^<>@]+@[^<>@]+>$")
        self.assertRegex(self.field("Description"), r"^full-screen Christmas greeting show")

    def test_depends_names_each_linked_library_and_either_sdl_runtime(self):
        depends = [d.strip() for d in self.field("Depends").split(",")]
        self.assertEqual([re.sub(r" \((>=|=) [^)]*\)$", "", d) for d in depends], LINKED)
        self.assertIn(SDL_RUNTIME, depends)

    def test_apt_can_install_it_beside_either_sdl_runtime(self):
        # A simulation only: apt resolves the Depends against this system's package lists.
        for runtime in ("libsdl1.2debian", "libsdl1.2-compat-shim"):
            with self.subTest(runtime=runtime):
                proc = subprocess.run(["apt-get", "install", "--simulate", "--no-install-recommends",
                                       self.deb, runtime], capture_output=True, text=True,
                                      env=dict(os.environ, LC_ALL="C"))
                self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
                self.assertRegex(proc.stdout, r"(?m)^Conf frostfunkel \(1\.0\.0 ")
                # Swapping the runtime may take the conflicting -dev packages, never a library.
                self.assertNotRegex(proc.stdout, r"(?m)^Remv (libsdl-ttf2\.0-0|libsdl-image1\.2|"
                                                 r"libsdl-mixer1\.2|libc6|libstdc\+\+6) ")

    def test_files_modes_and_owners(self):
        listing = subprocess.run(["dpkg-deb", "-c", self.deb], capture_output=True, text=True,
                                 check=True).stdout.splitlines()
        files, dirs = {}, set()
        for line in listing:
            perms, owner, _, _, _, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            path = path.removeprefix("./")
            if perms.startswith("d"):
                self.assertEqual(perms, "drwxr-xr-x", line)
                dirs.add(path.rstrip("/"))
            else:
                files[path] = perms
        expected = {p: "-" + "".join(
            c if m & (1 << (8 - i)) else "-" for i, c in enumerate("rwxrwxrwx"))
            for p, m in CONTENTS.items()}
        self.assertEqual(files, expected)
        # The program is stripped.
        with ScratchDir() as d:
            subprocess.run(["dpkg-deb", "-x", self.deb, d], check=True)
            program = d / "usr/libexec/frostfunkel/frostfunkel"
            sections = subprocess.run(["readelf", "-S", "-W", program], capture_output=True,
                                      text=True, check=True).stdout
            self.assertNotIn(".debug_info", sections)
            self.assertNotIn(".symtab", sections)

    def test_lintian_finds_no_errors_or_warnings(self):
        proc = subprocess.run(["lintian", "--fail-on", "error,warning", self.deb],
                              capture_output=True, text=True)
        tags = [line for line in proc.stdout.splitlines() if re.match(r"^[EW]: ", line)]
        self.assertEqual((proc.returncode, tags), (0, []), proc.stdout + proc.stderr)

    def test_installs_runs_and_removes_cleanly_in_a_scratch_root(self):
        with ScratchDir() as root:
            admin = root / "var/lib/dpkg"
            for sub in ("info", "updates", "triggers"):
                (admin / sub).mkdir(parents=True)
            (admin / "status").touch()
            # The scratch root has no libraries registered, so dependencies are not checked here.
            # dpkg sets root as the owner of what it unpacks; fakeroot lets a user run it.
            dpkg = [] if os.geteuid() == 0 else ["fakeroot"]
            dpkg += ["dpkg", f"--root={root}", "--log=/dev/null", "--force-depends",
                    "--force-script-chrootless", "--force-not-root"]
            status, out, err = run(dpkg + ["-i", self.deb], root)
            self.assertEqual(status, 0, out + err)
            self.assertTrue((root / "usr/games/frostfunkel").is_file())
            # The unpacked launcher finds its moved tree and runs the show from another folder.
            status, out, err = run([root / "usr/games/frostfunkel"], SOURCE, show_env(4))
            self.assertEqual((status, out, err), (0, expected_lines(4), ""))
            status, out, err = run(dpkg + ["-r", "frostfunkel"], root)
            self.assertEqual(status, 0, out + err)
            left = [p for p in root.rglob("*") if p.is_file() and admin not in p.parents]
            self.assertEqual(left, [])
            self.assertFalse((root / "usr/share/frostfunkel").exists())


if __name__ == "__main__":
    unittest.main()
