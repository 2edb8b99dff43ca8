"""The three browser engines the page is tested in, behind one interface:
Chromium (headless, through chromedriver), Firefox (a window under Xvfb,
through its own WebDriver BiDi, web/tests/bidi.py) and WebKitGTK (MiniBrowser
under Xvfb, through WebKitWebDriver). browser_test.py drives them all alike.

What differs is kept here: how each starts, reads the picture and the
console, and types a '+' without Shift.
"""

import atexit
import base64
import glob
import os
import shutil
import socket
import statistics
import subprocess
import tempfile
import threading
import time
import warnings

from selenium.webdriver.common.keys import Keys

import serve

# Headless Chromium as every test of the page starts it: root in CI needs
# --no-sandbox; the network is closed, so nothing may reach out; WebGL runs on
# SwiftShader, asked for by name.
CHROMIUM_FLAGS = ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                  "--enable-unsafe-swiftshader")

# The window the tests see on a wide screen, in CSS pixels.
WIDTH, HEIGHT = 1280, 720

# X key names (tests/steps.txt) as WebDriver types them, each as the driver
# does: chromedriver adds Shift to '+', as a US keyboard has it; Firefox and
# WebKitGTK type it without.
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
SHIFT = Keys.SHIFT
KEYPAD_PLUS = Keys.ADD
KEYPAD_MINUS = Keys.SUBTRACT

# A small phone, in CSS pixels, touch only.
PHONE = {"width": 360, "height": 740, "pixelRatio": 1.0, "touch": True}

# When each page load drew its first frame, in ms from navigation.
FIRST_FRAMES = []


class WebGLDidNotStart(Exception):
    pass


class PageInParts(serve.Handler):
    """Sends the page a kilobyte at a time, uncompressed, with a pause before
    each part, as a slow network does: the browser lays out and paints what
    has come so far."""

    def send_head(self):
        if self.is_page():
            del self.headers["Accept-Encoding"]
        return super().send_head()

    def copyfile(self, source, outputfile):
        if not self.is_page():
            return super().copyfile(source, outputfile)
        try:
            while part := source.read(1024):
                time.sleep(0.1)
                outputfile.write(part)
                outputfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the browser went away before the page had all come
        return None

    def is_page(self):
        return self.path.split("?", 1)[0] == "/index.html"


# The X display of the windowed engines: bumpmap-drive --run starts an Xvfb of
# its own for the test run (scripts/web-test.sh) and names it in DISPLAY,
# which browser_test.py keeps here before Chromium's run takes it away.
X_DISPLAY = None


