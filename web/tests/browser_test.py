"""Browser tests of the web page, in headless Chromium through chromedriver.

Usage: browser_test.py PAGE_DIR NATIVE_DIR   compare the page with the desktop
                                             program's frames in NATIVE_DIR
       browser_test.py --measure PAGE_DIR    time the page's frames per view

The page is served from PAGE_DIR on 127.0.0.1 as plain static files. Each test
loads it afresh. The desktop frames are PNGs named after the states in
tests/steps.txt, each reached from the one before with the keys listed there.
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.common import utils

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import serve  # noqa: E402 (web/serve.py, found through the path above)

# RMSE against the desktop frame, as a fraction of full scale. Filled views
# differ only where Chromium's software rasteriser rounds an edge or a colour
# otherwise than Mesa's; wireframe views are single-pixel lines, where a line
# one pixel off counts twice.
FILLED_RMSE = 0.01
WIREFRAME_RMSE = 0.08

# X key names (tests/steps.txt) as WebDriver types them.
KEYS = {
    "space": Keys.SPACE,
    "a": "a",
    "plus": "+",
    "minus": "-",
    "Left": Keys.ARROW_LEFT,
    "Right": Keys.ARROW_RIGHT,
    "Up": Keys.ARROW_UP,
    "Down": Keys.ARROW_DOWN,
    "Prior": Keys.PAGE_UP,
    "Next": Keys.PAGE_DOWN,
    "Return": Keys.RETURN,
    "Escape": Keys.ESCAPE,
}

PAGE_DIR = None
NATIVE_DIR = None
OUT_DIR = None


def read_steps():
    steps = []
    with open(os.path.join(HERE, "..", "..", "tests", "steps.txt"), encoding="utf-8") as lines:
        for line in lines:
            words = line.split()
            if words and not words[0].startswith("#"):
                steps.append((words[0], words[1:]))
    return steps


def rmse(a, b):
    """Root mean square difference of two pictures' RGB, 0 to 1."""
    result = subprocess.run(
        ["compare", "-metric", "RMSE", "-alpha", "off", a, b, "null:"],
        capture_output=True, text=True, check=False)
    found = re.search(r"\(([0-9.e+-]+)\)", result.stderr)
    if result.returncode > 1 or not found:
        raise RuntimeError(f"compare failed on {a} and {b}: {result.stderr}")
    return float(found.group(1))


def page_messages(entries):
    """The console's messages, less the one that headless Chromium writes itself:
    with --disable-gpu it composites in software, so it reads every WebGL frame
    back from SwiftShader and says so ("GPU stall due to ReadPixels"); the page
    reads no pixels."""
    return [entry["message"] for entry in entries
            if not (entry.get("source") == "rendering"
                    and "GL Driver Message" in entry["message"]
                    and "GPU stall due to ReadPixels" in entry["message"])]


class WebGLDidNotStart(Exception):
    pass


def open_page(query=""):
    """The page in a fresh browser. Under a heavy load headless Chromium now and
    then fails to create SwiftShader's WebGL context; the page then says so, and
    a second browser is tried. A page that never gets one still fails."""
    for attempt in range(3):
        try:
            return Browser(query)
        except WebGLDidNotStart as error:
            print(f"\n  attempt {attempt + 1}: {error}", file=sys.stderr)
    raise AssertionError("WebGL did not start in three browsers")


class LoopbackService(Service):
    """chromedriver reached at 127.0.0.1: Selenium's own "localhost" does not
    resolve on a machine without /etc/hosts, such as a minimal Debian root."""

    @property
    def service_url(self):
        return f"http://127.0.0.1:{self.port}"

    def is_connectable(self):
        return utils.is_connectable(self.port, "127.0.0.1")


