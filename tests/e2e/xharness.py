"""Drives the viewer under X as a person would: start it, look at its window,
type, scroll, drop files on it and close it the way a window manager does.

Expects $DISPLAY to name a private server (tests/with-xvfb) with no window
manager, so top-level windows sit where they ask to be.
"""
import collections
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from Xlib import X, display, error
from Xlib.ext import damage
from Xlib.protocol import event

TITLE = "plexorama: surface plotter"
WHITE = (255, 255, 255)
HERE = os.path.dirname(os.path.abspath(__file__))

_conn = None


def _x():
    global _conn
    if _conn is None:
        _conn = display.Display()
        _conn.damage_query_version()  # the server refuses DAMAGE requests before this
    return _conn


def _window(wid):
    return _x().create_resource_object("window", wid)


def klein_header(dim, vertex_count):
    """The 15 bytes that open a KLEIN surface file; the arrays follow."""
    return b"KLEIN\0" + bytes([dim]) + vertex_count.to_bytes(8, "little")


def wait_until(check, timeout=10, interval=0.05, what="condition"):
    """Polls check() until it returns something truthy and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


def _xdotool(*args):
    # Without --window, xdotool goes through XTEST, so clients see real input.
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=10,
                   stdout=subprocess.DEVNULL)


def move_pointer(x, y):
    # Not xdotool's --sync: that waits forever if the pointer is already there.
    _xdotool("mousemove", x, y)
    root = _x().screen().root

    def arrived():
        pointer = root.query_pointer()
        return (pointer.root_x, pointer.root_y) == (x, y)
    wait_until(arrived, timeout=5, interval=0.005, what=f"the pointer to reach {x},{y}")


# --- Windows ---------------------------------------------------------------

WindowInfo = collections.namedtuple("WindowInfo", "title x y width height viewable")


def drag_pointer(x0, y0, x1, y1, steps=8):
    """Drags with the left button held from one screen position to another."""
    move_pointer(x0, y0)
    _xdotool("mousedown", 1)
    try:
        for i in range(1, steps + 1):
            move_pointer(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.03)
    finally:
        _xdotool("mouseup", 1)


def window_info(wid):
    """Title, absolute position, size and map state as xwininfo reports them."""
    out = subprocess.run(["xwininfo", "-id", str(wid)], check=True, timeout=10,
                         capture_output=True, text=True).stdout
    head, _, rest = out.strip().partition("\n")
    fields = dict(line.strip().split(": ", 1) for line in rest.splitlines() if ": " in line)
    title = head.split(" ", 4)[4]  # xwininfo: Window id: 0x... "title"
    return WindowInfo(title[1:-1] if title.startswith('"') else None,
                      int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                      int(fields["Width"]), int(fields["Height"]),
                      fields["Map State"] == "IsViewable")


def find_window(title, timeout=10, alive=lambda: True):
    """Id of the viewable top-level window with exactly this title.
    alive() lets the caller give up early, e.g. when its process has died."""
    net_wm_name = _x().intern_atom("_NET_WM_NAME")
    utf8 = _x().intern_atom("UTF8_STRING")

    def search():
        if not alive():
            raise RuntimeError(f"no window {title!r}: its process has ended")
        for win in _x().screen().root.query_tree().children:
            try:
                prop = win.get_full_property(net_wm_name, utf8)
                name = prop.value.decode() if prop else win.get_wm_name()
                if name == title and win.get_attributes().map_state == X.IsViewable:
                    return win.id
            except error.XError:  # the window went away while we looked
                pass
    return wait_until(search, timeout, what=f"window {title!r}")


def wait_frames(wid, count=1, timeout=10):
    """Waits until the window has been drawn count more times.
    Each buffer swap reaches the X server as one damage report."""
    conn = _x()
    dmg = _window(wid).damage_create(damage.DamageReportRawRectangles)
    conn.sync()
    seen = 0

    def drawn():
        nonlocal seen
        while conn.pending_events():
            ev = conn.next_event()
            # The high bit of level marks a report that more rectangles follow.
            if getattr(ev, "damage", None) == dmg and not ev.level & 0x80:
                seen += 1
        return seen >= count
    try:
        wait_until(drawn, timeout, interval=0.005, what=f"{count} frame(s)")
    finally:
        conn.damage_destroy(dmg)
        conn.sync()


def close_window(wid):
    """Asks the window to close with WM_DELETE_WINDOW, as a window manager does."""
    conn = _x()
    msg = event.ClientMessage(window=wid, client_type=conn.intern_atom("WM_PROTOCOLS"),
                              data=(32, [conn.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    _window(wid).send_event(msg, event_mask=X.NoEventMask)
    conn.flush()


# --- Screenshots -------------------------------------------------------------

class Image:
    """An RGB picture; image[x, y] is an (r, g, b) tuple."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, bytes(rgb)

    def __getitem__(self, xy):
        i = 3 * (xy[1] * self.width + xy[0])
        return tuple(self.rgb[i:i + 3])

    def is_white(self):
        return self.rgb == bytes(WHITE) * (self.width * self.height)

    def non_white(self):
        """How many pixels are not white."""
        rgb = self.rgb
        return sum(1 for i in range(0, len(rgb), 3) if rgb[i:i + 3] != b"\xff\xff\xff")

    def non_white_box(self):
        """(left, top, right, bottom) of the non-white pixels, inclusive; None if all white."""
        white = bytes(WHITE) * self.width
        stride = 3 * self.width
        rows = [y for y in range(self.height) if self.rgb[y * stride:(y + 1) * stride] != white]
        if not rows:
            return None
        cols = [x for x in range(self.width) if any(self[x, y] != WHITE for y in rows)]
        return cols[0], rows[0], cols[-1], rows[-1]

    def save_png(self, path):
        def chunk(tag, data):
            return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
        stride = 3 * self.width
        raw = b"".join(b"\0" + self.rgb[y * stride:(y + 1) * stride] for y in range(self.height))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n"
                    + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
        return path


