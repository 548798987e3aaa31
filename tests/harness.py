"""Shared by the Python tests: paths, running the show, the greeting, the scene and SDL_ttf."""
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from contextlib import contextmanager
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("FROSTFUNKEL_BUILD", SOURCE / "build"))
BIN, INTERPOSE = BUILD / "frostfunkel", BUILD / "tests/libinterpose.so"
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
DATA = SOURCE / "data"
LIBRARY_SOURCES = os.environ.get("FROSTFUNKEL_WINDOWS_SOURCES", "")  # the libraries' tarballs

SCROLLSOURCE = ("                  Froehliche Weihnachten wuenscht Christkind sehr, so "
                "bringt endlich die Geschenke her!   :)")
TITLE = "Happy XMAS"
RAHMEN_AT = (15, 85)


def text_places(title_width, title_height):
    """Where the title and the scroller are drawn: the title ends at x = 480, the scroller 30
    pixels below it."""
    return (480 - title_width, 150), (50, 150 + title_height + 30)


def window(tick):
    """The scroller window shown in tick `tick`, counted from 0."""
    return SCROLLSOURCE[tick % len(SCROLLSOURCE):][:18]


def lines(ticks):
    return "".join(window(t) + "\n" for t in range(ticks))


def made_by(script):
    """Runs scripts/`script` into BUILD/`script` with the libraries' sources: the paths it names."""
    made = subprocess.run([SOURCE / "scripts" / script, BUILD / script], capture_output=True,
                          text=True, env={**os.environ, "FROSTFUNKEL_WINDOWS_SOURCES":
                                          str(SOURCE / LIBRARY_SOURCES)})
    assert made.returncode == 0, f"scripts/{script} failed:\n{made.stderr[-3000:]}"
    return map(Path, made.stdout.split())


def show_env(unset=(), **extra):
    """This environment with the dummy drivers and `extra`, less SDL's, the interposer's and
    the names in `unset`."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("SDL_", "FF_", "LD_PRELOAD")) and k not in unset}
    env.update(SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    # Without it the show would run at its own pace, past every deadline, with ld.so's complaint
    # lost in its output.
    preload = extra.get("LD_PRELOAD")
    assert preload is None or Path(preload).is_file(), (
        f"the interposer {preload} is missing: build with -DFROSTFUNKEL_TESTS=ON (and GoogleTest)")
    return {**env, **{k: str(v) for k, v in extra.items()}}


class Run:
    def __init__(self, status, stdout, stderr, log):
        self.status, self.stdout, self.stderr, self.log = status, stdout, stderr, log
        self.flips = len(self.entries("flip"))

    def entries(self, kind):
        return [line.split()[1:] for line in self.log if line.split()[0] == kind]


# The show (or `command`, a launcher) to run. With `setup`, a Python process first runs it
# (standard output, limits, signals; fcntl, os, resource, signal imported), then becomes the show,
# the signals Python ignores given back their defaults first, as a shell starts a program.
def show_command(command=None, setup=None):
    command = list(map(str, command or [BIN]))
    return command if setup is None else [
        sys.executable, "-c", "import fcntl, os, resource, signal, sys\n"
        "for s in (signal.SIGPIPE, signal.SIGXFSZ): signal.signal(s, signal.SIG_DFL)\n"
        f"{setup}\nos.execv(sys.argv[1], sys.argv[1:])", *command]


def run_show(cwd, *, command=None, setup=None, events="", quit_after="", deadline=10, unset=(),
             **extra):
    """Runs the show (or `command`, a launcher) in `cwd` to its end under the interposer, which
    skips and logs the waits; past its deadline the test fails with what the show had written."""
    with tempfile.TemporaryDirectory(prefix="frostfunkel-log-") as logdir:
        log = Path(logdir) / "interpose.log"
        env = show_env(unset, LD_PRELOAD=INTERPOSE, FF_LOG=log, FF_EVENTS=events,
                       FF_QUIT_AFTER=quit_after, **extra)
        try:
            proc = subprocess.run(show_command(command, setup), cwd=cwd, env=env,
                                  capture_output=True, timeout=deadline)
        except subprocess.TimeoutExpired as e:
            wrote = [(s or b"")[-400:].decode("latin-1") for s in (e.stdout, e.stderr)]
            raise AssertionError(
                f"the show still ran after {deadline} s and wrote {wrote}") from None
        return Run(proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1"),
                   log.read_text().splitlines() if log.exists() else [])


@contextmanager
def scratch(files=None):
    """A working folder with the data files, those named in `files` replaced by other bytes, by
    what a callable makes at the path (a folder, a named pipe), or left out (None)."""
    with tempfile.TemporaryDirectory(prefix="frostfunkel-") as folder:
        for name in ("rahmen.png", "PC_Snowballs.ttf", "xmas.mod"):
            target, content = Path(folder) / name, (files or {}).get(name, DATA / name)
            if callable(content):
                content(target)
            elif isinstance(content, bytes):
                target.write_bytes(content)
            elif content is not None:
                shutil.copyfile(content, target)
        yield folder


@contextmanager
def started(command, **options):
    """The process of `command` (with subprocess.Popen's options) while the block runs; killed
    and waited for on leaving."""
    with subprocess.Popen(command, **options) as process:
        try:
            yield process
        finally:
            process.kill()


X_SERVERS = {}  # each display of x_server's: its Xvfb process, while it runs


@contextmanager
def x_server(*options):
    """The display of a new Xvfb, which picks a free number itself; ended on leaving."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp", *options],
                            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:  # the whole line: Xvfb ends if it cannot write all of it
        display = ":" + pipe.readline().strip()
    assert display != ":", "Xvfb ended without naming a display"
    X_SERVERS[display] = xvfb
    try:
        yield display
    finally:
        del X_SERVERS[display]
        xvfb.terminate()
        xvfb.wait(10)


