"""Headless Firefox driven through its built-in remote protocol (Marionette), for the browser
page's picture check."""
import json
import shutil
import socket
import time
from pathlib import Path

from chromium import CannotStart, Session

# A fresh profile: Marionette on a free port (written to MarionetteActivePort), no first-run
# page, no update checks.
PREFERENCES = {"marionette.port": 0, "browser.shell.checkDefaultBrowser": False,
               "browser.aboutwelcome.enabled": False, "app.update.disabledForTesting": True}


def with_preferences(path):
    def command(profile):
        (Path(profile) / "user.js").write_text("".join(
            f"user_pref({json.dumps(k)}, {json.dumps(v)});\n" for k, v in PREFERENCES.items()))
        return [path, "--headless", "--marionette", "--no-remote", "--profile", profile]
    return command


class Firefox(Session):
    """One headless Firefox ESR and its Marionette session."""

    def __init__(self):
        path = shutil.which("firefox-esr") or shutil.which("firefox")
        if path is None:
            raise CannotStart("no firefox-esr on the PATH")
        self.start(with_preferences(path), "frostfunkel-firefox-")
        self.socket = self._connect()
        self._receive()  # the server's greeting
        self.command("WebDriver:NewSession", capabilities={})

    def _connect(self):
        port_file = Path(self.profile) / "MarionetteActivePort"
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and self.process.poll() is None:
            if port_file.exists() and port_file.read_text().strip():
                return socket.create_connection(("127.0.0.1", int(port_file.read_text())), 30)
            time.sleep(0.2)
        self.close()
        raise CannotStart("firefox did not start its remote protocol")

    def _receive(self):  # one message: its length in digits, a colon, its JSON
        length = b""
        while not length.endswith(b":"):
            length += self.socket.recv(1)
        size, body = int(length[:-1]), b""
        while len(body) < size:
            body += self.socket.recv(size - len(body))
        return json.loads(body)

    def command(self, name, **params):
        def send(command_id):  # [0, its id, its name, its parameters], its length first
            body = json.dumps([0, command_id, name, params]).encode()
            self.socket.sendall(str(len(body)).encode() + b":" + body)
        return self.request(name, send, lambda: self._receive()[1:])  # [1, id, error, result]

    def evaluate(self, expression):
        return self.command("WebDriver:ExecuteScript", script=f"return {expression};",
                            args=[])["value"]

    def open(self, url):
        self.command("WebDriver:Navigate", url=url)

    def click(self, selector):
        element = self.command("WebDriver:FindElement", using="css selector", value=selector)
        self.command("WebDriver:ElementClick", id=next(iter(element["value"].values())))
