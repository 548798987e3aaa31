"""Shared by the install tests: where the build is, the installed layout, and runs of the show."""
import os
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("FROSTFUNKEL_BUILD", SOURCE / "build"))
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
INTERPOSE = os.environ.get("FF_INTERPOSE", str(BUILD / "tests/libinterpose.so"))
SHARED = ("frostfunkel/rahmen.png", "frostfunkel/PC_Snowballs.ttf", "frostfunkel/xmas.mod",
          "applications/frostfunkel.desktop", "icons/hicolor/32x32/apps/frostfunkel.png",
          "man/man6/frostfunkel.6.gz", "doc/frostfunkel/copyright", "doc/frostfunkel/changelog.gz",
          "lintian/overrides/frostfunkel")
# Every installed file and its mode, below the prefix (the package puts bin/ in games/).
LAYOUT = {"bin/frostfunkel": 0o755, "libexec/frostfunkel/frostfunkel": 0o755,
          **{f"share/{path}": 0o644 for path in SHARED}}

sys.path.insert(0, str(SOURCE / "tests/e2e"))
from showrun import base_env  # noqa: E402
from sdl_text import window  # noqa: E402


def lines(ticks):
    """The scroller lines the show prints in its first `ticks` ticks."""
    return "".join(window(t) + "\n" for t in range(ticks))


def show(command, cwd, ticks, **extra):
    """Runs the show under the dummy drivers and the interposer, ended after `ticks` ticks."""
    env = base_env(LD_PRELOAD=INTERPOSE, FF_QUIT_AFTER=ticks, **extra)
    proc = subprocess.run([str(c) for c in command], cwd=cwd, env=env, capture_output=True,
                          text=True, errors="replace", timeout=120)
    return proc.returncode, proc.stdout, proc.stderr
