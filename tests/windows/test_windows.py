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
from pathlib import Path

from harness import BUILD, SOURCE, window

SKIPPED = 77  # CTest's SKIP_RETURN_CODE for this test
OBJDUMP = "x86_64-w64-mingw32-objdump"
SOURCES = os.environ.get("FROSTFUNKEL_WINDOWS_SOURCES", "")
WINE_PREFIX = BUILD / "windows-wine"


def wait_for(done, seconds=60):
    deadline = time.monotonic() + seconds
    while not done() and time.monotonic() < deadline:
        time.sleep(0.2)


class Windows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        made = subprocess.run([SOURCE / "scripts/windows", BUILD / "windows"], capture_output=True,
                              text=True, env={**os.environ,
                                              "FROSTFUNKEL_WINDOWS_SOURCES": SOURCE / SOURCES})
        if made.returncode != 0:
            raise AssertionError(f"scripts/windows failed:\n{made.stderr[-3000:]}")
        cls.zip, cls.installer = map(Path, made.stdout.split())
        cls.tmp = Path(tempfile.mkdtemp(prefix="frostfunkel-win-"))
        with zipfile.ZipFile(cls.zip) as z:
            z.extractall(cls.tmp)
        cls.folder = cls.tmp / cls.zip.stem
        read_fd, write_fd = os.pipe()
        cls.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp",
                                     "-screen", "0", "640x480x24"],
                                    pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            display = ":" + pipe.readline().strip()
        # No Mono or Gecko installers when the prefix is made, no menu entries on this desktop
        # for the installer's shortcuts; the sound device is the one given.
        cls.env = {k: v for k, v in os.environ.items() if not k.startswith("SDL_")}
        cls.env.update(WINEPREFIX=str(WINE_PREFIX), WINEDEBUG="-all", DISPLAY=display,
                       WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=",
                       SDL_AUDIODRIVER="dummy")
        subprocess.run(["wineboot", "-i"], env=cls.env, capture_output=True, timeout=300)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env)
        cls.xvfb.terminate()
        cls.xvfb.wait(10)
        shutil.rmtree(cls.tmp)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              timeout=10).stdout.split("\n")[0]

    def show(self, command, folder, *, lines=0, cwd=None, **env):
        """Runs `command` under Wine; with `lines`, waits for that many lines in stdout.txt,
        reads the caption and presses Escape. Returns the status, stdout.txt, stderr.txt (SDL
        deletes them when empty) and the caption."""
        out, err = folder / "stdout.txt", folder / "stderr.txt"
        proc = subprocess.Popen(command, cwd=cwd or folder, env={**self.env, **env},
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(proc.kill)
        caption = None
        if lines:
            wait_for(lambda: out.exists() and out.read_bytes().count(b"\n") >= lines)
            window = self.xdotool("search", "--name", "Frostfunkel")
            caption = self.xdotool("getwindowname", window)
            self.xdotool("windowfocus", "--sync", window)
            self.xdotool("key", "Escape")
            wait_for(lambda: not self.xdotool("search", "--name", "Frostfunkel"))
        status = proc.wait(timeout=60)
        read = [p.read_bytes().decode("latin-1") if p.exists() else "" for p in (out, err)]
        return status, *read, caption

    def assert_scroller(self, stdout):
        count = stdout.count("\n")
        self.assertGreater(count, 0)
        self.assertEqual(stdout, "".join(window(t) + "\r\n" for t in range(count)))

    def test_program_is_stripped_gui_with_its_icon_and_every_dll_it_needs(self):
        exe = self.folder / "frostfunkel.exe"
        dump = subprocess.run([OBJDUMP, "-p", "-t", exe], capture_output=True, text=True).stdout
        self.assertEqual(re.findall(r"^Subsystem\s+\S+\s+(.*)", dump, re.M), ["(Windows GUI)"])
        self.assertTrue("no symbols" in dump, "the program is not stripped")
        icons = subprocess.run(f"wrestool -x -t 14 -n SDL_APP '{exe}' | icotool -l -", shell=True,
                               capture_output=True, text=True).stdout
        self.assertEqual(icons.split(), ["--icon", "--index=1", "--width=32", "--height=32",
                                         "--bit-depth=8", "--palette-size=256"])
        # Every DLL imported, by the program or a shipped DLL, is shipped or one of Windows'.
        known = {p.name.lower() for p in [*(WINE_PREFIX / "drive_c/windows/system32").iterdir(),
                                          *self.folder.glob("*.dll")]}
        for pe in [exe, *self.folder.glob("*.dll")]:
            dump = subprocess.run([OBJDUMP, "-p", pe], capture_output=True, text=True).stdout
            self.assertEqual([d for d in re.findall(r"DLL Name: (\S+)", dump)
                              if d.lower() not in known], [], pe.name)

    def test_show_from_the_zip(self):
        exe = self.folder / "frostfunkel.exe"
        status, stdout, stderr, caption = self.show(["wine", exe], self.folder, lines=6)
        self.assertEqual((status, stderr, caption), (0, "", "Frostfunkel "))
        self.assert_scroller(stdout)
        # Start-up failures: status, the file written and how it begins.
        picture = (self.folder / "rahmen.png").read_bytes()
        cases = (
            ("picture missing", None, {}, 1, 2, "IMG_Load(rahmen.png): "),
            ("foreign picture", b"GIF89a" + bytes(64), {}, 1, 2, "IMG_Load(rahmen.png): "),
            ("no audio device", picture, {"SDL_AUDIODRIVER": "none"}, 2, 1, "Mix_OpenAudio: "),
        )
        for name, rahmen, env, expected, stream, message in cases:
            with self.subTest(name), tempfile.TemporaryDirectory(dir=self.tmp) as d:
                shutil.copytree(self.folder, d, dirs_exist_ok=True,
                                ignore=lambda *_: ["rahmen.png"])
                if rahmen:
                    (Path(d) / "rahmen.png").write_bytes(rahmen)
                run = self.show(["wine", Path(d) / "frostfunkel.exe"], Path(d), **env)
                self.assertEqual(run[0], expected)
                self.assertTrue(run[stream].startswith(message), run[1:3])

    def test_installer_installs_the_folder_with_a_shortcut_and_uninstalls_everything(self):
        target = WINE_PREFIX / "drive_c/frostfunkel-test"
        shutil.rmtree(target, ignore_errors=True)
        subprocess.run(["wine", self.installer, "/S", r"/D=C:\frostfunkel-test"], env=self.env,
                       check=True, timeout=120)
        installed = {p.relative_to(target) for p in target.rglob("*")}
        self.assertEqual(installed - {p.relative_to(self.folder) for p in self.folder.rglob("*")},
                         {Path("Uninstall.exe")})
        shortcuts = list((WINE_PREFIX / "drive_c").rglob("Frostfunkel.lnk"))
        self.assertEqual(len(shortcuts), 1, shortcuts)
        # Started as the shortcut starts it, from another folder: the data is found only in
        # the shortcut's start folder. Wine's start does not wait for a shortcut's program.
        _, stdout, _, _ = self.show(["wine", "start", "/unix", shortcuts[0]], target, lines=2,
                                    cwd=self.tmp)
        self.assert_scroller(stdout)
        subprocess.run(["wine", target / "Uninstall.exe", "/S"], env=self.env, check=True,
                       timeout=120)
        # The uninstaller runs on from a copy of itself: wait until no Windows process is left.
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        self.assertFalse(target.exists())
        self.assertFalse(shortcuts[0].parent.exists())
        for key in (r"Microsoft\Windows\CurrentVersion\Uninstall\Frostfunkel",
                    "The Frostfunkel developers"):
            self.assertNotEqual(subprocess.run(["wine", "reg", "query", rf"HKLM\Software\{key}"],
                                               env=self.env, capture_output=True).returncode, 0)


if __name__ == "__main__":
    if not SOURCES:
        print("skipped: FROSTFUNKEL_WINDOWS_SOURCES is not set, so the Windows packages cannot "
              "be built (set it to the folder of the library source tarballs, as .ci/run does)")
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