def x_display():
    if not X_DISPLAY:
        raise RuntimeError("no X display: run it through bumpmap-drive --run (scripts/web-test.sh)")
    return X_DISPLAY


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Browser:
    """A fresh browser on a fresh profile with the page loaded at its first
    frame, and a static server for the page. Subclasses give the engine's own
    primitives: start, quit, js, js_async, perform, screenshot, refresh,
    console."""

    name = None
    # Whether a canvas screenshot is the picture. Firefox's element screenshot
    # is cut a pixel off (the canvas stands at 22.5 CSS pixels), WebKitGTK's
    # lands some 80 pixels too low: those two read the drawing buffer.
    screenshots_canvas = True
    emulates_phone = False
    page_dir = None

    def __init__(self, query="", phone=False, page_in_parts=False):
        self.page_in_parts = page_in_parts
        self.server = serve.make_server(self.served_dir(), 0,
                                        PageInParts if page_in_parts else serve.Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.profile = tempfile.mkdtemp(prefix=f"bumpmap-{self.name}-")
        self.started = False
        try:
            self.start(phone)
            self.started = True
            self.navigate(f"http://127.0.0.1:{self.server.server_address[1]}/index.html{query}")
            self.loaded()
        except BaseException:
            self.close()
            raise

    def served_dir(self):
        return self.page_dir

    def mark_page(self):
        """Marks the page on show, so that loaded() waits for the next one."""
        self.js("window.bumpmapOldPage = true")

    def new_page_drawn(self):
        try:
            return self.js("return typeof bumpmapOldPage == 'undefined'"
                           " && typeof bumpmapStats == 'object' && (bumpmapStats.frames >= 1"
                           " || !document.getElementById('failed').hidden)")
        except Exception:  # noqa: BLE001 (between two pages, a script has no page to run in)
            return False

    def loaded(self):
        """After a load: waits for the first frame, notes when it came, and
        lets the page settle."""
        try:
            self.wait(self.new_page_drawn, "the first frame", 60)
        except AssertionError as error:
            raise AssertionError(f"{error}; console: {self.console()}") from None
        if self.failure():
            raise WebGLDidNotStart(self.failure())
        if not self.page_in_parts:
            FIRST_FRAMES.append(self.js("return bumpmapStats.firstFrameAt"))
        self.canvas = self.find("#canvas")
        if not self.screenshots_canvas:
            self.keep_frames()
        self.settle()

    def close(self):
        if self.started:
            self.quit()
        self.stop_server()
        shutil.rmtree(self.profile, ignore_errors=True)

    def stop_server(self):
        self.server.shutdown()
        self.server.server_close()

    def failure(self):
        """What the page says when the browser could not run it, or ''."""
        return self.js("var f = document.getElementById('failed'); return f.hidden ? '' : f.textContent")

    def find(self, selector):
        return self.js("return document.querySelector(arguments[0])", selector)

    def find_all(self, selector):
        return self.js("return Array.from(document.querySelectorAll(arguments[0]))", selector)

    def frames(self):
        return self.js("return bumpmapStats.frames")

    def shown(self, selector):
        return self.js("var e = document.querySelector(arguments[0]);"
                       "return e !== null && e.getClientRects().length > 0", selector)

    def wait(self, condition, what, seconds=30):
        deadline = time.monotonic() + seconds
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError(f"no {what} within {seconds} s")
            time.sleep(0.05)

    def settle(self):
        """Waits until no frame has been drawn for half a second (a page that
        keeps drawing, say with the orbit running, fails after 30 s)."""
        last, since = self.frames(), time.monotonic()
        deadline = since + 30
        while time.monotonic() - since < 0.5:
            if time.monotonic() > deadline:
                raise AssertionError("the page did not stop drawing within 30 s")
            time.sleep(0.1)
            now = self.frames()
            if now != last:
                last, since = now, time.monotonic()

    # Input, as W3C action sequences, which WebDriver classic and BiDi share.

    def keys(self, *values, shift=False):
        """Types the keys (WebDriver's values), with Shift held if asked."""
        actions = [{"type": "keyDown", "value": SHIFT}] if shift else []
        for value in values:
            actions += [{"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]
        if shift:
            actions.append({"type": "keyUp", "value": SHIFT})
        self.perform([{"type": "key", "id": "keyboard", "actions": actions}])

    def typed(self, *values, shift=False, what="the keys"):
        """Types the keys and waits for the frames they asked for."""
        before = self.frames()
        self.keys(*values, shift=shift)
        self.wait(lambda: self.frames() > before, f"frame after {what}")
        self.settle()

    def press(self, *names):
        """Types the keys (X names, as in tests/steps.txt) and waits for the
        frames they asked for."""
        self.typed(*(KEYS[name] for name in names), what=" ".join(names))

    def type_unshifted(self, *characters):
        """Types each character as a keyboard with a key of its own for it
        sends it: that key, with no Shift. Most drivers type so already."""
        self.keys(*characters)

    def pointer(self, kind, actions):
        self.perform([{"type": "pointer", "id": kind, "parameters": {"pointerType": kind},
                       "actions": actions}])

    def on(self, element):
        """A pointer's move onto the element's centre, in view."""
        self.js("arguments[0].scrollIntoView({block: 'nearest'})", element)
        return {"type": "pointerMove", "duration": 0, "x": 0, "y": 0, "origin": element}

    def click(self, element):
        self.pointer("mouse", [self.on(element), {"type": "pointerDown", "button": 0},
                               {"type": "pointerUp", "button": 0}])

    def hold(self, element, seconds):
        """The mouse's button held down on the element, then released."""
        self.pointer("mouse", [self.on(element), {"type": "pointerDown", "button": 0},
                               {"type": "pause", "duration": round(seconds * 1000)},
                               {"type": "pointerUp", "button": 0}])

    def tap(self, element):
        """A finger's tap on the element's centre."""
        self.pointer("touch", [self.on(element), {"type": "pointerDown", "button": 0},
                               {"type": "pointerUp", "button": 0}])

    def drag(self, x, y, finger=False):
        """A drag on the picture from its centre, by x, y CSS pixels, with the
        mouse or a finger; waits for the frames it asked for."""
        before = self.frames()
        self.pointer("touch" if finger else "mouse", [
            self.on(self.canvas), {"type": "pointerDown", "button": 0},
            {"type": "pointerMove", "duration": 100, "x": x, "y": y, "origin": "pointer"},
            {"type": "pointerUp", "button": 0}])
        self.wait(lambda: self.frames() > before, f"frame after a drag by {x}, {y}")
        self.settle()

    # The picture.

    def keep_frames(self):
        """From now on the page keeps each frame's drawing buffer for
        last_frame; the frame on show is drawn again for it."""
        self.js("bumpmapStats.keepFrame = true; bumpmapStats.lastFrame = null;"
                "Module._webSetLayout(shownLayout)")
        self.wait(lambda: self.js("return bumpmapStats.lastFrame !== null"), "frame kept")

    def last_frame(self, path):
        """The last frame's drawing buffer as drawn, whatever the page's scale."""
        address = self.js("return bumpmapStats.lastFrame")
        if not address:
            raise AssertionError("no frame kept since keep_frames")
        with open(path, "wb") as png:
            png.write(base64.b64decode(address.split(",", 1)[1]))
        return path

    def capture(self, path):
        """The picture as the page shows it: the canvas on the screen, or its
        drawing buffer where the engine's element screenshots are not right."""
        if not self.screenshots_canvas:
            return self.last_frame(path)
        # A reload keeps the scroll position; the canvas is at the top.
        self.js("window.scrollTo(0, 0)")
        return self.screenshot(path, self.canvas)



class Chromium(Browser):
    name = "chromium"
    emulates_phone = True
    packages = ("chromium", "chromium-driver")

    def start(self, phone):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common import utils

        class LoopbackService(Service):
            """chromedriver reached at 127.0.0.1: Selenium's own "localhost"
            does not resolve on a machine without /etc/hosts."""

            @property
            def service_url(self):
                return f"http://127.0.0.1:{self.port}"

            def is_connectable(self):
                return utils.is_connectable(self.port, "127.0.0.1")

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in CHROMIUM_FLAGS + (f"--window-size={WIDTH},{HEIGHT}",
                                          "--force-device-scale-factor=1",
                                          f"--user-data-dir={self.profile}"):
            options.add_argument(argument)
        if phone:
            options.add_experimental_option("mobileEmulation", {"deviceMetrics": PHONE})
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=LoopbackService("/usr/bin/chromedriver"),
                                       options=options)

    def version(self):
        return self.driver.capabilities.get("browserVersion")

    def navigate(self, url):
        self.driver.get(url)

    def refresh(self):
        self.mark_page()
        self.driver.refresh()
        self.loaded()

    def quit(self):
        self.driver.quit()

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def js_async(self, script, *arguments):
        return self.driver.execute_async_script(script, *arguments)

    def perform(self, sources):
        from selenium.webdriver.remote.command import Command
        self.driver.execute(Command.W3C_ACTIONS, {"actions": sources})
        self.driver.execute(Command.W3C_CLEAR_ACTIONS)

    def screenshot(self, path, element=None):
        if element is None:
            self.driver.save_screenshot(path)
        else:
            element.screenshot(path)
        return path

    def console(self):
        return [{"level": entry["level"], "source": entry.get("source"),
                 "message": entry["message"]} for entry in self.driver.get_log("browser")]

    # The keys that a German, Nordic or Swiss keyboard has for '+' and '-',
    # each typed alone: their positions, and their Windows key codes.
    OWN_KEYS = {"+": ("BracketRight", 187), "-": ("Slash", 189)}

    def type_unshifted(self, *characters):
        """chromedriver types '+' as a US keyboard does, with Shift, so the key
        goes in through DevTools, as the keyboard sends it (a trusted event)."""
        for character in characters:
            code, key_code = self.OWN_KEYS[character]
            for kind in ("rawKeyDown", "char", "keyUp"):
                event = {"type": kind, "key": character, "code": code,
                         "windowsVirtualKeyCode": key_code, "modifiers": 0}
                if kind == "char":
                    event["text"] = character
                self.driver.execute_cdp_cmd("Input.dispatchKeyEvent", event)


def mini_browser():
    found = sorted(glob.glob("/usr/lib/*/webkit2gtk-4.*/MiniBrowser")
                   + glob.glob("/usr/libexec/webkit2gtk-4.*/MiniBrowser"))
    return found[-1] if found else None


# Injected at the top of the page that WebKitGTK is given: its driver reads no
# console, so the page's console and its uncaught errors are kept here.
CONSOLE_CAPTURE = """<script>
  window.consoleCapture = [];
  ['log', 'info', 'warn', 'error', 'debug'].forEach(function (level) {
    var original = console[level];
    console[level] = function () {
      consoleCapture.push({ level: level, message: Array.prototype.map.call(arguments, String).join(' ') });
      return original.apply(console, arguments);
    };
  });
  // An error reaches the console unless a handler of the page's takes it.
  ['error', 'unhandledrejection'].forEach(function (type) {
    window.addEventListener(type, function (event) {
      setTimeout(function () {
        if (event.defaultPrevented) return;
        var thrown = type === 'error' ? event.error : event.reason;
        consoleCapture.push({ level: 'error', message: type + ': ' + String(event.message || thrown) +
                              (thrown && thrown.stack ? ' at ' + thrown.stack : '') });
      });
    });
  });
</script>
"""


class WebKitGTK(Chromium):
    name = "webkitgtk"
    emulates_phone = False
    screenshots_canvas = False
    packages = ("webkit2gtk-driver",)
    _served = None

    def served_dir(self):
        """A copy of the page whose index.html starts with the console capture."""
        if WebKitGTK._served is None:
            copy = tempfile.mkdtemp(prefix="bumpmap-webkitgtk-page-")
            atexit.register(shutil.rmtree, copy, True)
            shutil.copytree(self.page_dir, copy, dirs_exist_ok=True,
                            ignore=shutil.ignore_patterns("test"))
            page = os.path.join(copy, "index.html")
            with open(page, encoding="utf-8") as file:
                html = file.read()
            if "<head>" not in html:
                raise RuntimeError("index.html has no <head> for the console capture")
            with open(page, "w", encoding="utf-8") as file:
                file.write(html.replace("<head>", "<head>\n" + CONSOLE_CAPTURE, 1))
            WebKitGTK._served = copy
        return WebKitGTK._served

    def start(self, phone):
        from selenium import webdriver
        if phone:
            raise RuntimeError("WebKitGTK emulates no phone")
        port = free_port()
        environment = dict(os.environ, DISPLAY=x_display())
        self.service = subprocess.Popen([shutil.which("WebKitWebDriver"), f"--port={port}"],
                                        env=environment, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(("127.0.0.1", port), 1).close()
                break
            except OSError:
                if time.monotonic() > deadline or self.service.poll() is not None:
                    self.service.kill()
                    raise RuntimeError("WebKitWebDriver did not start") from None
                time.sleep(0.1)
        # Selenium 4.8's own WebKitGTK options ask for "platform" and warn about it.
        warnings.filterwarnings("ignore", "platform is not a w3c capability", DeprecationWarning)
        options = webdriver.WebKitGTKOptions()
        options.binary_location = mini_browser()
        options.add_argument("--automation")
        try:
            self.driver = webdriver.Remote(command_executor=f"http://127.0.0.1:{port}",
                                           options=options)
            self.driver.set_window_size(WIDTH, HEIGHT)
        except BaseException:
            self.service.kill()
            self.service.wait()
            raise

    def quit(self):
        try:
            self.driver.quit()
        finally:
            self.service.terminate()
            self.service.wait()

    def console(self):
        return self.js("return window.consoleCapture || []")

    def type_unshifted(self, *characters):
        Browser.type_unshifted(self, *characters)


class Firefox(Browser):
    name = "firefox"
    screenshots_canvas = False
    packages = ("firefox-esr", "python3-websocket")

    def start(self, phone):
        import bidi
        if phone:
            raise RuntimeError("Firefox emulates no phone here")
        self.firefox = bidi.Firefox(self.profile, x_display(), WIDTH, HEIGHT)
        self.firefox.set_viewport(WIDTH, HEIGHT)

    def version(self):
        return self.firefox.capabilities.get("browserVersion")

    def navigate(self, url):
        self.firefox.navigate(url)
        self.give_focus()

    def give_focus(self):
        """With no window manager the window never becomes active, and then
        the page has no focus to draw and :focus-visible never matches. A
        real click on the page's margin (an X event, not a WebDriver one)
        makes it active, as a user's first click does."""
        x, y = self.js("return [Math.round(mozInnerScreenX + 5), Math.round(mozInnerScreenY + 5)]")
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True,
                       env=dict(os.environ, DISPLAY=x_display()))
        self.wait(lambda: self.js("return document.hasFocus()"), "the window's focus", 10)

    def refresh(self):
        self.mark_page()
        self.firefox.reload()
        self.loaded()

    def quit(self):
        self.firefox.quit()

    def js(self, script, *arguments):
        return self.firefox.call(script, arguments)

    def js_async(self, script, *arguments):
        return self.firefox.call(script, arguments, wait=True)

    def perform(self, sources):
        self.firefox.perform(sources)

    def screenshot(self, path, element=None):
        return self.firefox.screenshot(path, element)

    def console(self):
        return [{"level": entry.get("level"), "source": entry.get("type"),
                 "message": entry.get("text")} for entry in self.firefox.logs]


ENGINES = {engine.name: engine for engine in (Chromium, Firefox, WebKitGTK)}


def first_frame_summary():
    times = [t for t in FIRST_FRAMES if t is not None]
    if not times:
        return "no first frame timed"
    return (f"first frame {statistics.median(times):.0f} ms after navigation (median of"
            f" {len(times)} loads, {min(times):.0f}–{max(times):.0f} ms)")
