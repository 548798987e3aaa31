"""Shared by every Python test: where the source, the build and the data are, the environment the
show runs in, running it (under the tick interposer or not) with a deadline, the greeting and
the scene's geometry, and SDL_ttf measuring and rendering through ctypes."""
import ctypes
import os
import shutil
import subprocess
import tempfile
from contextlib import contextmanager
from dataclasses import dataclass, field
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("FROSTFUNKEL_BUILD", SOURCE / "build"))
BIN = BUILD / "frostfunkel"
INTERPOSE = BUILD / "tests/libinterpose.so"
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
DATA = SOURCE / "data"
DATA_FILES = ("rahmen.png", "PC_Snowballs.ttf", "xmas.mod")

SCROLLSOURCE = ("                  Froehliche Weihnachten wuenscht Christkind sehr, so "
                "bringt endlich die Geschenke her!   :)")
TITLE = "Happy XMAS"
RAHMEN_AT = (15, 85)


def title_at(width):
    """Where the title goes for its measured width: 480 - width, as the show places it."""
    return 480 - width, 150


def scroller_at(title_height):
    """Where the scroller goes: 30 px below the title's measured height."""
    return 50, 150 + title_height + 30


def window(tick):
    """The scroller window shown in tick `tick` (counted from 0)."""
    pos = tick % len(SCROLLSOURCE)
    return SCROLLSOURCE[pos:pos + 18]


def lines(ticks):
    """What the show prints in its first `ticks` ticks."""
    return "".join(window(t) + "\n" for t in range(ticks))


def show_env(unset=(), **extra):
    """The caller's environment with the dummy drivers, less SDL's and the interposer's own
    settings and the variables named in `unset`, plus `extra`."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("SDL_", "FF_")) and k not in unset and k != "LD_PRELOAD"}
    env.update(SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    env.update({k: str(v) for k, v in extra.items()})
    return env


@dataclass
class Run:
    status: int
    stdout: str
    stderr: str
    log: list = field(default_factory=list)

    def entries(self, kind):
        return [line.split()[1:] for line in self.log if line.split()[0] == kind]

    @property
    def flips(self):
        return len(self.entries("flip"))


def run_show(cwd, *, command=None, events="", quit_after=None, deadline=10, unset=(), **extra):
    """Runs the show (or `command`, a launcher) in `cwd` to its end under the interposer, which
    skips and logs the waits. A run past its deadline is killed and fails the test with what it
    had written by then."""
    logpath = Path(cwd) / "interpose.log"
    env = show_env(unset, LD_PRELOAD=INTERPOSE, FF_LOG=logpath, FF_EVENTS=events, **extra)
    if quit_after is not None:
        env["FF_QUIT_AFTER"] = str(quit_after)
    try:
        proc = subprocess.run([str(c) for c in command or [BIN]], cwd=cwd, env=env,
                              capture_output=True, timeout=deadline)
    except subprocess.TimeoutExpired as e:
        out, err = (s.decode("latin-1")[-400:] if s else "" for s in (e.stdout, e.stderr))
        raise AssertionError(f"the show still ran after {deadline} s; it wrote\n{out}\n"
                             f"and on standard error\n{err}") from None
    log = logpath.read_text().splitlines() if logpath.exists() else []
    return Run(proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1"), log)


@contextmanager
def scratch(replace=None, omit=()):
    """A working folder with the data files, some of them replaced by other bytes, by what a
    callable makes at the path (a folder, a named pipe), or left out."""
    with tempfile.TemporaryDirectory(prefix="frostfunkel-") as folder:
        for name in DATA_FILES:
            target, content = Path(folder) / name, (replace or {}).get(name)
            if callable(content):
                content(target)
            elif content is not None:
                target.write_bytes(content)
            elif name not in omit:
                shutil.copyfile(DATA / name, target)
        yield folder


_sdl = ctypes.CDLL("libSDL-1.2.so.0")
_ttf = ctypes.CDLL("libSDL_ttf-2.0.so.0")
_ttf.TTF_OpenFont.restype = ctypes.c_void_p
_ttf.TTF_OpenFont.argtypes = [ctypes.c_char_p, ctypes.c_int]
_ttf.TTF_SizeText.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                              ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
_ttf.TTF_RenderText_Solid.restype = ctypes.c_void_p
_ttf.TTF_RenderText_Solid.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
_sdl.SDL_FreeSurface.argtypes = [ctypes.c_void_p]


class _Surface(ctypes.Structure):
    # The SDL 1.2 surface's leading fields, as the library lays them out.
    _fields_ = [("flags", ctypes.c_uint32), ("format", ctypes.c_void_p), ("w", ctypes.c_int),
                ("h", ctypes.c_int), ("pitch", ctypes.c_uint16), ("pixels", ctypes.c_void_p)]


class Font:
    """A font opened with the show's SDL_ttf, measured and rendered as the show does it."""

    def __init__(self, path=DATA / "PC_Snowballs.ttf", size=50):
        if _ttf.TTF_WasInit() == 0:
            _ttf.TTF_Init()
        self._font = _ttf.TTF_OpenFont(str(path).encode(), size)
        if not self._font:
            raise OSError(f"cannot open {path}")

    def size(self, text):
        w, h = ctypes.c_int(), ctypes.c_int()
        if _ttf.TTF_SizeText(self._font, text.encode("latin-1"), ctypes.byref(w),
                             ctypes.byref(h)) != 0:
            raise OSError(f"cannot measure {text!r}")
        return w.value, h.value

    def solid(self, text):
        """The solid rendering as rows of booleans: True where the text's colour is drawn."""
        ptr = _ttf.TTF_RenderText_Solid(self._font, text.encode("latin-1"), 0)
        if not ptr:
            raise OSError(f"cannot render {text!r}")
        surface = _Surface.from_address(ptr)
        raw = ctypes.string_at(surface.pixels, surface.pitch * surface.h)
        rows = [[raw[y * surface.pitch + x] != 0 for x in range(surface.w)]
                for y in range(surface.h)]
        _sdl.SDL_FreeSurface(ptr)
        return rows
