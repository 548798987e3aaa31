"""The browser page's benchmark: download sizes, click to first frame, CPU share of all of
Chromium's processes and WebAssembly memory while the show runs."""
import gzip
import os
import statistics
import sys
import time
from pathlib import Path

from chromium import Browser, Server

# What each measure must stay under, in the unit the table shows it in.
DOWNLOAD_KB, SINGLE_FILE_MB, FIRST_FRAME_MS, CPU_PERCENT = 600, 2, 300, 10

# Run in the page before its own scripts: the time of the start click and of the first frame
# the program puts on the canvas (the start screen draws its picture another way).
TIMER = """
window.timing = { click: null, frame: null };
addEventListener('click', function (e) { window.timing.click = performance.now(); }, true);
(function () {
  var put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function () {
    if (window.timing.frame === null) window.timing.frame = performance.now();
    return put.apply(this, arguments);
  };
})();
"""


def chromium_pids(browser):
    """The browser's process and all of its children."""
    found = [browser.process.pid]
    for pid in found:
        try:
            children = open(f"/proc/{pid}/task/{pid}/children").read().split()
        except OSError:
            continue
        found.extend(int(c) for c in children)
    return found


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


def started(browser, url):
    browser.open(url, TIMER)
    browser.wait_for("window.frostfunkel.module !== null", what="the program to load")
    browser.click()
    return browser.wait_for("window.timing.frame !== null && window.timing", what="a frame")


def first_frame_ms(url):
    with Browser() as browser:
        timing = started(browser, url)
    return timing["frame"] - timing["click"]


def running(url, minutes):
    """CPU share of one core over the run, and the top of the program's heap 5 s after the start
    and the highest it reached."""
    with Browser() as browser:
        started(browser, url)
        time.sleep(5)
        memory = "window.frostfunkel.module._sbrk(0)"
        first = browser.evaluate(memory)
        cpu_before, wall_before = cpu_seconds(chromium_pids(browser)), time.monotonic()
        largest = first
        end = time.monotonic() + minutes * 60
        while time.monotonic() < end:
            time.sleep(10)
            largest = max(largest, browser.evaluate(memory))
        cpu = (cpu_seconds(chromium_pids(browser)) - cpu_before) / (time.monotonic() - wall_before)
        if not browser.evaluate("window.frostfunkel.running"):
            sys.exit("bench-web: the show ended while it was measured")
        return cpu * 100, first, largest


def row(name, value, unit, digits=0, limit=None):
    shown = f"{value:.{digits}f} {unit}"
    if limit is None:
        return name, shown, "", ""
    return name, shown, f"<= {limit:g} {unit}", "yes" if value <= limit else "NO"


def main():
    site, single = Path(sys.argv[1]), Path(sys.argv[2])
    minutes = float(os.environ.get("BENCH_WEB_MINUTES", "10"))
    files = sorted(f for f in site.iterdir() if f.is_file())  # what the page loads
    download = sum(len(gzip.compress(f.read_bytes(), 9)) for f in files) / 1000
    with Server(site) as server:
        url = server.url + "index.html"
        first = statistics.median(first_frame_ms(url) for _ in range(5))
        cpu, memory_start, memory_most = running(url, minutes)
    rows = [
        row(f"the site's {len(files)} files, each gzip -9", download, "KB", 0, DOWNLOAD_KB),
        row("the single-file page", single.stat().st_size / 1e6, "MB", 2, SINGLE_FILE_MB),
        row("click to first frame (median of 5)", first, "ms", 1, FIRST_FRAME_MS),
        row(f"CPU share of one core, all Chromium processes, {minutes:g} min", cpu, "%", 2,
            CPU_PERCENT),
        row("the WebAssembly heap's top 5 s after the start", memory_start / 1024, "KiB"),
        row(f"its growth to the highest in {minutes:g} min", (memory_most - memory_start) / 1024,
            "KiB"),
    ]
    print(f"{'measure':<60} {'value':>10}  {'target':<10} ok")
    print("-" * 86)
    for name, value, target, verdict in rows:
        print(f"{name:<60} {value:>10}  {target:<10} {verdict}")
    print(f"\n{os.cpu_count()} cores; headless Chromium (--headless=new, no GPU), the site "
          "served from 127.0.0.1.")


if __name__ == "__main__":
    main()
