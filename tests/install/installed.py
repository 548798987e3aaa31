"""Shared by the install tests: installs the build into scratch trees and runs the launcher there."""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parents[1]
BUILD = Path(os.environ.get("FROSTFUNKEL_BUILD", SOURCE / "build"))
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
INTERPOSE = os.environ.get("FF_INTERPOSE", str(BUILD / "tests" / "libinterpose.so"))
DATA_FILES = ("rahmen.png", "PC_Snowballs.ttf", "xmas.mod")

sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
from showrun import window  # noqa: E402


def cmake_install(prefix, destdir=None):
    """Installs the build tree under prefix (staged below destdir when given)."""
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir is not None:
        env["DESTDIR"] = str(destdir)
    subprocess.run([CMAKE, "--install", str(BUILD), "--prefix", str(prefix)], env=env,
                   check=True, capture_output=True)


def show_env(quit_after=5, **extra):
    """Dummy drivers and the interposer, so that the show ends by itself after a few ticks."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("SDL_", "FF_"))}
    env.update(SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy", LD_PRELOAD=INTERPOSE,
               FF_QUIT_AFTER=str(quit_after))
    env.update({k: str(v) for k, v in extra.items()})
    return env


def run(command, cwd, env=None, timeout=120):
    proc = subprocess.run([str(c) for c in command], cwd=cwd, env=env, capture_output=True,
                          timeout=timeout)
    return proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1")


class ScratchDir:
    """A temporary folder removed afterwards."""

    def __enter__(self):
        self.path = Path(tempfile.mkdtemp(prefix="frostfunkel-install-"))
        return self.path

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


def expected_lines(ticks):
    return "".join(window(t) + "\n" for t in range(ticks))