X_LOST = "Bildschirm verloren: die Verbindung zum X-Server ist abgebrochen\n"


# Starts the show in `cwd` on a new Xvfb, stopped by the interposer as it enters SDL_SetVideoMode
# (SDL connected, no line written yet), kills that Xvfb, lets the show go on and gives its status
# and standard error; the test fails if it still runs 10 s later.
def lose_x_at_mode_switch(cwd, command=None, **extra):
    # Never reset: Xvfb would reset as the classic SDL 1.2 closes its probe connection, the last
    # client then, and at times refuse the library's next connection.
    with x_server("-noreset") as display:
        with started(show_command(command), cwd=cwd, stdout=subprocess.DEVNULL,
                     stderr=subprocess.PIPE, env=show_env(
                         SDL_VIDEODRIVER="x11", DISPLAY=display, LD_PRELOAD=INTERPOSE,
                         FF_RAISE=f"0:{signal.SIGSTOP}", **extra)) as show:
            assert os.WIFSTOPPED(os.waitpid(show.pid, os.WUNTRACED)[1]), "the show ended"
            X_SERVERS[display].kill()
            X_SERVERS[display].wait()
            show.send_signal(signal.SIGCONT)
            stderr = show.communicate(timeout=10)[1].decode("latin-1")  # else it spins
        return show.returncode, stderr


