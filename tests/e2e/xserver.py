"""A private Xvfb server for tests and screenshots that need a real X11 window."""
import os
import subprocess
import time


class Xvfb:
    def __init__(self, size="640x480x24"):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size, "-nolisten", "tcp"],
            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=10)

    def xdotool(self, *args):
        out = subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.display},
                             capture_output=True, text=True, timeout=10)
        return out.stdout.rstrip("\n")

    def wait_for_window(self, name_pattern, timeout=20):
        """The id of the first window whose name matches, once it is mapped."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--name", name_pattern)
            if found:
                return found.split()[0]
            time.sleep(0.1)
        return None
