"""The Windows packages: the program's PE facts and DLLs, the show and the installer under Wine."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from functools import partial
from pathlib import Path

from harness import BUILD, SOURCE, window, x_server, xdotool

SOURCES = os.environ.get("FROSTFUNKEL_WINDOWS_SOURCES", "")
PREFIX, OBJDUMP = BUILD / "windows-wine", "x86_64-w64-mingw32-objdump"


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=300,
                          **options)


def wait_for(done):
    # Polls for up to a minute: sleep's None keeps any() going until done() holds.
    any(done() or time.sleep(0.2) for _ in range(300))


class Windows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        made = run(SOURCE / "scripts/windows", BUILD / "windows",
                   env={**os.environ, "FROSTFUNKEL_WINDOWS_SOURCES": SOURCE / SOURCES})
        assert made.returncode == 0, f"scripts/windows failed:\n{made.stderr[-3000:]}"
        cls.zip, cls.installer = map(Path, made.stdout.split())
        cls.tmp = Path(cls.enterClassContext(tempfile.TemporaryDirectory(prefix="frostfunkel-")))
        zipfile.ZipFile(cls.zip).extractall(cls.tmp)
        cls.folder, cls.display = cls.tmp / cls.zip.stem, cls.enterClassContext(
            x_server("-screen", "0", "640x480x24"))
        # No Mono or Gecko installers when the prefix is made, no menu entries on this desktop
        # for the installer's shortcuts; the sound device is the one given.
        cls.env = {**{k: v for k, v in os.environ.items() if not k.startswith("SDL_")},
                   "WINEPREFIX": str(PREFIX), "WINEDEBUG": "-all", "DISPLAY": cls.display,
                   "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe=",
                   "SDL_AUDIODRIVER": "dummy"}
        cls.wine = partial(run, env=cls.env)
        cls.wine("wineboot", "-i")
        cls.addClassCleanup(cls.wine, "wineserver", "-k")

    def show(self, command, folder, *, lines=0, cwd=None, **env):
        # Runs `command` under Wine: its status, stdout.txt, stderr.txt (SDL deletes them when
        # empty). With `lines`, waits for them, presses Escape and checks caption and output.
        out, err = folder / "stdout.txt", folder / "stderr.txt"
        proc = subprocess.Popen(["wine", *command], cwd=cwd or folder, env={**self.env, **env},
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(proc.kill)
        if lines:
            wait_for(lambda: out.exists() and out.read_bytes().count(b"\n") >= lines)
            caption = xdotool(self.display, "search", "--name", "Frostfunkel", "getwindowname",
                              "windowfocus", "--sync", "key", "Escape")
            wait_for(lambda: not xdotool(self.display, "search", "--name", "Frostfunkel"))
        status = proc.wait(timeout=60)
        stdout, stderr = (p.exists() and p.read_bytes().decode("latin-1") or "" for p in (out, err))
        if lines:
            scroller = "".join(window(t) + "\r\n" for t in range(max(stdout.count("\n"), 1)))
            self.assertEqual((caption, stdout, stderr), ("Frostfunkel ", scroller, ""))
        return status, stdout, stderr

    def test_program_is_stripped_gui_with_its_icon_and_every_dll_it_needs(self):
        exe, dlls = self.folder / "frostfunkel.exe", list(self.folder.glob("*.dll"))
        dump = run(OBJDUMP, "-p", "-t", exe).stdout
        self.assertEqual(re.findall(r"^Subsystem\s+\S+\s+(.*)", dump, re.M), ["(Windows GUI)"])
        self.assertTrue("no symbols" in dump, "the program is not stripped")
        icons = run(f"wrestool -x -t 14 -n SDL_APP '{exe}' | icotool -l -", shell=True).stdout
        self.assertEqual(icons.split(), ["--icon", "--index=1", "--width=32", "--height=32",
                                         "--bit-depth=8", "--palette-size=256"])
        # Every DLL imported, by the program or a shipped DLL, is shipped or one of Windows'.
        known = {p.name.lower() for p in [*(PREFIX / "drive_c/windows/system32").iterdir(), *dlls]}
        imports = re.findall(r"DLL Name: (\S+)", dump + run(OBJDUMP, "-p", *dlls).stdout)
        self.assertEqual([d for d in imports if d.lower() not in known], [])

    def test_show_from_the_zip(self):
        self.assertEqual(self.show([self.folder / "frostfunkel.exe"], self.folder, lines=6)[0], 0)
        # Start-up failures: status, the file written (1 stdout, 2 stderr) and how it begins.
        picture = (self.folder / "rahmen.png").read_bytes()
        for name, rahmen, env, expected, stream, message in (
                ("picture missing", None, {}, 1, 2, "IMG_Load(rahmen.png): "),
                ("foreign picture", b"GIF89a" + bytes(64), {}, 1, 2, "IMG_Load(rahmen.png): "),
                ("no audio", picture, {"SDL_AUDIODRIVER": "none"}, 2, 1, "Mix_OpenAudio: ")):
            with self.subTest(name), tempfile.TemporaryDirectory(dir=self.tmp) as d:
                shutil.copytree(self.folder, d, dirs_exist_ok=True,
                                ignore=lambda *_: ["rahmen.png"])
                if rahmen:
                    (Path(d) / "rahmen.png").write_bytes(rahmen)
                result = self.show([Path(d) / "frostfunkel.exe"], Path(d), **env)
                self.assertEqual((result[0], result[stream][:len(message)]), (expected, message))

    def test_installer_installs_the_folder_with_a_shortcut_and_uninstalls_everything(self):
        target = PREFIX / "drive_c/frostfunkel-test"
        shutil.rmtree(target, ignore_errors=True)
        self.wine("wine", self.installer, "/S", r"/D=C:\frostfunkel-test").check_returncode()

        def files(root):
            return {p.relative_to(root) for p in root.rglob("*")}
        self.assertEqual(files(target) - files(self.folder), {Path("Uninstall.exe")})
        shortcuts = list((PREFIX / "drive_c").rglob("Frostfunkel.lnk"))
        self.assertEqual(len(shortcuts), 1, shortcuts)
        # Started as the shortcut starts it, from another folder: the data is found only in
        # the shortcut's start folder. Wine's start does not wait for a shortcut's program.
        self.show(["start", "/unix", shortcuts[0]], target, lines=2, cwd=self.tmp)
        self.wine("wine", target / "Uninstall.exe", "/S").check_returncode()
        # The uninstaller runs on from a copy of itself: wait until no Windows process is left.
        self.wine("wineserver", "-w")
        self.assertFalse(target.exists() or shortcuts[0].parent.exists())
        for key in (r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Frostfunkel",
                    r"HKLM\Software\The Frostfunkel developers"):
            self.assertNotEqual(self.wine("wine", "reg", "query", key).returncode, 0, key)


if __name__ == "__main__":
    if not SOURCES:
        print("skipped: FROSTFUNKEL_WINDOWS_SOURCES is not set, so the Windows packages cannot "
              "be built (set it to the folder of the library source tarballs, as .ci/run does)")
        sys.exit(77)  # CTest's SKIP_RETURN_CODE for this test
    unittest.main(verbosity=2)