# Weston in a new Xvfb started with `xvfb` (its headless back end, without a seat, made SDL 2.26
# crash at start), without a panel: its process, the settings that lead a client to it (and to
# its XWayland, with --xwayland among `options`) and the Xvfb's display. Skips the test with
# weston's log where weston cannot start.
@contextmanager
def weston(*options, xvfb=()):
    with x_server(*xvfb) as outer, tempfile.TemporaryDirectory(prefix="frostfunkel-wl-") as runtime:
        os.chmod(runtime, 0o700)
        log, end = Path(runtime, "weston.log"), time.monotonic() + 20
        Path(runtime, "weston.ini").write_text("[shell]\npanel-position=none\n")

        def settings():  # once weston (and the XWayland asked for) listens
            xwayland = re.findall(r"xserver listening on display (:\d+)", log.read_text())
            if Path(runtime, "show").exists() and (xwayland or "--xwayland" not in options):
                return {"WAYLAND_DISPLAY": "show", "XDG_RUNTIME_DIR": runtime,
                        **({"DISPLAY": xwayland[0]} if xwayland else {})}

        with open(log, "w") as out, started(  # sh says so in the log if weston is missing
                ["sh", "-c", 'exec weston -Bx11-backend.so -Sshow --use-pixman "$@"', "weston",
                 f"--config={runtime}/weston.ini", *options], stdout=out, stderr=out,
                env={**os.environ, "DISPLAY": outer, "XDG_RUNTIME_DIR": runtime}) as compositor:
            while not settings() and compositor.poll() is None and time.monotonic() < end:
                time.sleep(0.05)
            if not settings():
                raise unittest.SkipTest("weston cannot start here:\n" + log.read_text())
            yield compositor, settings(), outer


def next_line(stream, seconds=10):
    """The next line on the show's piped output, or a false value where none came in time."""
    return select.select([stream], [], [], seconds)[0] and stream.readline()


def xdotool(display, *args):
    """The first line xdotool answers on `display`."""
    return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": display},
                          capture_output=True, text=True, timeout=10).stdout.split("\n")[0]


class _Surface(ctypes.Structure):
    # The SDL 1.2 surface's leading fields, as the library lays them out.
    _fields_ = [("flags", ctypes.c_uint32), ("format", ctypes.c_void_p), ("w", ctypes.c_int),
                ("h", ctypes.c_int), ("pitch", ctypes.c_uint16), ("pixels", ctypes.c_void_p)]


class Font:
    """A font opened with the show's SDL_ttf, measured and rendered as the show does it."""

    def __init__(self, path=DATA / "PC_Snowballs.ttf", size=50):
        # The show's SDL and SDL_ttf through ctypes, loaded here: only the tests that measure or
        # render text need them.
        self._sdl = sdl = ctypes.CDLL("libSDL-1.2.so.0")
        self._ttf = ttf = ctypes.CDLL("libSDL_ttf-2.0.so.0")
        ttf.TTF_OpenFont.restype = ttf.TTF_RenderText_Solid.restype = ctypes.c_void_p
        ttf.TTF_OpenFont.argtypes = [ctypes.c_char_p, ctypes.c_int]
        ttf.TTF_SizeText.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                                     ctypes.c_void_p, ctypes.c_void_p]
        ttf.TTF_RenderText_Solid.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
        sdl.SDL_FreeSurface.argtypes = [ctypes.c_void_p]
        assert ttf.TTF_Init() == 0, "SDL_ttf cannot start"  # again for each font: it counts
        self._font = self._ttf.TTF_OpenFont(str(path).encode(), size)
        assert self._font, f"SDL_ttf cannot open {path}"

    def size(self, text):
        w, h = ctypes.c_int(), ctypes.c_int()
        assert self._ttf.TTF_SizeText(self._font, text.encode("latin-1"), ctypes.byref(w),
                                      ctypes.byref(h)) == 0, f"cannot measure {text!r}"
        return w.value, h.value

    def solid(self, text):
        """The solid rendering as rows of booleans: True where the text's colour is drawn."""
        ptr = self._ttf.TTF_RenderText_Solid(self._font, text.encode("latin-1"), 0)
        assert ptr, f"cannot render {text!r}"
        s = _Surface.from_address(ptr)
        raw = ctypes.string_at(s.pixels, s.pitch * s.h)
        rows = [[raw[y * s.pitch + x] != 0 for x in range(s.w)] for y in range(s.h)]
        self._sdl.SDL_FreeSurface(ptr)
        return rows
