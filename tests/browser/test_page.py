"""The show's page in headless Chromium: built by scripts/web, served over HTTP and opened as the
single file from disk; its picture, lines, sound, ending and start-up message."""
import base64
import io
import sys
import unittest

from PIL import Image, ImageChops

import firefox
from chromium import Browser, CannotStart, Server
from harness import LIBRARY_SOURCES, SOURCE, made_by, run_show, scratch, window

SHOT_LINE = 19  # scripts/screenshot takes the frame of the 19th line, "Froehliche Weihnac"

# Run in the page before the click: keeps each scroller line with its time, takes the
# canvas right after the frame of the 19th line is drawn (the show draws it after writing the
# line, before it waits), and measures the loudest sample reaching the page's sound output.
RECORDER = """
window.recorded = { lines: [], shot: null };
(function () {
  var log = console.log;
  console.log = function (text) {
    log.apply(console, arguments);
    window.recorded.lines.push([performance.now(), String(text)]);
    if (window.recorded.lines.length === %d) setTimeout(function () {
      window.recorded.shot = document.getElementById('screen').toDataURL('image/png');
    }, 0);
  };
  window.loudest = function (seconds) {
    var page = window.frostfunkel, analyser = page.context.createAnalyser();
    var samples = new Float32Array(analyser.fftSize), peak = 0;
    page.output.connect(analyser);
    var timer = setInterval(function () {
      analyser.getFloatTimeDomainData(samples);
      peak = Math.max(peak, ...samples.map(Math.abs));
    }, 20);
    return new Promise(function (done) {
      setTimeout(function () {
        clearInterval(timer);
        page.output.disconnect(analyser);
        done(peak);
      }, seconds * 1000);
    });
  };
})();
""" % SHOT_LINE