class Browser:
    """Headless Chromium on a fresh profile, and a static server for the page."""

    def __init__(self, query=""):
        self.server = serve.make_server(PAGE_DIR, 0)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.profile = tempfile.mkdtemp(prefix="bumpmap-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        # Root in CI needs --no-sandbox; the network is closed, so nothing may
        # reach out; WebGL runs on SwiftShader, asked for by name.
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                         "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                         "--enable-unsafe-swiftshader", "--window-size=1280,720",
                         "--force-device-scale-factor=1", f"--user-data-dir={self.profile}"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = None
        try:
            self.driver = webdriver.Chrome(service=LoopbackService("/usr/bin/chromedriver"),
                                           options=options)
            port = self.server.server_address[1]
            self.driver.get(f"http://127.0.0.1:{port}/index.html{query}")
            self.canvas = self.driver.find_element(By.ID, "canvas")
            try:
                self.wait(lambda: self.frames() >= 1 or self.failure(), "the first frame", 60)
            except AssertionError as error:
                raise AssertionError(f"{error}; console: {self.console()}") from None
            if self.failure():
                raise WebGLDidNotStart(self.failure())
            self.settle()
        except BaseException:
            self.close()
            raise

    def close(self):
        if self.driver is not None:
            self.driver.quit()
        self.server.shutdown()
        self.server.server_close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def failure(self):
        """What the page says when the browser could not run it, or ''."""
        return self.js("var f = document.getElementById('failed'); return f.hidden ? '' : f.textContent")

    def js(self, script):
        return self.driver.execute_script(script)

    def frames(self):
        return self.js("return bumpmapStats.frames")

    def wait(self, condition, what, seconds=30):
        deadline = time.monotonic() + seconds
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError(f"no {what} within {seconds} s")
            time.sleep(0.05)

    def settle(self):
        """Waits until no frame has been drawn for half a second."""
        last, since = self.frames(), time.monotonic()
        while time.monotonic() - since < 0.5:
            time.sleep(0.1)
            now = self.frames()
            if now != last:
                last, since = now, time.monotonic()

    def press(self, *keys):
        """Types the keys (X names) and waits for the frames they asked for."""
        before = self.frames()
        chain = ActionChains(self.driver)
        for key in keys:
            chain.send_keys(KEYS[key])
        chain.perform()
        self.wait(lambda: self.frames() > before, f"frame after {' '.join(keys)}")
        self.settle()

    def capture(self, path):
        # A reload keeps the scroll position; the canvas is at the top.
        self.js("window.scrollTo(0, 0)")
        self.canvas.screenshot(path)
        return path

    def console(self):
        return self.driver.get_log("browser")


class PageTest(unittest.TestCase):
    def setUp(self):
        self.browser = open_page()
        self.addCleanup(self.browser.close)

    def assert_console_clean(self):
        messages = page_messages(self.browser.console())
        self.assertEqual(messages, [], "the page wrote to the browser console")

    def out(self, name):
        return os.path.join(OUT_DIR, name)

    def test_views_and_keys_match_the_desktop(self):
        """Every state of tests/steps.txt: the same keys give the desktop's picture."""
        report, failures = [], []
        for index, (name, keys) in enumerate(read_steps()):
            if keys:
                self.browser.press(*keys)
            page = self.browser.capture(self.out(f"page-{name}.png"))
            if index == 0:
                self.browser.driver.save_screenshot(self.out("page.png"))
            difference = rmse(page, os.path.join(NATIVE_DIR, f"{name}.png"))
            limit = WIREFRAME_RMSE if "wireframe" in name else FILLED_RMSE
            report.append(f"  {name:20} RMSE {difference * 100:6.3f} % (limit {limit * 100:g} %)")
            if difference > limit:
                failures.append(name)
        print("\npage against the desktop program:\n" + "\n".join(report), file=sys.stderr)
        self.assertEqual(failures, [], "states where the page differs from the desktop")
        self.assert_console_clean()

    def test_buttons_send_the_keys(self):
        start = self.browser.capture(self.out("buttons-start.png"))
        before = self.browser.frames()
        self.browser.driver.find_element(By.CSS_SELECTOR, 'button[title="Space"]').click()
        self.browser.wait(lambda: self.browser.frames() > before, "frame after the Space button")
        self.browser.settle()
        displaced = self.browser.capture(self.out("buttons-displaced.png"))
        self.assertGreater(rmse(start, displaced), FILLED_RMSE)
        self.assertLessEqual(rmse(displaced, os.path.join(NATIVE_DIR, "displaced.png")),
                             FILLED_RMSE)
        # The button did not take the focus: the keyboard still drives the demo.
        self.browser.press("space")
        self.assertLessEqual(rmse(self.browser.capture(self.out("buttons-back.png")), start),
                             FILLED_RMSE)
        self.assert_console_clean()

    def test_unbound_keys_change_nothing(self):
        start = self.browser.capture(self.out("unbound-start.png"))
        before = self.browser.frames()
        ActionChains(self.browser.driver).send_keys(
            "A", "q", "1", "=", Keys.HOME, Keys.END, Keys.INSERT, Keys.F2, Keys.TAB,
            Keys.BACKSPACE, Keys.DELETE).perform()
        time.sleep(1.0)
        self.assertEqual(self.browser.frames(), before, "an unbound key drew a frame")
        self.assertEqual(rmse(start, self.browser.capture(self.out("unbound-after.png"))), 0.0)
        self.assert_console_clean()

    def test_return_starts_and_stops_the_orbit(self):
        start = self.browser.capture(self.out("orbit-start.png"))
        before = self.browser.frames()
        ActionChains(self.browser.driver).send_keys(Keys.RETURN).perform()
        self.browser.wait(lambda: self.browser.frames() >= before + 10, "ten frames of orbit")
        ActionChains(self.browser.driver).send_keys(Keys.RETURN).perform()
        self.browser.settle()
        stopped = self.browser.frames()
        time.sleep(1.0)
        self.assertEqual(self.browser.frames(), stopped, "the orbit went on after Return")
        self.assertGreater(rmse(start, self.browser.capture(self.out("orbit-moved.png"))), 0.0,
                           "the light did not move")
        self.assert_console_clean()

    def test_escape_ends_the_demo_visibly(self):
        ended = self.browser.driver.find_element(By.ID, "ended")
        self.assertFalse(ended.is_displayed())
        ActionChains(self.browser.driver).send_keys(Keys.RETURN).perform()
        ActionChains(self.browser.driver).send_keys(Keys.ESCAPE).perform()
        self.browser.wait(ended.is_displayed, "line saying the demo ended")
        self.assertEqual(self.browser.js("return bumpmapStats.exitStatus"), 0)
        self.browser.settle()
        after = self.browser.frames()
        ActionChains(self.browser.driver).send_keys(Keys.SPACE, "a", "+").perform()
        time.sleep(1.0)
        self.assertEqual(self.browser.frames(), after, "the demo went on after Escape")
        self.assert_console_clean()
        # Start again: a fresh demo at its first frame.
        ended.find_element(By.TAG_NAME, "button").click()
        self.browser.wait(lambda: self.browser.js(
            "return typeof bumpmapStats == 'object' && bumpmapStats.frames >= 1"),
            "first frame after starting again")
        self.browser.settle()
        self.browser.canvas = self.browser.driver.find_element(By.ID, "canvas")
        self.assertFalse(self.browser.driver.find_element(By.ID, "ended").is_displayed())
        page = self.browser.capture(self.out("restarted.png"))
        self.assertLessEqual(rmse(page, os.path.join(NATIVE_DIR, "start.png")), FILLED_RMSE)
        self.assert_console_clean()


VIEWS = [("bumped, filled", []), ("displaced, filled", ["space"]),
         ("displaced, wireframe", ["a"]), ("bumped, wireframe", ["space"])]


def measure():
    """The page's own work per frame and the frames per second, per view, with
    the light circling; printed as a Markdown table."""
    browser = open_page("?measure")
    try:
        print("| view | page work ms, median (p10–p90) | frames/s |")
        print("|---|---|---|")
        for view, keys in VIEWS:
            if keys:
                browser.press(*keys)
            ActionChains(browser.driver).send_keys(Keys.RETURN).perform()
            time.sleep(1.0)  # warm-up
            browser.js("bumpmapStats.work = []; bumpmapStats.times = [];")
            time.sleep(5.0)
            work, times = browser.js("return [bumpmapStats.work, bumpmapStats.times]")
            ActionChains(browser.driver).send_keys(Keys.RETURN).perform()
            browser.settle()
            deciles = statistics.quantiles(work, n=10)
            fps = (len(times) - 1) / ((times[-1] - times[0]) / 1000)
            print(f"| {view} | {statistics.median(work):.2f} ({deciles[0]:.2f}–{deciles[-1]:.2f})"
                  f" | {fps:.1f} |")
        messages = page_messages(browser.console())
        if messages:
            print("console:", *messages, sep="\n  ")
    finally:
        browser.close()


def main():
    global PAGE_DIR, NATIVE_DIR, OUT_DIR
    # Headless: a DISPLAY, above all one whose X server has gone, only costs
    # the page its WebGL context.
    os.environ.pop("DISPLAY", None)
    if len(sys.argv) == 3 and sys.argv[1] == "--measure":
        PAGE_DIR = sys.argv[2]
        measure()
        return
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    PAGE_DIR, NATIVE_DIR = sys.argv[1], sys.argv[2]
    OUT_DIR = os.path.join(PAGE_DIR, "test")
    os.makedirs(OUT_DIR, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])


if __name__ == "__main__":
    main()
