"""Firefox driven through WebDriver BiDi, which it speaks itself: Debian has
no geckodriver. A thin client over python3-websocket for the few commands the
browser tests use: navigate and reload, run a script, input actions,
screenshots, and the console as log events.

Firefox runs as a window on the X display given (headless Firefox gets no
WebGL on a machine without a GPU), on a fresh profile, and listens on a free
port on 127.0.0.1, which it prints.
"""

import base64
import json
import os
import re
import subprocess
import threading

import websocket

FIREFOX = "/usr/bin/firefox-esr"

# What a fresh profile would otherwise do on its own: reach out to the network
# for updates, experiments and safe browsing, and open first-run pages.
# Firefox's remote agent sets most of this itself (remote.prefs.recommended).
PREFERENCES = {
    "app.normandy.enabled": False,
    "app.update.disabledForTesting": True,
    "browser.safebrowsing.downloads.remote.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "datareporting.policy.dataSubmissionEnabled": False,
    "extensions.update.enabled": False,
    "messaging-system.rsexperimentloader.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "services.settings.server": "http://127.0.0.1:9/",
    "toolkit.telemetry.reportingpolicy.firstRun": False,
}


class BiDiError(Exception):
    pass


class Node:
    """An element of the page, as BiDi names it."""

    def __init__(self, shared_id):
        self.shared_id = shared_id

    def __eq__(self, other):
        return isinstance(other, Node) and other.shared_id == self.shared_id

    def __hash__(self):
        return hash(self.shared_id)


def to_local(value):
    """A Python value as a BiDi script argument."""
    if isinstance(value, Node):
        return {"sharedId": value.shared_id}
    if value is None:
        return {"type": "null"}
    if isinstance(value, bool):
        return {"type": "boolean", "value": value}
    if isinstance(value, (int, float)):
        return {"type": "number", "value": value}
    if isinstance(value, str):
        return {"type": "string", "value": value}
    if isinstance(value, (list, tuple)):
        return {"type": "array", "value": [to_local(item) for item in value]}
    if isinstance(value, dict):
        return {"type": "object", "value": [[key, to_local(item)] for key, item in value.items()]}
    raise TypeError(f"cannot pass {value!r} to a script")


SPECIAL_NUMBERS = {"NaN": float("nan"), "-0": -0.0, "Infinity": float("inf"),
                   "-Infinity": float("-inf")}


def from_remote(value):
    """A script's BiDi result as a Python value, as WebDriver classic gives it."""
    kind = value["type"]
    if kind in ("undefined", "null"):
        return None
    if kind in ("string", "boolean"):
        return value["value"]
    if kind == "number":
        number = value["value"]
        return SPECIAL_NUMBERS.get(number, number) if isinstance(number, str) else number
    if kind in ("array", "set"):
        return [from_remote(item) for item in value.get("value", [])]
    if kind in ("object", "map"):
        return {key if isinstance(key, str) else from_remote(key): from_remote(item)
                for key, item in value.get("value", [])}
    if kind == "node":
        return Node(value["sharedId"])
    raise BiDiError(f"a script returned a {kind}, which the tests do not read")


