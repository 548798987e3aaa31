"""Headless Chromium driven through its DevTools protocol, and a local web server, for the
browser page's tests and its benchmark."""
import functools
import http.server
import json
import re
import shutil
import subprocess
import tempfile
import threading
import time
import urllib.request

import websocket

FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-port=0", "--remote-allow-origins=*"]


class CannotStart(Exception):
    """The browser is missing or does not start here."""


class Server:
    """Serves a folder on 127.0.0.1 at a free port, in a thread, while in a `with` block."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=str(folder))
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"

    def __enter__(self):
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Session:
    """What every browser of the tests shares: its process with a fresh profile, its remote
    protocol's connection (`socket`), a page's JavaScript (`evaluate`) and the way out."""
    socket, next_id = None, 0

    def start(self, command, prefix, stderr=subprocess.DEVNULL):
        self.profile = tempfile.mkdtemp(prefix=prefix)
        self.process = subprocess.Popen(command(self.profile), stdout=subprocess.DEVNULL,
                                        stderr=stderr, text=True)

    def request(self, name, send, receive):
        """Sends one command with `send(its id)` and returns its result: `receive()` gives each
        message as (id, error, result); those that come meanwhile are dropped."""
        self.next_id += 1
        send(self.next_id)
        while True:
            answer, error, result = receive()
            if answer == self.next_id:
                if error:
                    raise AssertionError(f"{name}: {error}")
                return result

    def wait_for(self, expression, timeout=20, what=None):
        """Waits until the expression is true in the page (an error counts as false, as while
        the page is still loading) and returns its value."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(f"(function () {{ try {{ return {expression}; }} "
                                  "catch (e) { return null; } })()")
            if value:
                return value
            time.sleep(0.05)
        raise AssertionError(f"waited {timeout} s for {what or expression}")

    def close(self):
        if self.socket:
            self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.process.stderr:
            self.process.stderr.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Browser(Session):
    """One headless Chromium and its first page's DevTools session."""

    def __init__(self):
        path = shutil.which("chromium")
        if path is None:
            raise CannotStart("no chromium on the PATH")
        self.start(lambda profile: [path, *FLAGS, f"--user-data-dir={profile}", "about:blank"],
                   "frostfunkel-chromium-", subprocess.PIPE)
        port = self._devtools_port()
        pages = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
        page = next(p for p in pages if p["type"] == "page")
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=30)
        self.send("Page.enable")  # for the scripts run before a page's own

    def _devtools_port(self):
        seen = []
        while len(seen) < 200:
            line = self.process.stderr.readline()
            if not line and self.process.poll() is not None:
                break
            seen.append(line)
            found = re.search(r"DevTools listening on ws://[^:]+:(\d+)/", line)
            if found:
                threading.Thread(target=self.process.stderr.read, daemon=True).start()
                return int(found.group(1))
        self.close()
        raise CannotStart("chromium did not start: " + "".join(seen[-5:]).strip())

    def send(self, method, **params):
        """Sends one command and returns its result; events that come meanwhile are dropped."""
        def receive():
            message = json.loads(self.socket.recv())
            return message.get("id"), message.get("error"), message.get("result")
        return self.request(method, lambda command_id: self.socket.send(json.dumps(
            {"id": command_id, "method": method, "params": params})), receive)

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page (promises awaited)."""
        result = self.send("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            raise AssertionError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def open(self, url, before_load=""):
        """Opens the page, with `before_load` run in it before the page's own scripts."""
        if before_load:
            self.send("Page.addScriptToEvaluateOnNewDocument", source=before_load)
        self.send("Page.navigate", url=url)

    def click(self, x=320, y=240):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                      clickCount=1)

    def key(self, kind, key="Escape", code=27):
        self.send("Input.dispatchKeyEvent", type=kind, key=key, code=key,
                  windowsVirtualKeyCode=code, nativeVirtualKeyCode=code)