# Run in the page before its own scripts: notes for each AudioContext made whether the user's
# gesture was active then. Headless Chromium plays without one, where a user's browser would
# keep a context made outside the gesture silent.
GESTURE_WATCH = """
window.madeInGesture = [];
(function () {
  var Context = window.AudioContext;
  window.AudioContext = function (options) {
    window.madeInGesture.push(navigator.userActivation.isActive);
    return new Context(options);
  };
  window.AudioContext.prototype = Context.prototype;
})();
"""


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site, cls.single = made_by("web")
        cls.server = cls.enterClassContext(Server(cls.site))

    def start(self, url, before_start="", before_load=""):
        """Opens the page in a fresh Chromium, waits for its start screen, clicks it."""
        browser = self.enterContext(Browser())
        browser.open(url, GESTURE_WATCH + before_load)
        browser.wait_for("window.frostfunkel.module !== null", what="the program to load")
        browser.evaluate(RECORDER + before_start)
        browser.click()
        return browser

    def lines(self, browser, count):
        browser.wait_for(f"window.recorded.lines.length >= {count}", timeout=count / 2 + 10,
                         what=f"{count} scroller lines")
        return browser.evaluate("window.recorded.lines")

    def assert_picture(self, browser):
        shot = browser.wait_for("window.recorded.shot", what="the canvas at the 19th line")
        canvas = Image.open(io.BytesIO(base64.b64decode(shot.split(",", 1)[1]))).convert("RGB")
        expected = Image.open(SOURCE / "docs/screenshot.png").convert("RGB")
        self.assertEqual(canvas.size, expected.size)
        differ = ImageChops.difference(canvas, expected).convert("L").point(bool).histogram()[1]
        self.assertEqual(differ, 0, f"{differ} pixels differ from docs/screenshot.png")

    def assert_lines(self, lines):
        self.assertEqual([text for _, text in lines],
                         [window(tick) for tick in range(len(lines))])
        # Measured from the second line on: the first comes after the program's start-up.
        rate = (len(lines) - 2) * 1000 / (lines[-1][0] - lines[1][0])
        self.assertTrue(3.6 <= rate <= 4.4, f"{rate:.2f} lines a second, not 4 ± 10 %")

    def assert_layout(self, browser):
        """In a wide window the canvas fills the height with its proportions, centred, black
        around it, its pixels sharp and the pointer hidden."""
        browser.send("Emulation.setDeviceMetricsOverride", width=1000, height=600,
                     deviceScaleFactor=1, mobile=False)
        self.assertEqual(browser.evaluate(
            "(function (c) { var r = c.getBoundingClientRect(), s = getComputedStyle(c); "
            "return [r.x, r.y, r.width, r.height, s.imageRendering, s.cursor, "
            "getComputedStyle(document.body).backgroundColor]; "
            "})(document.getElementById('screen'))"),
            [100, 0, 800, 600, "pixelated", "none", "rgb(0, 0, 0)"])

    def test_over_http_picture_lines_sound_and_escape(self):
        browser = self.start(self.server.url + "index.html")
        self.assert_picture(browser)
        self.assert_lines(self.lines(browser, SHOT_LINE + 5))
        self.assertEqual(browser.evaluate("window.madeInGesture"), [True],
                         "the AudioContext is not made once, in the click")
        self.assertGreater(browser.evaluate("window.loudest(1)"), 0.05,
                           "the music does not reach the page's sound output")
        self.assertEqual(browser.evaluate("document.title"), "Frostfunkel")
        self.assert_layout(browser)

        browser.key("keyDown")
        # Three more lines while Escape is held: pressing it does not end the show.
        self.lines(browser, len(browser.evaluate("window.recorded.lines")) + 3)
        browser.key("keyUp")
        browser.wait_for("!window.frostfunkel.running", timeout=2,
                         what="the show to end on Escape's release")
        ended = len(browser.evaluate("window.recorded.lines"))
        self.assertEqual(browser.evaluate("document.getElementById('again').hidden"), False,
                         "the page does not offer to play again after status 0")
        self.assertEqual(browser.evaluate("window.loudest(1)"), 0, "sound after the end")
        self.assertEqual(len(browser.evaluate("window.recorded.lines")), ended,
                         "lines after the end")

    def test_single_file_from_disk(self):
        browser = self.start(self.single.as_uri())
        self.assert_picture(browser)
        self.assert_lines(self.lines(browser, SHOT_LINE + 1))

    def test_firefox_picture(self):
        try:
            browser = self.enterContext(firefox.Firefox())
        except firefox.CannotStart as why:
            self.skipTest(str(why))
        browser.open(self.server.url + "index.html")
        browser.wait_for("window.frostfunkel.module !== null", what="the program to load")
        browser.command("WebDriver:ExecuteScript", script=RECORDER, args=[])
        browser.click("#start")
        self.assert_picture(browser)

    def test_failed_start_shows_the_desktops_message(self):
        with scratch({"rahmen.png": None}) as folder:
            missing_picture = run_show(folder).stderr.strip()
        self.assertTrue(missing_picture.startswith("IMG_Load(rahmen.png): "), missing_picture)
        # What is taken away after the page has loaded, or before, and the message it causes.
        cases = [("window.frostfunkel.module.FS.unlink('/rahmen.png');", "", missing_picture),
                 ("", "window.AudioContext = undefined;",
                  "Mix_OpenAudio: No Web Audio context: the browser has not allowed sound")]
        for before_start, before_load, message in cases:
            with self.subTest(message=message):
                browser = self.start(self.server.url + "index.html", before_start, before_load)
                shown = browser.wait_for(
                    "!window.frostfunkel.running && document.getElementById('message')"
                    ".textContent", what="the start-up message on the page")
                self.assertEqual(shown, message)
                self.assertFalse(browser.evaluate("document.getElementById('start').hidden"),
                                 "the page does not offer to start again")


def chromium_cannot_start():
    """Why Chromium cannot run here, or None when it can."""
    try:
        Browser().close()
    except CannotStart as reason:
        return str(reason)
    return None


if __name__ == "__main__":
    why = chromium_cannot_start()
    if not LIBRARY_SOURCES:
        why = "FROSTFUNKEL_WINDOWS_SOURCES is not set, so the page cannot be built"
    if why:
        print(f"skipped: {why}")
        sys.exit(77)  # CTest's SKIP_RETURN_CODE for this test
    unittest.main(verbosity=2)