def screenshot(wid):
    """What the window shows now; it must be viewable and on screen."""
    geom = _window(wid).get_geometry()
    reply = _window(wid).get_image(0, 0, geom.width, geom.height, X.ZPixmap, 0xFFFFFFFF)
    # 24-bit TrueColor arrives as B, G, R, pad on a little-endian server.
    assert reply.depth == 24 and _x().display.info.image_byte_order == X.LSBFirst
    rgb = bytearray(geom.width * geom.height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = reply.data[2::4], reply.data[1::4], reply.data[0::4]
    return Image(geom.width, geom.height, rgb)


def wait_image(wid, check, timeout=10, what="the expected picture"):
    """Polls screenshots until check(image) holds and returns that image."""
    def matches():
        image = screenshot(wid)
        return image if check(image) else None
    return wait_until(matches, timeout, what=what)


def wait_stable(wid, polls=3, timeout=10):
    """Waits until `polls` screenshots in a row are identical and returns the last."""
    shots = []

    def stable():
        shots[:] = shots[-(polls - 1):] + [screenshot(wid)]
        return len(shots) == polls and all(s.rgb == shots[0].rgb for s in shots) and shots[-1]
    return wait_until(stable, timeout, what="the picture to settle")


# --- Input -------------------------------------------------------------------

def focus(wid):
    # With no window manager nobody else hands out the focus.
    _xdotool("windowfocus", "--sync", wid)


def key(wid, *names):
    """Presses and releases each key in turn, e.g. key(wid, "Up", "ctrl+q")."""
    focus(wid)
    _xdotool("key", "--delay", 30, *names)


def hold_key(wid, name, seconds):
    focus(wid)
    _xdotool("keydown", name)
    try:
        time.sleep(seconds)
    finally:
        _xdotool("keyup", name)


def scroll(wid, clicks, x=None, y=None):
    """Turns the wheel over the window: positive clicks scroll up, negative down."""
    info = window_info(wid)
    x = info.width // 2 if x is None else x
    y = info.height // 2 if y is None else y
    move_pointer(info.x + x, info.y + y)
    _xdotool("click", "--repeat", abs(clicks), "--delay", 30, 4 if clicks > 0 else 5)


# --- Processes ---------------------------------------------------------------

class Process:
    """A child whose output goes to files, so it never blocks on a full pipe.
    Use as a context manager: on the way out it is ended if still running, and
    if the block failed its output (and a screenshot) are kept and reported."""

    def __init__(self, argv, title=None, env=None):
        self.argv, self.title, self.wid, self._final = [str(a) for a in argv], title, None, None
        # env adds to the inherited environment; a value of None removes the variable.
        self.env = {k: v for k, v in {**os.environ, **(env or {})}.items() if v is not None}
        self.dir = tempfile.mkdtemp(prefix="plexorama-e2e-")

    def __enter__(self):
        with open(self._path("stdout"), "wb") as out, open(self._path("stderr"), "wb") as err:
            self.proc = subprocess.Popen(self.argv, stdin=subprocess.DEVNULL, stdout=out,
                                         stderr=err, env=self.env)
        try:
            if self.title:
                self.wid = find_window(self.title, alive=lambda: self.proc.poll() is None)
                self.ready()
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def ready(self):
        pass

    def __exit__(self, exc_type, exc, tb):
        if exc_type is not None:
            self._report()
        if self.proc.poll() is None:
            stop(self.proc)
        if exc_type is None:
            self._final = self.stdout, self.stderr  # the files go with the directory
            shutil.rmtree(self.dir, ignore_errors=True)

    def _path(self, name):
        return os.path.join(self.dir, name)

    def _report(self):
        lines = [f"--- {' '.join(self.argv)} (exit code {self.proc.poll()})",
                 f"stdout:\n{self.stdout}", f"stderr:\n{self.stderr}"]
        if self.wid is not None and self.proc.poll() is None:
            try:
                lines.append(f"screenshot: {screenshot(self.wid).save_png(self._path('screenshot.png'))}")
            except error.XError as e:
                lines.append(f"no screenshot: {e}")
        lines.append(f"kept in {self.dir}")
        print("\n".join(lines), file=sys.stderr, flush=True)

    def _read(self, name):
        with open(self._path(name), encoding="utf-8", errors="replace") as f:
            return f.read()

    @property
    def stdout(self):
        return self._final[0] if self._final else self._read("stdout")

    @property
    def stderr(self):
        return self._final[1] if self._final else self._read("stderr")

    def wait_output(self, text, timeout=10):
        wait_until(lambda: text in self.stdout, timeout, what=f"{text!r} on stdout")

    def wait_exit(self, timeout=10):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"{self.argv[0]} still running after {timeout}s") from None


