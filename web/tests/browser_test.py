"""Browser tests of the web page, one description for every engine:
Chromium, Firefox and WebKitGTK (web/tests/engines.py).

Usage: browser_test.py [--engine NAME] PAGE_DIR NATIVE_DIR [TEST...]
           compare the page with the desktop program's frames in NATIVE_DIR
       browser_test.py [--engine NAME] --measure PAGE_DIR
           time the page's frames per view
NAME is chromium (the default), firefox or webkitgtk. Exits 77, saying why,
when that engine is not installed here.

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
import time
import unittest

from selenium.webdriver.common.keys import Keys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import engines  # noqa: E402 (after the path above: it uses web/serve.py)
from engines import CHROMIUM_FLAGS, KEYPAD_MINUS, KEYPAD_PLUS, PHONE, WebGLDidNotStart  # noqa: E402,F401

# RMSE against the desktop frame, as a fraction of full scale. Filled views
# differ only where a browser's rasteriser rounds an edge or a colour
# otherwise than Mesa's; wireframe views are single-pixel lines, where a line
# one pixel off counts twice.
FILLED_RMSE = 0.01
WIREFRAME_RMSE = 0.08

ENGINE = engines.Chromium
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


def check_against_desktop(label, picture, state, report, failures):
    """Compares a picture with the desktop's frame of a state, within the limit
    for its kind of picture: adds a line to report, and label to failures when
    it is over the limit."""
    difference = rmse(picture, os.path.join(NATIVE_DIR, f"{state}.png"))
    limit = WIREFRAME_RMSE if "wireframe" in state else FILLED_RMSE
    report.append(f"  {label:34} RMSE {difference * 100:6.3f} % (limit {limit * 100:g} %)")
    if difference > limit:
        failures.append(label)


def page_messages(entries):
    """The console's messages, less the one that headless Chromium writes itself:
    with --disable-gpu it composites in software, so it reads every WebGL frame
    back from SwiftShader and says so ("GPU stall due to ReadPixels"); the page
    reads no pixels."""
    return [entry["message"] for entry in entries
            if not (entry.get("source") == "rendering"
                    and "GL Driver Message" in entry["message"]
                    and "GPU stall due to ReadPixels" in entry["message"])]


def crop(path, x, y, out):
    """The 450 x 300 part of a picture at x, y."""
    subprocess.run(["convert", path, "-crop", f"450x300+{x}+{y}", "+repage", out], check=True)
    return out


def open_page(query="", phone=False, page_in_parts=False):
    """The page in a fresh browser of the engine under test. Under a heavy
    load headless Chromium now and then fails to create SwiftShader's WebGL
    context; the page then says so, and a second browser is tried. A page
    that never gets one still fails."""
    ENGINE.page_dir = PAGE_DIR
    for attempt in range(3):
        try:
            return ENGINE(query, phone, page_in_parts)
        except WebGLDidNotStart as error:
            print(f"\n  attempt {attempt + 1}: {error}", file=sys.stderr)
    raise AssertionError("WebGL did not start in three browsers")


# Records every trusted keydown that the page sees; read once the page's own
# handler has had it: the key, with or without Shift, from which key of the
# keyboard, and whether the page took it.
RECORD_KEYDOWNS = (
    "window.keydowns = [];"
    "window.addEventListener('keydown', function (e) { keydowns.push(e); }, true);")
READ_KEYDOWNS = (
    "return keydowns.filter(e => e.isTrusted && e.key !== 'Shift').map(e =>"
    " [e.key, e.shiftKey, e.code, e.defaultPrevented])")


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
                self.browser.screenshot(self.out("page.png"))
            check_against_desktop(name, page, name, report, failures)
        print("\npage against the desktop program:\n" + "\n".join(report), file=sys.stderr)
        self.assertEqual(failures, [], "states where the page differs from the desktop")
        self.assert_console_clean()

    def test_plus_and_minus_with_or_without_shift_and_on_the_keypad(self):
        """'+' and '-' move the light as on the desktop however the keyboard
        gives them: a key of its own without Shift (German, Nordic, Swiss
        layouts), Shift and '=' (US), or the keypad."""
        browser = self.browser
        browser.js(RECORD_KEYDOWNS)
        report, failures = [], []
        # From the first frame to the state "plus", then to "minus" and back.
        steps = dict(read_steps())
        up, down = len(steps["plus"]), len(steps["minus"])
        ways = [
            ("'+' without Shift", "plus", up, lambda n: browser.type_unshifted(*"+" * n), "+", False),
            ("'-' without Shift", "minus", down, lambda n: browser.type_unshifted(*"-" * n), "-", False),
            ("keypad '+'", "plus", down, lambda n: browser.keys(*[KEYPAD_PLUS] * n), "+", False),
            ("keypad '-'", "minus", down, lambda n: browser.keys(*[KEYPAD_MINUS] * n), "-", False),
            ("Shift and '+'", "plus", down, lambda n: browser.keys(*"+" * n, shift=True), "+", True),
        ]
        for label, state, count, type_keys, key, shift in ways:
            before = browser.frames()
            type_keys(count)
            browser.wait(lambda: browser.frames() > before, f"frame after {label}")
            browser.settle()
            seen = browser.js(READ_KEYDOWNS)
            browser.js("keydowns = []")
            # The keys went in as meant, and the page took each one.
            self.assertEqual(len(seen), count, f"{label}: keys seen")
            for seen_key, seen_shift, code, taken in seen:
                self.assertEqual((seen_key, seen_shift), (key, shift), f"{label}: typed as {code}")
                self.assertTrue(taken, f"{label}: the page left {code} to the browser")
            check_against_desktop(f"{label} x {count}", browser.capture(self.out(f"keys-{state}.png")),
                                  state, report, failures)
        print("\n" + "\n".join(report), file=sys.stderr)
        self.assertEqual(failures, [], "where '+' or '-' did not move the light as on the desktop")
        self.assert_console_clean()

    def test_wide_screen_has_the_key_table_beside_the_picture(self):
        canvas, table = self.browser.js(
            "return [canvas.getBoundingClientRect().toJSON(),"
            " document.querySelector('table').getBoundingClientRect().toJSON()]")
        self.assertEqual((canvas["width"], canvas["height"]), (450, 300))
        self.assertGreater(table["left"], canvas["right"], "the key table is not beside the picture")
        self.assertLess(table["top"], canvas["bottom"], "the key table is not beside the picture")

    def test_buttons_send_the_keys(self):
        start = self.browser.capture(self.out("buttons-start.png"))
        before = self.browser.frames()
        self.browser.click(self.browser.find('button[title="Space"]'))
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
        self.browser.keys("A", "q", "1", "=", Keys.HOME, Keys.END, Keys.INSERT, Keys.F2, Keys.TAB,
                          Keys.BACKSPACE, Keys.DELETE)
        time.sleep(1.0)
        self.assertEqual(self.browser.frames(), before, "an unbound key drew a frame")
        self.assertEqual(rmse(start, self.browser.capture(self.out("unbound-after.png"))), 0.0)
        self.assert_console_clean()

    def test_return_starts_and_stops_the_orbit(self):
        start = self.browser.capture(self.out("orbit-start.png"))
        before = self.browser.frames()
        self.browser.keys(Keys.RETURN)
        self.browser.wait(lambda: self.browser.frames() >= before + 10, "ten frames of orbit")
        self.browser.keys(Keys.RETURN)
        self.browser.settle()
        stopped = self.browser.frames()
        time.sleep(1.0)
        self.assertEqual(self.browser.frames(), stopped, "the orbit went on after Return")
        self.assertGreater(rmse(start, self.browser.capture(self.out("orbit-moved.png"))), 0.0,
                           "the light did not move")
        self.assert_console_clean()

    def test_escape_ends_the_demo_visibly(self):
        self.assertFalse(self.browser.shown("#ended"))
        self.browser.keys(Keys.RETURN)
        self.browser.keys(Keys.ESCAPE)
        self.browser.wait(lambda: self.browser.shown("#ended"), "line saying the demo ended")
        self.assertEqual(self.browser.js("return bumpmapStats.exitStatus"), 0)
        self.browser.settle()
        after = self.browser.frames()
        self.browser.keys(Keys.SPACE, "a", "+")
        time.sleep(1.0)
        self.assertEqual(self.browser.frames(), after, "the demo went on after Escape")
        self.assert_console_clean()
        # Start again: a fresh demo at its first frame.
        self.browser.mark_page()
        self.browser.click(self.browser.find("#restart"))
        self.browser.loaded()
        self.assertFalse(self.browser.shown("#ended"))
        page = self.browser.capture(self.out("restarted.png"))
        self.assertLessEqual(rmse(page, os.path.join(NATIVE_DIR, "start.png")), FILLED_RMSE)
        self.assert_console_clean()


# A drag's turn: one degree for every 2.5 of the picture's pixels, as the page has it.
PICTURE_PIXELS_PER_DEGREE = 2.5

# Records every key that a handler took from the browser (the page calls
# preventDefault on each key it hands the program).
RECORD_PREVENTED_KEYS = (
    "window.preventedKeys = []; var prevent = Event.prototype.preventDefault;"
    "Event.prototype.preventDefault = function () {"
    "  if (this.isTrusted && this.type === 'keydown') preventedKeys.push(this.key);"
    "  return prevent.call(this); };")


class HandsTest(unittest.TestCase):
    """The page without a mouse, by drag, by a held button, and offline."""

    def setUp(self):
        self.browser = open_page()
        self.addCleanup(self.browser.close)

    def out(self, name):
        return os.path.join(OUT_DIR, name)

    def assert_picture(self, state, name):
        report, failures = [], []
        check_against_desktop(name, self.browser.capture(self.out(f"{name}.png")), state,
                              report, failures)
        print("\n" + "\n".join(report), file=sys.stderr, end="")
        self.assertEqual(failures, [], f"{name}: not the desktop's {state}")

    def focused(self):
        return self.browser.js("var e = document.activeElement;"
                               "return e === canvas ? 'picture' : e.title || e.id || e.tagName")

    def keys(self, *keys, shift=False):
        self.browser.keys(*keys, shift=shift)

    def test_keyboard_only_session(self):
        browser = self.browser
        browser.js(RECORD_PREVENTED_KEYS)
        order = ["picture"] + browser.js(
            "return Array.from(document.querySelectorAll('.buttons button'), b => b.title)")
        reached = []
        for _ in order:
            self.keys(Keys.TAB)
            reached.append(self.focused())
            outline = browser.js("return getComputedStyle(document.activeElement).outlineStyle")
            self.assertNotEqual(outline, "none", f"no focus drawn on {reached[-1]}")
        self.assertEqual(reached, order, "Tab's order")
        back = []
        for _ in order[1:]:
            self.keys(Keys.TAB, shift=True)
            back.append(self.focused())
        self.assertEqual(back, order[-2::-1], "Shift+Tab's order")
        self.keys(Keys.HOME, Keys.END, Keys.BACKSPACE, Keys.F5, Keys.F11)
        self.assertEqual(browser.js("return preventedKeys"), [],
                         "the page took keys that the demo does not use")
        # On the focused "a" button, Space and Return press it, once each,
        # and the demo does not see them; its own keys still reach it.
        self.keys(Keys.TAB, Keys.TAB)
        self.assertEqual(self.focused(), "a")
        before = browser.frames()
        self.keys(Keys.SPACE)
        browser.wait(lambda: browser.frames() > before, "frame after Space on the a button")
        browser.settle()
        self.assert_picture("bumped-wireframe", "keyboard-space-on-a")
        before = browser.frames()
        self.keys(Keys.RETURN)
        browser.wait(lambda: browser.frames() > before, "frame after Return on the a button")
        browser.settle()
        self.assert_picture("start", "keyboard-return-on-a")
        self.assertEqual(browser.js("return preventedKeys"), [], "the demo took Space or Return")
        browser.press("a")
        self.assertEqual(self.focused(), "a")
        self.assert_picture("bumped-wireframe", "keyboard-a-key-on-a")
        # Back on the picture, Space is the demo's again.
        self.keys(Keys.TAB, Keys.TAB, shift=True)
        self.assertEqual(self.focused(), "picture")
        browser.press("space")
        self.assert_picture("displaced-wireframe", "keyboard-space-on-picture")
        self.assertEqual(browser.js("return preventedKeys"), ["a", " "])
        self.assertEqual(page_messages(browser.console()), [])

    def test_drag_turns_as_the_arrow_keys(self):
        browser = self.browser
        browser.press(*keys_up_to("minus"))
        # Each state of tests/steps.txt reached by arrow keys alone, by a drag
        # of as many degrees and 0.4 of one more, which the page must drop.
        directions = {"Left": (-1, 0), "Right": (1, 0), "Up": (0, -1), "Down": (0, 1)}
        for state, keys in read_steps():
            if state not in ("left", "right", "up", "down"):
                continue
            x, y = directions[keys[0]]
            pixels = round((len(keys) + 0.4) * PICTURE_PIXELS_PER_DEGREE)
            browser.drag(x * pixels, y * pixels)
            self.assert_picture(state, f"drag-{state}")
        self.assertEqual(browser.js("return window.scrollY"), 0)
        self.assertEqual(page_messages(browser.console()), [])

    def test_held_button_repeats_and_stops_on_release(self):
        browser = self.browser
        browser.hold(browser.find('button[title="Right"]'), 1.5)
        browser.settle()
        sent, frames = browser.js("return [bumpmapStats.keysSent, bumpmapStats.frames]")
        self.assertGreater(sent, 2, "the held button did not repeat")
        time.sleep(1.0)
        self.assertEqual(browser.js("return [bumpmapStats.keysSent, bumpmapStats.frames]"),
                         [sent, frames], "the button went on after release")
        # Each repeat was one degree: as many Left keys undo them exactly.
        browser.press(*["Left"] * sent)
        self.assert_picture("start", "held-right-undone")
        # A toggle held acts once.
        browser.hold(browser.find('button[title="a"]'), 1.0)
        browser.settle()
        self.assertEqual(browser.js("return bumpmapStats.keysSent"), sent + 1)
        self.assertEqual(page_messages(browser.console()), [])

    def test_second_load_draws_without_the_server(self):
        browser = self.browser
        browser.wait(lambda: browser.js("return navigator.serviceWorker.controller !== null"),
                     "the service worker")
        browser.stop_server()
        browser.refresh()
        self.assert_picture("start", "offline")


def keys_up_to(last):
    """Every key from the first state to the state named last, in order."""
    keys = []
    for name, step_keys in read_steps():
        keys += step_keys
        if name == last:
            return keys
    raise AssertionError(f"no state {last} in tests/steps.txt")


class SlowNetworkTest(unittest.TestCase):
    """The page as a slow network brings it: shown part by part as it comes."""

    def test_nothing_shown_moves_while_the_page_arrives(self):
        for query in ("", "?compare"):
            browser = open_page(query, page_in_parts=True)
            try:
                if not browser.js("return PerformanceObserver.supportedEntryTypes"
                                  ".includes('layout-shift')"):
                    self.skipTest(f"{ENGINE.name} does not report layout shifts")
                # Every shift since navigation, and what moved.
                shifts = browser.js_async(
                    "var done = arguments[0], shifts = [];"
                    "new PerformanceObserver(function (list) {"
                    "  for (var entry of list.getEntries()) shifts.push([entry.value,"
                    "    entry.sources.map(s => s.node ? s.node.nodeName + '#' + s.node.id"
                    "                                  : '?')]);"
                    "}).observe({type: 'layout-shift', buffered: true});"
                    "setTimeout(function () { done(shifts); }, 200);")
                with self.subTest(query or "one patch"):
                    self.assertEqual(shifts, [], "what the page showed moved as the rest came")
            finally:
                browser.close()


class SideBySideTest(unittest.TestCase):
    """The side-by-side view on a wide screen: both halves from one view state."""

    def setUp(self):
        self.browser = open_page("?compare")
        self.addCleanup(self.browser.close)
        self.browser.keep_frames()

    def out(self, name):
        return os.path.join(OUT_DIR, name)

    def halves(self, name):
        """The last frame (900 x 300) as its left and right halves."""
        frame = self.browser.last_frame(self.out(f"{name}.png"))
        return (crop(frame, 0, 0, self.out(f"{name}-left.png")),
                crop(frame, 450, 0, self.out(f"{name}-right.png")))

    def labels(self):
        return self.browser.js("return [document.getElementById('first-label').textContent,"
                               " document.getElementById('second-label').textContent]")

    def test_each_half_matches_the_desktop_and_space_swaps_them(self):
        self.assertEqual(self.browser.js("return [canvas.width, canvas.height]"), [900, 300])
        self.browser.press(*keys_up_to("pair-bumped"))
        self.browser.screenshot(self.out("side-by-side.png"), self.browser.find(".demo"))
        report, failures = [], []

        def check(name, half, desktop):
            check_against_desktop(name, half, desktop, report, failures)

        left, right = self.halves("pair")
        check("left, bumped", left, "pair-bumped")
        check("right, displaced", right, "pair-displaced")
        self.assertEqual(self.labels(), ["bumped (flat)", "displaced"])
        self.browser.press("space")
        left, right = self.halves("pair-swapped")
        check("Space: left, displaced", left, "pair-displaced")
        check("Space: right, bumped", right, "pair-bumped")
        self.assertEqual(self.labels(), ["displaced", "bumped (flat)"])
        self.browser.press("a")
        left, right = self.halves("pair-wireframe")
        check("a: left, displaced, wireframe", left, "pair-displaced-wireframe")
        check("a: right, bumped, wireframe", right, "pair-bumped-wireframe")
        print("\nside by side against the desktop program:\n" + "\n".join(report),
              file=sys.stderr)
        self.assertEqual(failures, [], "halves that differ from the desktop")
        self.assertEqual(page_messages(self.browser.console()), [])

    def test_a_drag_turns_both_halves(self):
        # pair-bumped's state, with its Up and Left steps made by one drag.
        keys = keys_up_to("pair-bumped")
        own = dict(read_steps())["pair-bumped"]
        up, left = own.count("Up"), own.count("Left")
        self.browser.press(*keys[:len(keys) - len(own)],
                           *[key for key in own if key not in ("Up", "Left")])
        self.browser.drag(-round((left + 0.4) * PICTURE_PIXELS_PER_DEGREE),
                          -round((up + 0.4) * PICTURE_PIXELS_PER_DEGREE))
        report, failures = [], []
        left_half, right_half = self.halves("pair-dragged")
        check_against_desktop("drag: left, bumped", left_half, "pair-bumped", report, failures)
        check_against_desktop("drag: right, displaced", right_half, "pair-displaced", report,
                              failures)
        print("\n" + "\n".join(report), file=sys.stderr)
        self.assertEqual(failures, [], "halves that differ from the desktop after a drag")
        self.assertEqual(page_messages(self.browser.console()), [])

    def test_the_orbit_moves_both_halves_together(self):
        before = self.browser.frames()
        self.browser.keys(Keys.RETURN)
        self.browser.wait(lambda: self.browser.frames() >= before + 10, "ten frames of orbit")
        self.browser.keys(Keys.RETURN)
        self.browser.settle()
        left, right = self.halves("orbit")
        # Both halves left the first frame's light ...
        self.assertGreater(rmse(left, os.path.join(NATIVE_DIR, "start.png")), FILLED_RMSE)
        self.assertGreater(rmse(right, os.path.join(NATIVE_DIR, "displaced.png")), FILLED_RMSE)
        # ... for the same place on the circle: each is the single view of
        # its patch at the state where the orbit stopped.
        before = self.browser.frames()
        self.browser.click(self.browser.find("#compare"))
        self.browser.wait(lambda: self.browser.frames() > before, "frame of the single view")
        self.browser.settle()
        self.assertEqual(self.browser.js("return [canvas.width, canvas.height]"), [450, 300])
        self.assertNotIn("compare", self.browser.js("return location.search"))
        bumped = self.browser.last_frame(self.out("orbit-single-bumped.png"))
        self.assertLessEqual(rmse(left, bumped), FILLED_RMSE / 10)
        self.browser.press("space")
        displaced = self.browser.last_frame(self.out("orbit-single-displaced.png"))
        self.assertLessEqual(rmse(right, displaced), FILLED_RMSE / 10)
        self.assertEqual(page_messages(self.browser.console()), [])


class PhoneTest(unittest.TestCase):
    """The page on a 360 x 740 touch screen, in Chromium: the only engine here
    that emulates a phone."""

    def setUp(self):
        if not ENGINE.emulates_phone:
            self.skipTest(f"{ENGINE.name} emulates no phone")
        self.browser = open_page(phone=True)
        self.addCleanup(self.browser.close)

    def assert_fits(self, view, whole_height):
        """Nothing scrolls sideways, and every button is whole on the screen
        (across; and down too when whole_height) and a fingertip's size."""
        page = self.browser.js(
            "var e = document.documentElement;"
            "return {scroll: e.scrollWidth, width: window.innerWidth, height: window.innerHeight,"
            " canvas: canvas.getBoundingClientRect().width}")
        print(f"\n  {view}: page {page['scroll']} px wide in {page['width']} px,"
              f" canvas shown {page['canvas']:.0f} px wide", file=sys.stderr)
        # A page wider than the screen also widens the window it is laid out
        # in (the phone zooms out), so both are held to the screen's width.
        self.assertLessEqual(max(page["scroll"], page["width"]), PHONE["width"],
                             f"{view}: the page scrolls sideways")
        self.browser.js("window.scrollTo(0, 0)")
        for name, *box in self.browser.js(
                "return Array.from(document.querySelectorAll('.buttons button'), b => {"
                "  var r = b.getBoundingClientRect(); return [b.title, r.left, r.top, r.right, r.bottom]; })"):
            self.assertGreaterEqual(box[0], 0, f"{view}: {name} off the left edge")
            self.assertLessEqual(box[2], PHONE["width"], f"{view}: {name} off the right edge")
            if whole_height:
                self.assertGreaterEqual(box[1], 0, f"{view}: {name} above the screen")
                self.assertLessEqual(box[3], page["height"], f"{view}: {name} below the screen")
            self.assertGreaterEqual(box[2] - box[0], 44, f"{view}: {name} too narrow for a finger")
            self.assertGreaterEqual(box[3] - box[1], 44, f"{view}: {name} too low for a finger")

    def test_fits_and_every_button_answers_a_tap(self):
        self.assert_fits("one patch", whole_height=True)
        self.browser.screenshot(os.path.join(OUT_DIR, "phone.png"))
        # Both patches, one above the other, each the desktop's picture.
        self.browser.keep_frames()
        compare = self.browser.find("#compare")
        self.browser.tap(compare)
        self.browser.wait(lambda: self.browser.js("return canvas.height") == 600,
                          "both patches one above the other")
        self.browser.settle()
        self.assert_fits("both patches", whole_height=False)
        frame = self.browser.last_frame(os.path.join(OUT_DIR, "phone-both.png"))
        for name, y, desktop in (("top", 0, "start"), ("bottom", 300, "displaced")):
            half = crop(frame, 0, y, os.path.join(OUT_DIR, f"phone-both-{name}.png"))
            difference = rmse(half, os.path.join(NATIVE_DIR, f"{desktop}.png"))
            print(f"  {name} half against the desktop's {desktop}: RMSE {difference * 100:.3f} %",
                  file=sys.stderr)
            self.assertLessEqual(difference, FILLED_RMSE, f"the {name} half")
        self.browser.tap(compare)
        self.browser.wait(lambda: self.browser.js("return canvas.height") == 300, "one patch")
        self.browser.settle()
        # A finger's drag on the picture turns it as the arrows do, by the
        # picture's own pixels, and neither scrolls the page nor logs.
        self.browser.js("window.scrollTo(0, 0)")
        self.browser.press(*keys_up_to("minus"))
        # Up and to the right, 3.4 degrees each way: the state "up" (Right x 3,
        # Up x 3 from "minus"). A finger moving up would scroll the page down.
        shown = self.browser.js("return canvas.getBoundingClientRect().width")
        pixels = round(3.4 * PICTURE_PIXELS_PER_DEGREE * shown / 450)
        self.browser.drag(pixels, -pixels, finger=True)
        self.assertEqual(self.browser.js("return window.scrollY"), 0, "the drag scrolled the page")
        dragged = self.browser.last_frame(os.path.join(OUT_DIR, "phone-drag.png"))
        self.assertLessEqual(rmse(dragged, os.path.join(NATIVE_DIR, "up.png")), FILLED_RMSE,
                             "a finger's drag is not the desktop's arrow keys")
        for button in self.browser.find_all(".buttons button[data-key]"):
            name = self.browser.js("return arguments[0].title", button)
            if name == "Escape":
                continue
            before = self.browser.frames()
            self.browser.tap(button)
            self.browser.wait(lambda: self.browser.frames() > before, f"frame after tapping {name}")
            if name == "Return":
                self.browser.tap(button)
            self.browser.settle()
        self.browser.tap(self.browser.find('button[title="Escape"]'))
        self.browser.wait(lambda: self.browser.shown("#ended"), "line saying the demo ended")
        self.assertEqual(page_messages(self.browser.console()), [])


