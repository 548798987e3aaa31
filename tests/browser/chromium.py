"""Headless Chromium driven through its DevTools protocol, and a local web server, for the
browser page's tests and its benchmark."""
import functools
import http.server
import json
import os
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
    """Chromium is missing or does not start here."""


def chromium_path():
    return shutil.which("chromium") or shutil.which("chromium-browser")


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


class Browser:
    """One headless Chromium with a fresh profile, and its first page's DevTools session.
    Events the page sends are kept in `events`, each as (method, params)."""

    def __init__(self, extra_flags=()):
        path = chromium_path()
        if path is None:
            raise CannotStart("no chromium on the PATH")
        self.profile = tempfile.mkdtemp(prefix="frostfunkel-chromium-")
        self.process = subprocess.Popen(
            [path, *FLAGS, *extra_flags, f"--user-data-dir={self.profile}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        port = self._devtools_port()
        pages = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
        page = next(p for p in pages if p["type"] == "page")
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=30)
        self.next_id = 0
        self.events = []
        for domain in ("Page", "Runtime"):
            self.send(f"{domain}.enable")

    def _devtools_port(self):
        seen = []
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
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
        """Sends one command and returns its result, keeping the events that come meanwhile."""
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise AssertionError(f"{method}: {message['error']}")
                return message["result"]
            if "method" in message:
                self.events.append((message["method"], message["params"]))

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page (promises awaited)."""
        result = self.send("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            raise AssertionError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=20, what=None):
        """Waits until the expression is true in the page and returns its value."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.05)
        raise AssertionError(f"waited {timeout} s for {what or expression}")

    def open(self, url, before_load=""):
        """Opens the page, with `before_load` run in it before the page's own scripts."""
        if before_load:
            self.send("Page.addScriptToEvaluateOnNewDocument", source=before_load)
        self.send("Page.navigate", url=url)
        self.wait_for("document.readyState === 'complete'")

    def click(self, x=320, y=240):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                      clickCount=1)

    def key(self, kind, key="Escape", code=27):
        self.send("Input.dispatchKeyEvent", type=kind, key=key, code=key,
                  windowsVirtualKeyCode=code, nativeVirtualKeyCode=code)

    def pids(self):
        """The browser's process and all of its children."""
        found = [self.process.pid]
        for pid in found:
            try:
                children = open(f"/proc/{pid}/task/{pid}/children").read().split()
            except OSError:
                continue
            found.extend(int(c) for c in children)
        return found

    def close(self):
        if getattr(self, "socket", None):
            self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stderr.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def cpu_seconds(pids):
    """User and system CPU time used so far by the given processes, in seconds."""
    total = 0
    tick = os.sysconf("SC_CLK_TCK")
    for pid in pids:
        try:
            fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        total += (int(fields[11]) + int(fields[12])) / tick
    return total