class Viewer(Process):
    """The viewer, running its frame loop, with at least one frame on screen."""
    LOOP_STARTED = "[MAIN LOOP] Inicializando...\n"

    def __init__(self, binary, *args, env=None, title=TITLE):
        super().__init__([binary, *args], title=title, env=env)

    def ready(self):
        # The window can be damaged (black) before the loop starts, and the
        # loop's first swap shows a buffer nothing was drawn into yet.
        self.wait_output(self.LOOP_STARTED)
        wait_frames(self.wid, 2)

    def close(self, timeout=10):
        """Closes the window like a window manager would; returns the exit code."""
        close_window(self.wid)
        return self.wait_exit(timeout)


class DragSource(Process):
    """A GTK window that offers one file to drag, at a given screen position."""
    TITLE = "plexorama drag source"

    def __init__(self, path, x, y):
        super().__init__(["/usr/bin/python3", os.path.join(HERE, "drag_source.py"), path, x, y],
                         title=self.TITLE, env={"NO_AT_BRIDGE": "1"})


def drag_file(path, wid, steps=30):
    """Drags the file from a GTK window onto the given window and drops it there."""
    target = window_info(wid)
    with DragSource(path, target.x + target.width + 100, target.y + 50) as source:
        src = window_info(source.wid)
        x0, y0 = src.x + src.width // 2, src.y + src.height // 2
        x1, y1 = target.x + target.width // 2, target.y + target.height // 2
        move_pointer(x0, y0)
        _xdotool("mousedown", 1)
        try:
            # Small steps: GTK needs motion past its drag threshold before it
            # starts the drag, then XDND position messages as the pointer moves.
            for i in range(1, steps + 1):
                _xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
                time.sleep(0.01)
            # Drop only once the target has answered that it takes the file:
            # GTK cancels a drop on a window that has not accepted it yet.
            nudge = 0

            def accepted():
                nonlocal nudge
                nudge ^= 1  # each motion makes GTK send the target another position
                _xdotool("mousemove", x1 + nudge, y1)
                return "accepted" in source.stdout
            wait_until(accepted, timeout=10, what="the window to accept the drag")
        finally:
            _xdotool("mouseup", 1)
        source.wait_output("finished")
        if "sent" not in source.stdout:
            raise RuntimeError(f"the drop did not take place: {source.stdout!r}")


def run_tests(*names):
    """Runs the calling script's tests, its command-line arguments first
    bound, in order, to its globals of these names; without them, prints
    its usage, the last line of its docstring."""
    script = sys.modules["__main__"]
    if len(sys.argv) <= len(names):
        sys.exit(script.__doc__.splitlines()[-1].strip())
    for name in names:
        setattr(script, name, sys.argv.pop(1))
    unittest.main(module=script, verbosity=2)


class FolderTest(unittest.TestCase):
    """Tests that write their files in a folder of their own, removed after."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="plexorama-test-")
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)


def stop(process, seconds=5):
    """Ends a process of ours: asked to terminate, then killed if it will not."""
    process.terminate()
    try:
        process.wait(seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