VIEWS = [("bumped, filled", []), ("displaced, filled", ["space"]),
         ("displaced, wireframe", ["a"]), ("bumped, wireframe", ["space"])]


def measure_views(query):
    """Per view, with the light circling: the page's work per frame (median,
    10th and 90th percentiles, in ms) and the frames per second."""
    browser = open_page(query)
    try:
        results = []
        for _, keys in VIEWS:
            if keys:
                browser.press(*keys)
            browser.keys(Keys.RETURN)
            time.sleep(1.0)  # warm-up
            browser.js("bumpmapStats.work = []; bumpmapStats.times = [];")
            time.sleep(5.0)
            work, times = browser.js("return [bumpmapStats.work, bumpmapStats.times]")
            browser.keys(Keys.RETURN)
            browser.settle()
            deciles = statistics.quantiles(work, n=10)
            fps = (len(times) - 1) / ((times[-1] - times[0]) / 1000)
            results.append((statistics.median(work), deciles[0], deciles[-1], fps))
        messages = page_messages(browser.console())
        if messages:
            print("console:", *messages, sep="\n  ")
        return results
    finally:
        browser.close()


def measure():
    """The page's own work per frame and the frames per second, per view, for
    one patch and for both side by side (the view naming the first half);
    printed as a Markdown table."""
    single = measure_views("?measure")
    both = measure_views("?measure&compare")
    print("| view | one patch: page work ms, median (p10–p90) | frames/s "
          "| side by side: page work ms, median (p10–p90) | frames/s | work ÷ one patch's |")
    print("|---|---|---|---|---|---|")
    for (view, _), one, two in zip(VIEWS, single, both):
        print(f"| {view} | {one[0]:.2f} ({one[1]:.2f}–{one[2]:.2f}) | {one[3]:.1f} "
              f"| {two[0]:.2f} ({two[1]:.2f}–{two[2]:.2f}) | {two[3]:.1f} | {two[0] / one[0]:.2f} |")


