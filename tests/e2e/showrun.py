"""Runs the real show binary in a scratch folder, with the tick interposer when asked."""
import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

# The end-to-end tests share tests/sdl_text.py with the data files' tests.
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

BIN = os.environ.get("FROSTFUNKEL_BIN", "")
INTERPOSE = os.environ.get("FF_INTERPOSE", "")
DATA = Path(os.environ.get("FROSTFUNKEL_DATA", Path(__file__).resolve().parents[2] / "data"))
DATA_FILES = ("rahmen.png", "PC_Snowballs.ttf", "xmas.mod")

SDL_KEYDOWN, SDL_KEYUP, SDL_QUIT, SDL_USEREVENT = 2, 3, 12, 24
SDLK_ESCAPE = 27


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


class Scratch:
    """A working folder holding the data files, some of them replaced or left out."""

    def __init__(self, replace=None, omit=()):
        self.dir = tempfile.mkdtemp(prefix="frostfunkel-")
        replace = replace or {}
        for name in DATA_FILES:
            target = Path(self.dir) / name
            if name in replace:
                target.write_bytes(replace[name])
            elif name not in omit:
                shutil.copyfile(DATA / name, target)

    def __enter__(self):
        return self.dir

    def __exit__(self, *exc):
        shutil.rmtree(self.dir, ignore_errors=True)


def base_env(unset=(), **extra):
    """The test's environment with the dummy drivers, less SDL's and the interposer's settings
    and any variable named in `unset`."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("SDL_", "FF_")) and k not in unset}
    env.update(SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    env.update({k: str(v) for k, v in extra.items()})
    return env


def run_show(workdir, events="", quit_after=None, interpose=True, timeout=120, unset=(),
             **extra):
    """Runs the show to its end; with the interposer the waits are skipped and logged."""
    env = base_env(unset, **extra)
    logpath = Path(workdir) / "interpose.log"
    if interpose:
        env.update(LD_PRELOAD=INTERPOSE, FF_LOG=str(logpath), FF_EVENTS=events)
        if quit_after is not None:
            env["FF_QUIT_AFTER"] = str(quit_after)
    proc = subprocess.run([BIN], cwd=workdir, env=env, capture_output=True, timeout=timeout)
    log = logpath.read_text().splitlines() if logpath.exists() else []
    return Run(proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1"), log)