class Firefox:
    """One Firefox, its one tab, and the console's messages since it started."""

    def __init__(self, profile, display, width, height):
        with open(os.path.join(profile, "user.js"), "w", encoding="utf-8") as prefs:
            for name, value in PREFERENCES.items():
                prefs.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")
        environment = dict(os.environ, DISPLAY=display, MOZ_CRASHREPORTER_DISABLE="1")
        self.process = subprocess.Popen(
            [FIREFOX, "--remote-debugging-port=0", "--profile", profile, "--no-remote",
             "--new-instance", f"--width={width}", f"--height={height}", "about:blank"],
            env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE, text=True, errors="replace")
        self.output = []
        self.address = None
        self.listening = threading.Event()
        self.reader = threading.Thread(target=self.read_output, daemon=True)
        self.reader.start()
        self.socket = None
        self.next_id = 0
        self.logs = []
        try:
            if not self.listening.wait(90) or self.address is None:
                raise BiDiError("Firefox did not open its WebDriver BiDi port within 90 s: "
                                + "".join(self.output[-20:]))
            self.socket = websocket.create_connection(f"{self.address}/session", timeout=120,
                                                      suppress_origin=True)
            self.capabilities = self.command("session.new", {"capabilities": {}})["capabilities"]
            self.command("session.subscribe", {"events": ["log.entryAdded"]})
            tree = self.command("browsingContext.getTree", {"maxDepth": 0})
            self.context = tree["contexts"][0]["context"]
        except BaseException:
            self.quit()
            raise

    def read_output(self):
        """Keeps Firefox's standard error from filling its pipe, and notes the
        address it listens on."""
        for line in self.process.stderr:
            self.output.append(line)
            found = re.search(r"WebDriver BiDi listening on (ws://\S+)", line)
            if found and self.address is None:
                self.address = found.group(1)
                self.listening.set()
        self.listening.set()

    def command(self, method, params):
        self.next_id += 1
        sent = self.next_id
        self.socket.send(json.dumps({"id": sent, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("type") == "event":
                if message["method"] == "log.entryAdded":
                    self.logs.append(message["params"])
                continue
            if message.get("id") != sent:
                continue
            if message.get("type") == "error":
                raise BiDiError(f"{method}: {message['error']}: {message.get('message', '')}")
            return message["result"]

    def navigate(self, url):
        self.command("browsingContext.navigate",
                     {"context": self.context, "url": url, "wait": "complete"})

    def reload(self):
        self.command("browsingContext.reload", {"context": self.context, "wait": "complete"})

    def set_viewport(self, width, height):
        self.command("browsingContext.setViewport",
                     {"context": self.context, "viewport": {"width": width, "height": height},
                      "devicePixelRatio": 1})

    def call(self, script, arguments, wait=False):
        """Runs script as a function's body with arguments, as WebDriver
        classic's Execute Script does; with wait, the function's last argument
        is a callback that gives the result, as Execute Async Script's."""
        if wait:
            body = ("function () { var args = Array.prototype.slice.call(arguments);"
                    " return new Promise(function (resolve) { args.push(resolve);"
                    f" (function () {{ {script}\n }}).apply(null, args); }}); }}")
        else:
            body = f"function () {{ {script}\n }}"
        result = self.command("script.callFunction", {
            "functionDeclaration": body, "arguments": [to_local(a) for a in arguments],
            "target": {"context": self.context}, "awaitPromise": wait,
            "resultOwnership": "none", "userActivation": True})
        if result["type"] == "exception":
            details = result["exceptionDetails"]
            raise BiDiError(f"script failed: {details.get('text')}")
        return from_remote(result["result"])

    def perform(self, sources):
        """W3C input actions, elements as origins given as Nodes."""
        def convert(action):
            origin = action.get("origin")
            if isinstance(origin, Node):
                action = dict(action, origin={"type": "element",
                                              "element": {"sharedId": origin.shared_id}})
            return action
        sources = [dict(source, actions=[convert(a) for a in source["actions"]])
                   for source in sources]
        self.command("input.performActions", {"context": self.context, "actions": sources})
        self.command("input.releaseActions", {"context": self.context})

    def screenshot(self, path, element=None):
        params = {"context": self.context}
        if element is not None:
            params["clip"] = {"type": "element", "element": {"sharedId": element.shared_id}}
        data = self.command("browsingContext.captureScreenshot", params)["data"]
        with open(path, "wb") as png:
            png.write(base64.b64decode(data))
        return path

    def quit(self):
        try:
            if self.socket is not None:
                try:
                    self.command("browser.close", {})
                except (BiDiError, OSError, websocket.WebSocketException):
                    pass
                self.socket.close()
        finally:
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.reader.join(10)
            self.process.stderr.close()