def unavailable(engine):
    """Why the engine cannot run here, or None."""
    needed = {"chromium": ["chromium", "chromedriver"],
              "firefox": ["firefox-esr", "xdotool"],
              "webkitgtk": ["WebKitWebDriver"]}[engine.name]
    missing = [name for name in needed if not shutil.which(name)]
    if engine.name == "webkitgtk" and not engines.mini_browser():
        missing.append("MiniBrowser")
    if engine.name == "firefox":
        try:
            import websocket  # noqa: F401 (only whether it is there)
        except ImportError:
            missing.append("python3-websocket")
    return f"{engine.name} needs {', '.join(missing)}, which are not installed" if missing else None


def main():
    global ENGINE, PAGE_DIR, NATIVE_DIR, OUT_DIR
    arguments = sys.argv[1:]
    if arguments[:1] == ["--engine"] and len(arguments) > 1:
        if arguments[1] not in engines.ENGINES:
            sys.exit(__doc__)
        ENGINE = engines.ENGINES[arguments[1]]
        arguments = arguments[2:]
    # Chromium runs headless, and a DISPLAY, above all one whose X server has
    # gone, only costs the page its WebGL context; the others use the one
    # bumpmap-drive started for them.
    engines.X_DISPLAY = os.environ.pop("DISPLAY", None)
    reason = unavailable(ENGINE)
    if reason:
        print(f"browser_test: SKIPPED: {reason}", file=sys.stderr)
        sys.exit(77)
    if len(arguments) == 2 and arguments[0] == "--measure":
        PAGE_DIR = arguments[1]
        measure()
        return
    if len(arguments) < 2:
        sys.exit(__doc__)
    PAGE_DIR, NATIVE_DIR = arguments[:2]
    OUT_DIR = os.path.join(PAGE_DIR, "test", ENGINE.name)
    os.makedirs(OUT_DIR, exist_ok=True)
    print(f"browser_test: {ENGINE.name}", file=sys.stderr)
    result = unittest.main(argv=[sys.argv[0], "-v", *arguments[2:]], exit=False).result
    print(f"browser_test: {ENGINE.name}: {engines.first_frame_summary()}", file=sys.stderr)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
