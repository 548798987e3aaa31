"""Headless Firefox driven through its built-in remote protocol (Marionette), for the browser
page's picture check."""
import json
import shutil
import socket
import subprocess
import tempfile
import time
from pathlib import Path

# A fresh profile: Marionette on a free port (written to MarionetteActivePort), no first-run
# pages, no updates or other network traffic of its own.
PREFERENCES = {
    "marionette.port": 0,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.aboutwelcome.enabled": False,
    "app.update.disabledForTesting": True,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "extensions.update.enabled": False,
    "browser.safebrowsing.update.enabled": False,
}


class CannotStart(Exception):
    """Firefox is missing or does not start here."""


class Firefox:
    """One headless Firefox with a fresh profile and its Marionette session."""

    def __init__(self):
        path = shutil.which("firefox-esr") or shutil.which("firefox")
        if path is None:
            raise CannotStart("no firefox-esr on the PATH")
        self.profile = Path(tempfile.mkdtemp(prefix="frostfunkel-firefox-"))
        (self.profile / "user.js").write_text("".join(
            f"user_pref({json.dumps(k)}, {json.dumps(v)});\n" for k, v in PREFERENCES.items()))
        self.process = subprocess.Popen(
            [path, "--headless", "--marionette", "--no-remote", "--profile", str(self.profile),
             "about:blank"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.socket = self._connect()
        self.next_id = 0
        self._receive()  # the server's greeting
        self.command("WebDriver:NewSession", capabilities={})

    def _connect(self):
        port_file = self.profile / "MarionetteActivePort"
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and self.process.poll() is None:
            if port_file.exists() and port_file.read_text().strip():
                return socket.create_connection(("127.0.0.1", int(port_file.read_text())), 30)
            time.sleep(0.2)
        self.close()
        raise CannotStart("firefox did not start its remote protocol")

    def _receive(self):
        length = b""
        while not length.endswith(b":"):
            length += self.socket.recv(1)
        size, body = int(length[:-1]), b""
        while len(body) < size:
            body += self.socket.recv(size - len(body))
        return json.loads(body)

    def command(self, name, **params):
        self.next_id += 1
        body = json.dumps([0, self.next_id, name, params]).encode()
        self.socket.sendall(str(len(body)).encode() + b":" + body)
        while True:
            _, answer_id, error, result = self._receive()
            if answer_id == self.next_id:
                if error:
                    raise AssertionError(f"{name}: {error}")
                return result

    def evaluate(self, expression):
        return self.command("WebDriver:ExecuteScript", script=f"return {expression};",
                            args=[])["value"]

    def wait_for(self, expression, timeout=20, what=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.05)
        raise AssertionError(f"waited {timeout} s in Firefox for {what or expression}")

    def open(self, url, after_load=""):
        """Opens the page and runs `after_load` in it once it has loaded."""
        self.command("WebDriver:Navigate", url=url)
        if after_load:
            self.command("WebDriver:ExecuteScript", script=after_load, args=[])

    def click(self, selector):
        element = self.command("WebDriver:FindElement", using="css selector", value=selector)
        self.command("WebDriver:ElementClick", id=next(iter(element["value"].values())))

    def close(self):
        if getattr(self, "socket", None):
            self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
