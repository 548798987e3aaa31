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


def pe_imports(path):
    dump = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True).stdout
    return re.findall(r"DLL Name: (\S+)", dump)


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
                       WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=", SDL_AUDIODRIVER="dummy")
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
        """Runs `command` (the show, or Wine's start with its shortcut) under Wine; with `lines`,
        waits for that many scroller lines in stdout.txt beside the program, reads the window's
        caption and presses and releases Escape. Returns the command's status, stdout.txt and
        stderr.txt (SDL deletes them when empty) and the caption."""
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

    def test_program_is_a_stripped_gui_executable_with_one_32_pixel_8_bit_icon(self):
        exe = self.folder / "frostfunkel.exe"
        dump = subprocess.run([OBJDUMP, "-p", "-t", exe], capture_output=True, text=True).stdout
        self.assertEqual(re.findall(r"^Subsystem\s+\S+\s+(.*)", dump, re.M), ["(Windows GUI)"])
        self.assertTrue("no symbols" in dump, "the program is not stripped")
        icons = subprocess.run(f"wrestool -x -t 14 -n SDL_APP '{exe}' | icotool -l -", shell=True,
                               capture_output=True, text=True).stdout
        self.assertEqual(icons.split(), ["--icon", "--index=1", "--width=32", "--height=32",
                                         "--bit-depth=8", "--palette-size=256"])

    def test_every_dll_imported_is_shipped_or_part_of_windows(self):
        system = {p.name.lower() for p in (WINE_PREFIX / "drive_c/windows/system32").iterdir()}
        shipped = {p.name.lower() for p in self.folder.glob("*.dll")}
        for pe in [self.folder / "frostfunkel.exe", *self.folder.glob("*.dll")]:
            for dll in pe_imports(pe):
                with self.subTest(pe=pe.name, imports=dll):
                    self.assertTrue(dll.lower() in shipped or dll.lower() in system)
        self.assertTrue({"sdl.dll", "sdl_mixer.dll"} <= shipped)

    def test_show_from_the_zip(self):
        exe = self.folder / "frostfunkel.exe"
        status, stdout, stderr, caption = self.show(["wine", exe], self.folder, lines=6)
        self.assertEqual((status, stderr, caption), (0, "", "Frostfunkel "))
        self.assert_scroller(stdout)
        # Start-up failures: status, the file written and how it begins.
        cases = (
            ("picture missing", {"rahmen.png": None}, {}, 1, 2, "IMG_Load(rahmen.png): "),
            ("foreign picture", {"rahmen.png": b"GIF89a" + bytes(64)}, {}, 1, 2,
             "IMG_Load(rahmen.png): "),
            ("no audio device", {}, {"SDL_AUDIODRIVER": "nonesuch"}, 2, 1, "Mix_OpenAudio: "),
        )
        for name, files, env, expected, stream, message in cases:
            with self.subTest(name), tempfile.TemporaryDirectory(dir=self.tmp) as d:
                shutil.copytree(self.folder, d, dirs_exist_ok=True)
                for file, content in files.items():
                    (Path(d) / file).unlink()
                    if content:
                        (Path(d) / file).write_bytes(content)
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
        menu = WINE_PREFIX / "drive_c"
        shortcuts = [p for p in menu.rglob("Frostfunkel*.lnk")]
        self.assertEqual(len(shortcuts), 1, shortcuts)
        # Started as the shortcut starts it, from another folder: the data is found only in
        # the shortcut's start folder. Wine's start does not wait for a shortcut's program.
        _, stdout, _, _ = self.show(["wine", "start", "/unix", shortcuts[0]], target, lines=2,
                                    cwd=self.tmp)
        self.assert_scroller(stdout)
        subprocess.run(["wine", target / "Uninstall.exe", "/S"], env=self.env, check=True,
                       timeout=120)
        deadline = time.monotonic() + 60  # the uninstaller runs on from a copy of itself
        while target.exists() and time.monotonic() < deadline:
            time.sleep(0.5)
        self.assertFalse(target.exists())
        self.assertFalse(shortcuts[0].parent.exists())
        key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Frostfunkel"
        self.assertNotEqual(subprocess.run(["wine", "reg", "query", key], env=self.env,
                                           capture_output=True).returncode, 0)


if __name__ == "__main__":
    if not SOURCES:
        print("skipped: FROSTFUNKEL_WINDOWS_SOURCES is not set, so the Windows packages cannot "
              "be built (set it to the folder of the library source tarballs, as .ci/run does)")
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
