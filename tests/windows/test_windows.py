"""The Windows packages: the program's PE facts, resources and DLLs, the show and the installer
under Wine."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from collections import namedtuple
from functools import partial
from pathlib import Path

from harness import BUILD, LIBRARY_SOURCES, made_by, started, window, x_server, xdotool

PREFIX, OBJDUMP = BUILD / "windows-wine", "x86_64-w64-mingw32-objdump"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Frostfunkel"
SETUP = "Frostfunkel 1.0.0 Setup"
# How a run ended: its status, what stdout.txt and stderr.txt hold (an absent file holds
# nothing), the text of each message box it showed and what was done while it ran.
Run = namedtuple("Run", "status stdout stderr boxes during", defaults=(None,))


def run(*command, timeout=300, **options):
    return subprocess.run(command, capture_output=True, text=True, errors="replace",
                          timeout=timeout, **options)


def wait_for(what, done, seconds=60):
    deadline = time.monotonic() + seconds
    while not done():
        assert time.monotonic() < deadline, f"waited {seconds} s for {what}"
        time.sleep(0.2)


def files(folder):  # each file's bytes by its path in the folder, the show's own output aside
    return {p.relative_to(folder): p.read_bytes() for p in sorted(folder.rglob("*"))
            if p.is_file() and p.name not in ("stdout.txt", "stderr.txt")}


def changed(before, after):  # the paths whose bytes in `after` are not those in `before`
    return [n for n in before if after.get(n) != before[n]]


def programs_folder():  # the installer's folder in the user's programs folder, emptied
    target = next(PREFIX.glob("drive_c/users/*/AppData/Local")) / "Programs/Frostfunkel"
    shutil.rmtree(target, ignore_errors=True)  # left by an earlier test or run
    return target


def resource(exe, kind):  # the raw resource of that type: 16 the version details, 24 the manifest
    return subprocess.check_output(["wrestool", "-x", "--raw", "-t", str(kind), exe])


class Windows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip, cls.installer = made_by("windows")
        # Unpacked in a folder whose name the ANSI code pages cannot all spell: the show writes
        # stdout.txt there only with UTF-8 as its code page.
        cls.tmp = Path(cls.enterClassContext(tempfile.TemporaryDirectory(prefix="ff-圣诞-")))
        zipfile.ZipFile(cls.zip).extractall(cls.tmp)
        cls.folder, cls.display = cls.tmp / cls.zip.stem, cls.enterClassContext(
            x_server("-screen", "0", "640x480x24"))
        # No Mono or Gecko installers when the prefix is made, no menu entries on this desktop
        # for the installer's shortcuts; the sound device is the one given; message boxes'
        # texts traced.
        cls.env = {**{k: v for k, v in os.environ.items() if not k.startswith("SDL_")},
                   "WINEPREFIX": str(PREFIX), "WINEDEBUG": "-all,trace+msgbox",
                   "DISPLAY": cls.display, "SDL_AUDIODRIVER": "dummy",
                   "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe="}
        cls.wine = partial(run, env=cls.env)
        cls.wine("wineboot", "-i")
        # Windows not handed to a window manager (there is none): Wine then waits for none,
        # 4 s at every full-screen window's end.
        cls.wine("wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
                 "/f")
        cls.addClassCleanup(cls.wine, "wineserver", "-k")

    def find(self, name, *actions):  # the first window whose name matches, after the actions
        return xdotool(self.display, "search", "--name", name, *actions)

    def registry(self, root):  # every key and value under the root's Software
        return self.wine("wine", "reg", "query", rf"{root}\Software", "/s").stdout

    def show(self, folder, keys="Return", lines=0, command=None, cwd=None, meanwhile=None, **env):
        # Runs the show in `folder` (or `command` from `cwd`) under Wine and sends `keys` to its
        # window once it wrote `lines` lines (after calling `meanwhile`, if given), checking the
        # window's caption and the lines; with no lines, to the box of a failed start. Wine's
        # trace on its standard error holds the boxes' texts.
        out, err = folder / "stdout.txt", folder / "stderr.txt"
        name = "^Frostfunkel $" if lines else "^Frostfunkel$"
        out.unlink(missing_ok=True)  # left by an earlier run
        proc = self.enterContext(started(["wine", *(command or [folder / "frostfunkel.exe"])],
                                         cwd=cwd or folder, env={**self.env, **env},
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE))
        wait_for(f"{lines} lines in {out}",
                 lambda: not lines or out.exists() and out.read_bytes().count(b"\n") >= lines)
        wait_for(f"a window named {name}", lambda: self.find(name))  # the caption, exactly
        during = meanwhile() if meanwhile else None
        self.end(name, keys)
        trace = proc.communicate(timeout=60)[1].decode("latin-1").replace("\\n", "\n")
        outputs = (p.read_bytes().decode("latin-1") if p.exists() else "" for p in (out, err))
        # Wine's trace shows a box's first 300 characters, and "..." after a text it cut.
        boxes = re.findall(r'(?sm)MSGBOX_OnInit L"(.*?)"(?:\.\.\.)?$', trace)
        ran = Run(proc.returncode, *outputs, boxes, during)
        if lines and folder.exists():  # an uninstaller run meanwhile may have removed it
            scroller = "".join(window(t) + "\r\n" for t in range(max(ran.stdout.count("\n"), 1)))
            self.assertEqual((ran.stdout, ran.stderr), (scroller, ""))
        return ran

    def end(self, name, keys):  # the keys again until the window goes: one just shown may miss them
        wait_for(f"the end of {name} on {keys}",
                 lambda: self.find(name, "windowfocus", "key", keys) or not self.find(name))

    def start_again(self):
        # A second show started while one runs: it ends with 0 within 5 s, one show window left.
        second = self.wine("wine", self.folder / "frostfunkel.exe", cwd=self.folder, timeout=5)
        self.assertEqual(second.returncode, 0, "the second start's status")
        windows = run("xdotool", "search", "--name", "^Frostfunkel $",
                      env={**os.environ, "DISPLAY": self.display}).stdout.split()
        self.assertEqual(len(windows), 1, "show windows after the second start")

    def install(self):  # the installer run silently into the user's programs folder, afresh
        target = programs_folder()
        self.wine("wine", self.installer, "/S").check_returncode()
        return target

    def run_over_show(self, target, *command):
        # Runs the command under Wine while a show runs from `target`, which ends with status 0;
        # gives the command's status. Where it failed, it changed no file.
        before = files(target)
        ran = self.show(target, "Escape", lines=2, meanwhile=partial(self.wine, "wine", *command))
        self.assertEqual(ran.status, 0, "the show's status")
        if ran.during.returncode:
            self.assertEqual(changed(before, files(target)), [],
                             f"files changed as {command[0].name} failed ({ran.during.returncode})")
        return ran.during.returncode

    def test_program_is_stripped_gui_with_its_resources_and_every_dll_it_needs(self):
        exe, dlls = self.folder / "frostfunkel.exe", list(self.folder.glob("*.dll"))
        dump = run(OBJDUMP, "-p", "-t", exe).stdout
        self.assertEqual(re.findall(r"^Subsystem\s+\S+\s+(.*)", dump, re.M), ["(Windows GUI)"])
        self.assertTrue("no symbols" in dump, "the program is not stripped")
        icons = run(f"wrestool -x -t 14 -n SDL_APP '{exe}' | icotool -l -", shell=True).stdout
        self.assertEqual(icons.split(), ["--icon", "--index=1", "--width=32", "--height=32",
                                         "--bit-depth=8", "--palette-size=256"])
        version = self.zip.stem.split("-")[1]
        self.assertRegex(resource(exe, 16).decode("utf-16-le"), rf"ProductVersion\W+{version}\W")
        # The manifests: both run as the user who starts them; the program unscaled, in UTF-8.
        self.assertRegex(resource(exe, 24).decode(), '(?s)level="asInvoker".*>true/pm<.*>UTF-8<')
        self.assertRegex(resource(self.installer, 24).decode(), 'level="asInvoker"')
        # Every DLL imported, by the program or a shipped DLL, is shipped or one of Windows'.
        known = {p.name.lower() for p in [*(PREFIX / "drive_c/windows/system32").iterdir(), *dlls]}
        lacking = {pe.name: [d for d in re.findall(r"DLL Name: (.*)", run(OBJDUMP, "-p", pe).stdout)
                             if d.lower() not in known] for pe in [exe, *dlls]}
        self.assertEqual({pe: d for pe, d in lacking.items() if d}, {}, "imports found nowhere")

    def test_show_from_the_zip(self):
        # Ended by Alt+F4 as Windows closes a window (Escape's release ends every other show).
        self.assertEqual(self.show(self.folder, "alt+F4", lines=3).status, 0, "Alt+F4")
        # Failed starts: the status and the files' lines as ever, then a box that says in plain
        # words what to do, then the reason, and which file holds the message (where Wine's
        # trace of the box reaches so far). Each case: what it does to the picture, its
        # settings, how it ends (boxes aside) and the box's advice and reason.
        reinstall = (r"A file Frostfunkel needs is missing or damaged.\n\nInstall Frostfunkel "
                     r"again, or, if you unpacked it from the zip, unpack every file of the zip "
                     r"into one folder.")
        for name, change, env, expected, advice, reason in (
                ("picture missing", Path.unlink, {},
                 Run(1, "", "IMG_Load(rahmen.png): No such file or directory\r\n", []),
                 reinstall, "rahmen.png could not be used. No such file or directory"),
                ("no audio", Path.touch, {"SDL_AUDIODRIVER": "none"},
                 Run(2, "Mix_OpenAudio: \r\n", "", []),
                 r"Frostfunkel found no sound device to play its music on.\n\nCheck that speakers "
                 r"or headphones are connected and enabled in Windows' sound settings, then start "
                 r"Frostfunkel again.",
                 r"the sound device could not be used.\n\nThe details are in .:\\")):
            with self.subTest(name), tempfile.TemporaryDirectory(dir=self.tmp) as d:
                shutil.copytree(self.folder, d, dirs_exist_ok=True)
                change(Path(d) / "rahmen.png")
                result = self.show(Path(d), **env)
                self.assertEqual(result._replace(boxes=[]), expected)
                box = f"^Frostfunkel could not start. {advice}\n\nThe reason: {reason}"
                self.assertRegex("".join(result.boxes), box)

    def test_second_start_brings_the_running_show_forward(self):
        # The first show's stdout.txt keeps its lines, each tick's in turn (checked by show).
        self.show(self.folder, "Escape", lines=2, meanwhile=self.start_again)

    # A show runs from the installed folder while the installer, or the uninstaller, runs
    # silently: either it ends the show (which ends with status 0) and does all its work, or it
    # fails with a status and leaves everything as it was.
    def test_installing_over_a_running_show_ends_it_or_changes_nothing(self):
        # Marks on the program (held by the show) and on a file nothing holds tell an old file
        # from a new one.
        target = self.install()
        for name in ("frostfunkel.exe", "README.txt"):
            with open(target / name, "ab") as file:
                file.write(b"installed before")
        if self.run_over_show(target, self.installer, "/S") == 0:
            self.assertEqual(changed(files(self.folder), files(target)), [],
                             "old files after an installation that succeeded")

    def test_uninstalling_a_running_show_ends_it_or_changes_nothing(self):
        # The uninstaller's status, from a copy run as the uninstaller runs itself (otherwise
        # its status is the one of the launcher, which starts the copy and ends).
        target = self.install()
        windows_path = "C:\\" + str(target.relative_to(PREFIX / "drive_c")).replace("/", "\\")
        with tempfile.TemporaryDirectory(dir=self.tmp) as copy:
            uninstaller = Path(shutil.copy(target / "Uninstall.exe", copy))
            status = self.run_over_show(target, uninstaller, "/S", f"_?={windows_path}")
        if status == 0:
            left = [p.name for p in target.rglob("*")] if target.exists() else []
            self.assertEqual(left, [], "files left by an uninstallation that succeeded")
            self.assertNotIn("Frostfunkel", self.registry("HKCU"), "a key left behind")
        else:
            self.assertIn("Frostfunkel", self.registry("HKCU"), "a failed uninstallation's key")

    def test_installer_pages_say_how_to_end_the_show(self):
        # Installed page by page with Return, as a user clicks Next; the finish page's ticked
        # box starts the show. Wine's trace of the windows made holds each page's texts.
        programs_folder()
        trace = self.tmp / "pages.txt"
        # Wine afresh for the next test: after this installer's windows, a message box shown
        # next sometimes took no keys, or went at once.
        self.addCleanup(self.wine, "wineserver", "-k")
        with open(trace, "wb") as out:
            setup = self.enterContext(started(["wine", self.installer], stdout=out, stderr=out,
                                              env={**self.env, "WINEDEBUG": "-all,trace+win"}))

        def texts():  # the windows' texts so far, as the trace quotes them
            return re.findall(r'L"(.{12,}?)"', trace.read_text(errors="replace"))

        for page, text in (("welcome", "Frostfunkel is a "), ("licence", "The licence asks "),
                           ("folder", "Choose Install Location"), ("finish", "Run Frostfunkel")):
            wait_for(f"the {page} page", lambda: any(t.startswith(text) for t in texts()))
            time.sleep(1)  # the page drawn and ready for its key
            self.find(SETUP, "windowfocus", "key", "Return")
        for page, text in (("welcome", "Frostfunkel is a "), ("finish", "Start it from ")):
            shown = next(t for t in texts() if t.startswith(text))
            self.assertIn("Press Esc to end the show (or Alt+F4).", shown, page)
            self.assertNotRegex(shown, "close all other|reboot|Setup will guide you", page)
        show = "^Frostfunkel $"
        wait_for("the show run from the finish page", lambda: self.find(show))
        self.end(show, "Escape")
        self.assertEqual(setup.wait(30), 0, "the installer's status")

    def test_installer_installs_for_the_user_alone_and_uninstalls_everything(self):
        # Installed in the user's own programs folder (the Wine user's, the prefix's only one).
        target = self.install()
        files = {p.relative_to(target) for p in target.rglob("*")}
        self.assertEqual(files - {p.relative_to(self.folder) for p in self.folder.rglob("*")},
                         {Path("Uninstall.exe")}, f"what the installer put in {target}")
        shortcuts = list((PREFIX / "drive_c").rglob("Frostfunkel.lnk"))
        self.assertEqual([s.parts.count("AppData") for s in shortcuts], [1], shortcuts)
        # The show's shortcut says how to end it; the uninstaller's names what it removes.
        self.assertIn("Press Esc to end the show (or Alt+F4).".encode("utf-16-le"),
                      shortcuts[0].read_bytes())
        self.assertTrue((shortcuts[0].parent / "Uninstall Frostfunkel.lnk").exists())
        # The uninstall entry, the user's, with its size and Windows' flags as numbers (Wine
        # lists the values in alphabetical order).
        self.assertRegex(self.wine("wine", "reg", "query", "HKCU\\" + UNINSTALL_KEY).stdout,
                         r"(?s)EstimatedSize +REG_DWORD.*NoModify +REG_DWORD +0x1\s.*"
                         r"NoRepair +REG_DWORD +0x1\s")
        self.assertNotIn("Frostfunkel", self.registry("HKLM"), "a key for every user")
        # Started as the shortcut starts it, from another folder: the data is found only in
        # the shortcut's start folder. Wine's start does not wait for a shortcut's program, but
        # the show holds Wine's standard error open until it ends.
        self.show(target, "Escape", lines=2, command=["start", "/unix", shortcuts[0]], cwd=self.tmp)
        # The uninstaller runs on from a copy of itself: wait until no Windows process is left.
        self.wine("wine", target / "Uninstall.exe", "/S").check_returncode()
        self.wine("wineserver", "-w")
        self.assertFalse(target.exists() or shortcuts[0].parent.exists())
        self.assertNotIn("Frostfunkel", self.registry("HKCU"), "a key left behind")


if __name__ == "__main__":
    if not LIBRARY_SOURCES:
        print("skipped: FROSTFUNKEL_WINDOWS_SOURCES is not set, so the Windows packages cannot "
              "be built (set it to the folder of the library source tarballs, as .ci/run does)")
        sys.exit(77)  # CTest's SKIP_RETURN_CODE for this test
    unittest.main(verbosity=2)
