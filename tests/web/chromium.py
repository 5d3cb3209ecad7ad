"""Headless Chromium driven over the DevTools protocol, for the page's tests:
a private browser, one page, its console and uncaught exceptions, keys,
drops and screenshots."""
import base64
import functools
import http.server
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import urllib.request
import zlib

import websocket

# The desktop's end-to-end harness: its pictures and its polling.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xharness import Image, stop, wait_until  # noqa: E402


def decode_png(data):
    """An 8-bit RGB or RGBA PNG, not interlaced, as an Image (alpha dropped):
    what Chromium's screenshots and the viewer's --output write."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        length, tag = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if tag == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG form"
        elif tag == b"IDAT":
            idat += body
        at += 12 + length
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else upper_left)) & 255
        rows.append(row)
        previous = row
    pixels = b"".join(rows)
    if channels == 4:
        rgb = bytearray(width * height * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = pixels[0::4], pixels[1::4], pixels[2::4]
        pixels = rgb
    return Image(width, height, pixels)


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    cors = False

    def log_message(self, *args):
        pass

    def end_headers(self):
        if self.cors:
            self.send_header("Access-Control-Allow-Origin", "*")
        super().end_headers()


class Server:
    """Serves a folder on 127.0.0.1 from a thread, optionally to any origin."""

    def __init__(self, folder, cors=False):
        handler = functools.partial(type("Handler", (_QuietHandler,), {"cors": cors}), directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_port}/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def _read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


class Chromium:
    """A headless Chromium of its own (fresh profile, no network services)
    with one page, driven over the DevTools protocol."""

    def __init__(self, width=512, height=512):
        self.profile = tempfile.mkdtemp(prefix="plexorama-chromium-")
        self.process = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--use-angle=swiftshader",
             "--enable-unsafe-swiftshader", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic",
             "--disable-default-apps", "--mute-audio", "--remote-debugging-port=0",
             f"--user-data-dir={self.profile}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        wait_until(lambda: os.path.exists(port_file) and _read(port_file).count("\n") >= 1,
                   what="Chromium's DevTools port")
        port = _read(port_file).split("\n")[0]
        targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
        page = next(t for t in targets if t["type"] == "page")
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], suppress_origin=True,
                                                  timeout=60)
        self.next_id = 0
        self.console = []
        self.exceptions = []
        self.requests = []
        self.call("Page.enable")
        self.call("Runtime.enable")
        self.size(width, height)

    def close(self):
        try:
            self.socket.close()
        finally:
            stop(self.process, 10)
            shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _event(self, message):
        if message.get("method") == "Runtime.exceptionThrown":
            details = message["params"]["exceptionDetails"]
            self.exceptions.append(details.get("exception", {}).get("description", details["text"]))
        if message.get("method") == "Network.requestWillBeSent":
            self.requests.append(message["params"]["request"]["url"])
        if message.get("method") == "Runtime.consoleAPICalled":
            args = message["params"]["args"]
            self.console.append(" ".join(str(a.get("value", a.get("description", ""))) for a in args))

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self._event(message)

    def pump(self):
        """Takes the events that have arrived, console lines among them."""
        self.socket.settimeout(0.01)
        try:
            while True:
                self._event(json.loads(self.socket.recv()))
        except websocket.WebSocketTimeoutException:
            pass
        finally:
            self.socket.settimeout(60)

    def size(self, width, height):
        self.width, self.height = width, height
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                  deviceScaleFactor=1, mobile=False)

    def evaluate(self, expression):
        """The value of a script expression; promises are awaited."""
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def open(self, url):
        """Opens url and waits until the page has shown what it names."""
        self.call("Page.navigate", url=url)
        wait_until(lambda: self.evaluate("document.documentElement?.dataset.ready === 'true'"),
                   what=f"{url} to be ready")

    def frames(self, count=2):
        """Waits until the page has drawn count more frames."""
        self.evaluate("new Promise(done => { let n = %d; const step = () => --n ? "
                      "requestAnimationFrame(step) : done(); requestAnimationFrame(step); })" % count)

    # Keys that are neither letters nor digits: their code and key code.
    OTHER_KEYS = {"=": ("Equal", 187), "-": ("Minus", 189), "[": ("BracketLeft", 219), "]": ("BracketRight", 221),
                  "Tab": ("Tab", 9)}

    def key(self, name, kind):
        """Presses ("keyDown") or releases ("keyUp") the key of a letter, a
        digit, one of = - [ ] or Tab."""
        if name in self.OTHER_KEYS:
            code, number = self.OTHER_KEYS[name]
        else:
            code, number = f"Key{name.upper()}" if name.isalpha() else f"Digit{name}", ord(name.upper())
        self.call("Input.dispatchKeyEvent", type=kind, key=name, code=code, windowsVirtualKeyCode=number,
                  nativeVirtualKeyCode=number)

    def screenshot(self):
        """The whole viewport, as the page shows it now."""
        data = self.call("Page.captureScreenshot", format="png")["data"]
        return decode_png(base64.b64decode(data))
