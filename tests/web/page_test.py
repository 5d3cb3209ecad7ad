"""The web page in headless Chromium: it draws the samples as the desktop
does, with clip distances and without, shows drops and refuses bad ones,
turns with keys, the wheel and fingers, its controls set the view and follow
the keys, it opens the files and views its address names, outlives hostile
links, names and files without an uncaught exception, and a one-file page
opens from disk.
Usage: page_test.py WEB_DIR PATH/TO/plexorama SOURCE_DIR [TEST...] (under
with-xvfb, for the desktop's pictures)"""
import base64
import contextlib
import json
import math
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import unittest

from chromium import Chromium, Server, decode_png, wait_until
from xharness import Image

WEB = VIEWER = SOURCE = None
SIDE = 512
IDENTITY = "3;q:0,0,0,1;axis1:1,0,0;axis2:0,1,0;axis3:0,0,1;show:1,2,3,4"
TURNED = ("3;q:0.099833414,0,0,0.995004177;axis1:1,0,0;axis2:0,0.980066597,0.198669329;"
          "axis3:0,-0.198669329,0.980066597")
# The page's bound on a link, and a link past it that would overflow the
# viewer's 5 MiB stack four bytes a character.
LONGEST_LINK = 65536
TOO_LONG = "view: not a view link: longer than 65536 characters"
PAST_THE_STACK = "2;" * 750000


def klein(dim, coords, normals=None, count=None):
    """The bytes of a KLEIN file; count overrides the vertex count."""
    n = len(coords) // dim if count is None else count
    normals = normals if normals is not None else [0.0] * len(coords)
    return (b"KLEIN\0" + bytes([dim]) + struct.pack("<Q", n)
            + struct.pack(f"<{len(coords)}f", *coords) + struct.pack(f"<{len(normals)}f", *normals))


# A browser without clip distances, as the page sees it: WebGL 2 offers no
# WEBGL_clip_cull_distance.
WITHOUT_CLIP_DISTANCES = """
for (const context of [WebGL2RenderingContext, WebGLRenderingContext]) {
  const get = context.prototype.getExtension, supported = context.prototype.getSupportedExtensions;
  context.prototype.getExtension = function (name) {
    return name === "WEBGL_clip_cull_distance" ? null : get.call(this, name);
  };
  context.prototype.getSupportedExtensions = function () {
    return supported.call(this).filter((name) => name !== "WEBGL_clip_cull_distance");
  };
}
"""

# One triangle in R^4 across most of the view, lit face on.
TRIANGLE = klein(4, [-1.2, -1.0, 0, 0, 1.2, -1.0, 0, 0, 0, 1.3, 0, 0], [0, 0, 1, 0] * 3)


def mask(image):
    rgb = image.rgb
    return [rgb[i:i + 3] != b"\xff\xff\xff" for i in range(0, len(rgb), 3)]


def rows(image):
    """The picture's drawn pixels, one integer a row, bit x for column x."""
    stride = 3 * image.width
    return [int("".join("0" if image.rgb[y * stride + 3 * x:y * stride + 3 * x + 3] == b"\xff\xff\xff" else "1"
                        for x in reversed(range(image.width))), 2) for y in range(image.height)]


def without_legend(image):
    """The picture with the legend's corner white: the page's labels are the
    browser's text, the desktop's DejaVu Sans rasterised by Dear ImGui, alike
    only to within a shade at each glyph's edge."""
    digits = max(10, round(image.height / 40))
    top, left = image.height - image.height // 64 - 5 * digits, int(0.44 * image.width)
    rgb = bytearray(image.rgb)
    for y in range(max(0, top), image.height):
        rgb[3 * (y * image.width + left):3 * (y + 1) * image.width] = b"\xff" * (3 * (image.width - left))
    return Image(image.width, image.height, bytes(rgb))


def beyond_a_pixel(a, b):
    """How many drawn pixels of a have no drawn pixel of b within one pixel."""
    spread = [r | r << 1 | r >> 1 for r in b]
    near = [spread[y] | (spread[y - 1] if y else 0) | (spread[y + 1] if y + 1 < len(b) else 0)
            for y in range(len(b))]
    return sum(bin(r & ~n).count("1") for r, n in zip(a, near))


class Page(unittest.TestCase):
    """One browser for all; each test opens the pages it needs afresh."""

    @classmethod
    def setUpClass(cls):
        cls.site = Server(os.path.join(WEB, "site"))
        cls.browser = Chromium(SIDE, SIDE)
        cls.dir = tempfile.TemporaryDirectory(prefix="plexorama-page-")

    def setUp(self):
        self.browser.exceptions = []

    def tearDown(self):
        self.browser.pump()
        self.assertEqual(self.browser.exceptions, [], "no uncaught exception")

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.site.close()
        cls.dir.cleanup()

    def open(self, address):
        self.browser.open(address)
        # The controls and the message float over the canvas; pictures are of
        # the canvas alone.
        self.browser.evaluate("for (const id of ['controls', 'view', 'message'])"
                              " document.getElementById(id).style.visibility = 'hidden'")
        self.browser.frames(3)

    def picture(self):
        self.browser.frames(2)
        return self.browser.screenshot()

    def message(self):
        return self.browser.evaluate("document.getElementById('message').textContent")

    def link(self):
        return self.browser.evaluate("Module.ccall('view_link_web', 'string', [], [])")

    def assertFollows(self):
        """The viewer still turns, and the address follows its view."""
        self.browser.evaluate("Module._zoom_web(1)")
        wait_until(lambda: self.browser.evaluate("location.hash") == "#view=" + self.link(),
                   what="the address to follow the view")

    def desktop(self, sample, link):
        """The desktop's --output picture of a sample at a link's view."""
        view = os.path.join(self.dir.name, "view")
        with open(view, "w") as f:
            f.write("plexorama-view " + link.replace(";", "\n").replace(":", " = ").replace(",", " ") + "\n")
        out = os.path.join(self.dir.name, "desktop.png")
        subprocess.run([VIEWER, "--view", view, "--output", out, sample], check=True, capture_output=True,
                       timeout=60)
        with open(out, "rb") as f:
            return decode_png(f.read())

    def assertLooksAlike(self, web, desktop, what):
        """The rasterisers differ in which edge pixels they take and in the
        last bit of a colour: under 0.5 % of either picture's drawn pixels
        may lie more than a pixel from the other's, the mean colour of the
        surface may differ by 3 levels in 255 in each channel, and a pixel
        of both by 6 levels on average."""
        a, b = mask(web), mask(desktop)
        both = [i for i in range(len(a)) if a[i] and b[i]]
        self.assertGreater(len(both), 1000, f"{what}: nothing drawn")
        web_rows, desktop_rows = rows(web), rows(desktop)
        astray = beyond_a_pixel(web_rows, desktop_rows) + beyond_a_pixel(desktop_rows, web_rows)
        self.assertLess(astray, 0.005 * max(sum(a), sum(b)), f"{what}: {astray} pixels astray")
        for k in range(3):
            mean_web = sum(web.rgb[3 * i + k] for i in both) / len(both)
            mean_desktop = sum(desktop.rgb[3 * i + k] for i in both) / len(both)
            self.assertLess(abs(mean_web - mean_desktop), 3, f"{what}: channel {k} {mean_web} {mean_desktop}")
        difference = sum(abs(web.rgb[3 * i + k] - desktop.rgb[3 * i + k]) for i in both for k in range(3))
        self.assertLess(difference / (3 * len(both)), 6, f"{what}: pixels differ on average by more")

    def drop(self, name, data, shift=False):
        """Drops a file with these bytes on the canvas, as a user's drag does."""
        self.browser.evaluate(
            "(() => { const t = new DataTransfer();"
            f" t.items.add(new File([Uint8Array.from(atob('{base64.b64encode(data).decode()}'),"
            f" c => c.charCodeAt(0))], {json.dumps(name)}));"
            " document.getElementById('canvas').dispatchEvent(new DragEvent('drop',"
            f"  {{dataTransfer: t, bubbles: true, cancelable: true, shiftKey: {json.dumps(shift)}}})); }})()")

    def test_samples_look_as_the_desktop_draws_them(self):
        # Each row: sample, the view its address gives (none: the first view).
        rows = [
            ("klein-bottle", None),
            ("clifford-torus", TURNED + ";show:1,2,3,4"),
            ("veronese", TURNED + ";show:1,3,4,2"),
            ("torus-10d", TURNED + ";show:1,10,2,3"),
            # The cues: colour by w, a slice about w = 0 (cut by clip distances), the axes.
            ("klein-bottle", IDENTITY + ";color:w;slice:0,0;gizmo:on"),
            # The finish: smooth light and transparency, anti-aliasing, stereo.
            ("klein-bottle", TURNED + ";show:1,2,3,4;light:smooth;opacity:0.5"),
            ("veronese", TURNED + ";show:1,3,4,2;wire:off;aa:4"),
            ("clifford-torus", IDENTITY + ";color:w;stereo:side-by-side"),
        ]
        for sample, link in rows:
            with self.subTest(sample=sample, link=link):
                self.open(f"{self.site.url}?file=samples/{sample}.klein" + (f"#view={link}" if link else ""))
                self.assertEqual(self.message(), "")
                self.assertEqual(self.link(), link or IDENTITY)
                web = self.picture()
                desktop = self.desktop(os.path.join(WEB, "site", "samples", f"{sample}.klein"), link or IDENTITY)
                self.assertLooksAlike(web, desktop, sample)

    @contextlib.contextmanager
    def without_clip_distances(self):
        """The pages opened within find no clip distances in WebGL."""
        script = self.browser.call("Page.addScriptToEvaluateOnNewDocument", source=WITHOUT_CLIP_DISTANCES)
        try:
            yield
        finally:
            self.browser.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script["identifier"])

    def test_cues_cut_as_the_desktop_does_with_clip_distances_and_without(self):
        # Each row: sample, view. The Klein bottle's s is about 1.5; the eye
        # at 1.2 cuts what lies beyond it, and the slice a band off centre.
        rows = [
            ("klein-bottle", IDENTITY + ";eye4:1.2"),
            ("klein-bottle", IDENTITY + ";color:w;slice:0.3,0.2"),
            ("veronese", TURNED + ";show:1,3,4,2;color:w;slice:0.3,0.2;eye4:2"),
        ]
        for clip in (True, False):
            for sample, link in rows:
                with self.subTest(clip=clip, sample=sample, link=link), \
                        contextlib.nullcontext() if clip else self.without_clip_distances():
                    self.open(f"{self.site.url}?file=samples/{sample}.klein#view={link}")
                    self.assertEqual(self.message(), "")
                    offered = self.browser.evaluate("!!document.createElement('canvas').getContext('webgl2')"
                                                    ".getExtension('WEBGL_clip_cull_distance')")
                    self.assertEqual(offered, clip, "clip distances as the row asks")
                    web = self.picture()
                    desktop = self.desktop(os.path.join(WEB, "site", "samples", f"{sample}.klein"), link)
                    self.assertLooksAlike(web, desktop, f"{sample} {link}")

    def test_drops_show_surfaces_and_refuse_what_cannot_be_shown(self):
        self.open(self.site.url)
        self.assertTrue(self.picture().is_white(), "the page starts white")
        self.drop("triangle.klein", TRIANGLE)
        shown = wait_until(lambda: (lambda p: not p.is_white() and p)(self.picture()), what="the dropped triangle")
        self.assertEqual(self.message(), "")
        # Each row: file name, bytes, the line the page shows.
        rows = [
            ("notes.txt", b"not a surface at all", "notes.txt: not a KLEIN file"),
            ("short.klein", TRIANGLE[:40], f"short.klein: truncated: expected 111 bytes, found 40"),
            ("flat.klein", klein(3, [0.0] * 9), "flat.klein: fewer than 4 coordinates"),
            ("huge.klein", klein(4, [0.0] * 12, count=2**31), "huge.klein: too large: 2^32 or more coordinates"),
            # Names no file system takes, shown escaped and cut short.
            ("..", b"", "..: not a KLEIN file"),
            ("a\0b\n/c.klein", b"", "a\\x00b\\x0a/c.klein: not a KLEIN file"),
            ("x" * 10**6, b"", "x" * 79 + "…" + "x" * 40 + ": not a KLEIN file"),
        ]
        for name, data, expected in rows:
            with self.subTest(name=name):
                self.drop(name, data)
                wait_until(lambda: self.message() == expected, what=f"'{expected}', not '{self.message()}'")
                self.assertEqual(self.picture().rgb, shown.rgb, "the surface on show stays")
        # A file that can be shown takes the message away again, whatever its name.
        self.drop(".", TRIANGLE)
        wait_until(lambda: self.message() == "", what="the message to go")

    def test_a_drop_with_shift_adds_and_the_list_shows_and_colours_each_shape(self):
        self.browser.open(self.site.url)
        fibre = b"nSKEL 4\n3 1\n-1 0 0 0\n0 1 0 0\n1 0 0 0\n3 0 1 2\n"
        shapes = "JSON.parse(Module.ccall('shapes_web', 'string', [], []))"
        hidden = "Array.from(document.querySelectorAll('[data-strokes]'), e => e.dataset.strokes + (e.hidden ? '-' : ''))"
        self.drop("triangle.klein", TRIANGLE)
        self.drop("fibre.skel", fibre, shift=True)
        wait_until(lambda: len(self.browser.evaluate(shapes)) == 2, what="the fibre beside the triangle")
        self.browser.frames(2)
        self.assertEqual(self.control("#surface-size", "textContent"), "m 4, n 6 vertices, 1 triangles, 2 segments")
        self.assertEqual(self.browser.evaluate("Array.from(document.querySelectorAll('#shapes li'), e => e.textContent)"),
                         ["triangle.klein: 1 faces", "fibre.skel: 2 segments"])
        self.assertEqual(self.browser.evaluate(hidden), ["flat", "lines", "tubes-", "points-"])
        # The list's controls set the shape, and the colour stays in the view.
        self.browser.evaluate("(e => { e.checked = false; e.dispatchEvent(new Event('change')); })"
                              "(document.querySelector('#shapes li input'))")
        self.browser.evaluate("(e => { e.value = '#00ff80'; e.dispatchEvent(new Event('input')); })"
                              "(document.querySelectorAll('#shapes li input')[3])")
        self.browser.frames(2)
        self.assertEqual([(s["shown"], s["color"]) for s in self.browser.evaluate(shapes)],
                         [(0, "#2f3c7e"), (1, "#00ff80")])
        self.click("#tubes")
        self.assertEqual(self.browser.evaluate(hidden), ["flat-", "lines", "tubes", "points-"])
        self.assertGreater(self.browser.evaluate("JSON.parse(Module.ccall('state_web', 'string', [], [])).tubes"), 0)
        # A drop without Shift takes the place of both.
        self.drop("fibre.skel", fibre)
        wait_until(lambda: len(self.browser.evaluate(shapes)) == 1, what="the fibre alone")

    def test_the_gallery_and_the_file_button_show_surfaces_and_the_address_names_them(self):
        self.browser.open(self.site.url)
        sample = "document.querySelector('#gallery a[title=\"Clifford torus\"]')"
        box = self.browser.evaluate(f"(r => [r.x + r.width / 2, r.y + r.height / 2])({sample}.getBoundingClientRect())")
        for kind in ("mousePressed", "mouseReleased"):
            self.browser.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left", clickCount=1)
        wait_until(lambda: self.browser.evaluate("location.search") == "?file=samples/clifford-torus.klein",
                   what="the address to name the sample")
        self.assertTrue(self.browser.evaluate(f"{sample}.hasAttribute('aria-current')"))
        self.open(self.browser.evaluate("location.href"))
        torus = self.picture()
        self.assertFalse(torus.is_white())
        # A file of the user's own has no address: the page's names none.
        document = self.browser.call("DOM.getDocument")["root"]["nodeId"]
        button = self.browser.call("DOM.querySelector", nodeId=document, selector="#file")["nodeId"]
        self.browser.call("DOM.setFileInputFiles", nodeId=button,
                          files=[os.path.join(WEB, "site", "samples", "klein-bottle.klein")])
        wait_until(lambda: self.browser.evaluate("location.search") == "", what="the address to name no file")
        self.assertNotEqual(self.picture().rgb, torus.rgb)
        self.assertEqual(self.browser.evaluate("document.querySelectorAll('[aria-current]').length"), 0)

    def test_keys_and_the_wheel_turn_and_the_address_follows(self):
        self.open(f"{self.site.url}?file=samples/klein-bottle.klein")
        before = self.picture()
        self.assertNotIn("#view=", self.browser.evaluate("location.href"), "an unturned view adds nothing")
        # One click of the wheel away from the user: the desktop's turn for a click.
        self.browser.call("Input.dispatchMouseEvent", type="mouseWheel", x=SIDE // 2, y=SIDE // 2,
                          deltaX=0, deltaY=-100)
        wait_until(lambda: self.link() != IDENTITY, what="the wheel to turn")
        self.assertTrue(self.link().startswith("3;q:-0.0246374"), self.link())
        # Held Q turns about the surface's own x axis, a step a frame.
        self.browser.key("q", "keyDown")
        self.browser.frames(30)
        self.browser.key("q", "keyUp")
        q = [float(v) for v in self.link().split(";")[1][2:].split(",")]
        self.assertGreater(q[0], 0.05, self.link())
        self.assertEqual(q[1:3], [0, 0], self.link())
        self.assertNotEqual(self.picture().rgb, before.rgb)
        # I turns the hidden w into view as x; after the turn the link shows it.
        self.browser.key("i", "keyDown")
        self.browser.key("i", "keyUp")
        self.assertTrue(self.link().endswith("show:4,2,3,1"), self.link())
        # Held E turns x toward w in four dimensions, and = zooms in by 1.1.
        self.browser.key("e", "keyDown")
        self.browser.frames(10)
        self.browser.key("e", "keyUp")
        for kind in ("keyDown", "keyUp"):
            self.browser.call("Input.dispatchKeyEvent", type=kind, key="=", code="Equal",
                              windowsVirtualKeyCode=187, nativeVirtualKeyCode=187)
        self.browser.frames(2)
        self.assertIn(";turn4:", self.link())
        self.assertIn(";zoom:1.10000002", self.link())
        # The turn takes 158 frames; the address follows, and opened afresh it
        # gives the same picture.
        self.browser.frames(170)
        turned = self.picture()
        address = wait_until(lambda: (lambda a: self.link() in a and a)(self.browser.evaluate("location.href")),
                             what="the address to follow the view")
        self.open(address)
        self.assertEqual(self.picture().rgb, turned.rgb)

    def touch(self, before, after):
        """Moves the fingers from where they were to where they are next, each
        {id: (x, y)}: lifts those gone, then presses and moves the rest."""
        call = self.browser.call
        gone = {i: p for i, p in before.items() if i not in after}
        if gone:
            call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[{"id": i, "x": x, "y": y}
                                                                            for i, (x, y) in gone.items()])
        if after:
            call("Input.dispatchTouchEvent", type="touchMove" if set(after) & set(before) else "touchStart",
                 touchPoints=[{"id": i, "x": x, "y": y} for i, (x, y) in after.items()])
        self.browser.frames(1)

    def drag(self, button, path):
        """Moves the mouse to the start of path, drags it along with a button
        held, stops, lets go."""
        call = self.browser.call
        held = {"left": 1, "right": 2}[button]
        call("Input.dispatchMouseEvent", type="mouseMoved", x=path[0][0], y=path[0][1])
        call("Input.dispatchMouseEvent", type="mousePressed", x=path[0][0], y=path[0][1], button=button,
             buttons=held, clickCount=1)
        for x, y in path[1:]:
            call("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y, button=button, buttons=held)
            self.browser.frames(1)
        # Still for a few frames: let go without a spin.
        self.browser.frames(3)
        call("Input.dispatchMouseEvent", type="mouseReleased", x=path[-1][0], y=path[-1][1], button=button,
             buttons=0, clickCount=1)

    def test_dragging_an_axis_end_in_the_gizmo_moves_that_coordinate(self):
        # As on the desktop: the gizmo's corner is the lower left 128 pixels,
        # 8 in from the edges, and x's axis ends 3/4 of the way to its left.
        self.open(f"{self.site.url}?file=samples/veronese.klein")
        for kind in ("keyDown", "keyUp"):
            self.browser.key("g", kind)
        self.browser.frames(2)
        # To halfway up and halfway left: x shows as half x, half y.
        self.drag("left", [(24 + 3 * k, 440 - 3 * k) for k in range(9)])
        link = self.link()
        frame = [float(v) for v in next(f for f in link.split(";") if f.startswith("frame:"))[6:].split(",")]
        self.assertEqual(len(frame), 4 * 6, link)
        for row, expected in zip(range(4), (0.5, 0.5, 0, 0)):
            self.assertAlmostEqual(frame[6 * row], expected, delta=0.02, msg=link)

    def test_fingers_turn_as_the_mouse_drags_and_a_pinch_zooms(self):
        self.browser.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        self.open(f"{self.site.url}?file=samples/klein-bottle.klein")
        path = [(260 + 6 * k, 300 - 3 * k) for k in range(10)]
        spread = [40 + 6 * k for k in range(10)]
        # Each row: the fingers frame by frame, {id: (x, y)}; the mouse button
        # that drags as they do along their middle, or none; the zoom after.
        rows = [
            ("one finger", [{0: p} for p in path], "left", 1),
            ("two fingers", [{0: (x - 50, y), 1: (x + 50, y)} for x, y in path], "right", 1),
            ("a pinch", [{0: (256 - d, 300), 1: (256 + d, 300)} for d in spread], None, spread[-1] / spread[0]),
            ("a finger left from two", [{0: (200, 300), 1: (312, 300)}] + [{0: (200 + 9 * k, 300)} for k in range(10)],
             None, 1),
        ]
        try:
            for what, frames, button, zoom in rows:
                with self.subTest(what):
                    self.browser.evaluate("Module._reset_web()")
                    for before, after in zip([{}] + frames, frames):
                        self.touch(before, after)
                    self.browser.frames(3)
                    self.touch(frames[-1], {})
                    touched = self.link()
                    zoomed = float(touched.split(";zoom:")[1]) if ";zoom:" in touched else 1
                    self.assertAlmostEqual(zoomed, zoom, delta=1e-5 * zoom, msg=touched)
                    if button:
                        self.browser.evaluate("Module._reset_web()")
                        self.drag(button, [((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
                                           for a, b in ((list(f.values()) * 2)[:2] for f in frames)])
                        self.assertNotEqual(touched, IDENTITY)
                        self.assertEqual(touched, self.link(), "the fingers turn as the mouse")
                    else:
                        self.assertEqual(touched.split(";zoom:")[0], IDENTITY, "no turn")
                    # The page itself neither scrolled nor zoomed.
                    self.assertEqual(self.browser.evaluate("[scrollX, scrollY, visualViewport.scale]"), [0, 0, 1])
        finally:
            self.browser.call("Emulation.setTouchEmulationEnabled", enabled=False)

    def click(self, selector):
        """Clicks the middle of an element, as a user's mouse does, after
        opening the section of the controls it stands in."""
        element = f"document.querySelector({selector!r})"
        section = f"{element}.closest('details')"
        targets = [element] if self.browser.evaluate(f"{section}.open") else [f"{section}.firstElementChild", element]
        for target in targets:
            x, y = self.browser.evaluate(f"(e => {{ e.scrollIntoView({{block: 'nearest'}});"
                                         " const r = e.getBoundingClientRect();"
                                         f" return [r.x + r.width / 2, r.y + r.height / 2]; }})({target})")
            for kind in ("mousePressed", "mouseReleased"):
                self.browser.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)
            self.browser.frames(2)

    def slide(self, selector, value):
        """Moves a slider or a list to value, as its input and change events say."""
        self.browser.evaluate(f"(e => {{ e.value = {value!r}; e.dispatchEvent(new Event('input'));"
                              f" e.dispatchEvent(new Event('change')); }})(document.querySelector({selector!r}))")
        self.browser.frames(2)

    def control(self, selector, prop):
        return self.browser.evaluate(f"document.querySelector({selector!r}).{prop}")

    def test_controls_set_the_view_as_keys_do_and_follow_the_keys(self):
        torus = os.path.join(WEB, "site", "samples", "torus-10d.klein")
        self.browser.open(f"{self.site.url}?file=samples/torus-10d.klein")
        self.assertEqual(self.control("#surface", "textContent"),
                         "torus-10d.klein m 10, n 6144 vertices, 2048 triangles")
        # Every coordinate can be hidden but those shown as x, y and z.
        self.assertEqual(self.browser.evaluate("Array.from(document.querySelectorAll('#hidden option'),"
                                               " o => o.text + (o.disabled ? '-' : ''))"),
                         ["1 (x)-", "2 (y)-", "3 (z)-", "4", "5", "6", "7", "8", "9", "10"])
        # Coordinate 10 hidden, coloured by w and sliced, without the
        # wireframe (whose lines the rasterisers draw alike only to within a
        # shade) and closer: the desktop's picture of the same view.
        self.slide("#hidden", "9")
        self.click("#tint")
        self.click("#slice")
        self.click("#wire")
        self.slide("#zoom", "1.5")
        link = self.link()
        shown, zoom = link.split(";zoom:")
        self.assertEqual(shown, IDENTITY.replace("show:1,2,3,4", "show:1,2,3,10"))
        self.assertAlmostEqual(float(zoom.split(";")[0]), 2 ** 1.5, delta=1e-5)
        self.assertTrue(zoom.endswith(";color:w;slice:0,0;wire:off"), link)
        self.assertFalse(self.control("#legend", "hidden"))
        self.assertEqual(self.control("#legend-high", "textContent"), "+1.16")
        wait_until(lambda: self.browser.evaluate("location.hash") == "#view=" + link, what="the address to follow")
        panels = "for (const id of ['controls', 'view']) document.getElementById(id).style.visibility"
        self.browser.evaluate(panels + " = 'hidden'")
        self.assertLooksAlike(without_legend(self.picture()), without_legend(self.desktop(torus, link)),
                              "the controls' view")
        self.browser.evaluate(panels + " = ''")
        for key in "ht":
            self.browser.key(key, "keyDown")
            self.browser.key(key, "keyUp")
        self.browser.frames(2)
        self.assertEqual([self.control("#tint", "checked"), self.control("#legend", "hidden"),
                          self.control("#wire", "checked")], [False, True, True], "the controls follow the keys")

        # Each row: the control a user sets, the link's part it adds, the key
        # that takes it away again, and what the control shows before the
        # key and after.
        rows = [
            ("#eye4", ";eye4:0", "j", "checked", True, False),
            ("#gizmo", ";gizmo:on", "g", "checked", True, False),
            ("#view [name=light][value='1']", ";light:shape", "l", "checked", True, False),
            ("#view [name=swap][value='0']", ";show:10,2,3,1", "i", "#hidden", "0", "9"),
        ]
        for selector, part, key, shows, before, after in rows:
            with self.subTest(selector):
                shown = (lambda: self.control(selector, "checked")) if shows == "checked" else \
                    (lambda: self.control(shows, "value"))
                self.click(selector)
                self.assertIn(part, self.link())
                self.assertEqual(shown(), before)
                self.browser.key(key, "keyDown")
                self.browser.key(key, "keyUp")
                self.browser.frames(2)
                self.assertNotIn(part, self.link())
                self.assertEqual(shown(), after)

        # The sliders set the slice's place, the zoom and (evenly in its
        # logarithm, s/256 to s) the slice's width; = and a held ] move them on.
        self.slide("#slice-at", "0.5")
        self.slide("#zoom", "1")
        self.slide("#slice-width", "0.5")
        zoom = float(self.link().split(";zoom:")[1].split(";")[0])
        at, width = (float(v) for v in self.link().split(";slice:")[1].split(";")[0].split(","))
        self.assertEqual([at, round(zoom, 5), round(width, 5)], [0.5, 2, round(1.16189504 / 16, 5)])
        self.browser.key("=", "keyDown")
        self.browser.key("=", "keyUp")
        self.browser.key("]", "keyDown")
        self.browser.frames(10)
        self.browser.key("]", "keyUp")
        self.assertAlmostEqual(float(self.control("#zoom", "value")), math.log2(2.2), delta=1e-5)
        self.assertGreater(float(self.control("#slice-at", "value")), 0.55)
        # Reset goes back to the first view; the shown coordinates and cues stay.
        self.click("#reset")
        self.assertNotIn(";zoom:", self.link())
        self.assertTrue(self.link().startswith(IDENTITY.split(";show")[0]))
        # Tab moves from the canvas on into the controls.
        self.browser.evaluate("document.getElementById('canvas').focus()")
        self.browser.key("Tab", "keyDown")
        self.browser.key("Tab", "keyUp")
        self.assertTrue(self.browser.evaluate("!!document.activeElement.closest('#controls, #view')"))
        # A tour read at a coordinate choice goes on from it, and its seed
        # shows whole.
        tour = IDENTITY + ";tour:grand,18446744073709551615,20,3,running"
        self.assertEqual(self.browser.evaluate(f"Module.ccall('set_view_web', 'string', ['string'], [{tour!r}])"), "")
        self.browser.frames(3)
        self.assertIn("frame:", self.link(), "the tour moves the frame on")
        self.assertEqual(self.control("#tour-state", "textContent"),
                         "grand tour, seed 18446744073709551615, on the way to target 3")
        # The guided tours start from the controls, as the grand tour does.
        for kind, name, linked in (("3", "guided to the fewest crossings", "tour:guided=fewest-crossings,5,"),
                                   ("4", "guided to the largest shadow", "tour:guided=spread,5,")):
            self.slide("#tour-seed", "5")
            self.slide("#tour-kind", kind)
            self.click("#tour-start")
            self.assertTrue(self.control("#tour-state", "textContent").startswith(name + ", seed 5, search"),
                            self.control("#tour-state", "textContent"))
            self.assertIn(linked, self.link())

    def test_links_that_cannot_be_followed_are_reported(self):
        elsewhere = Server(os.path.join(WEB, "site"))
        shared = Server(os.path.join(WEB, "site"), cors=True)
        try:
            # Each row: address, the line the page shows, whether a surface shows.
            rows = [
                ("?file=samples/missing.klein", "samples/missing.klein: cannot fetch: 404 File not found", False),
                (f"?file={elsewhere.url}samples/klein-bottle.klein",
                 f"{elsewhere.url}samples/klein-bottle.klein: cannot fetch: the server cannot be reached or "
                 "does not let this page read it", False),
                (f"?file={shared.url}samples/klein-bottle.klein", "", True),
                ("?file=.", ".: not a KLEIN file", False),
                ("?file=..", "..: not a KLEIN file", False),
                ("?file=samples/klein-bottle.klein#view=%", "view %: not a view link: a broken % escape", True),
                ("?file=samples/klein-bottle.klein#view=" + PAST_THE_STACK, TOO_LONG, True),
                ("?file=samples/klein-bottle.klein#view=2;q:0,0,0,1", "view 2;q:0,0,0,1: the key 'axis1' is missing",
                 True),
                ("?file=samples/klein-bottle.klein#view=" + IDENTITY.replace("q:0,0,0,1", "q:0,0,0,0"),
                 "view " + IDENTITY.replace("q:0,0,0,1", "q:0,0,0,0") + ": line 2: q is zero", True),
                ("?file=samples/klein-bottle.klein#view=" + IDENTITY.replace("show:1,2,3,4", "show:1,2,3,5"),
                 "view " + IDENTITY.replace("show:1,2,3,4", "show:1,2,3,5")
                 + ": coordinate 5 is past the surface's 4", True),
            ]
            for address, expected, shown in rows:
                with self.subTest(address=address[:100]):
                    self.open(self.site.url + address)
                    self.assertEqual(self.message(), expected)
                    self.assertEqual(not self.picture().is_white(), shown)
                    self.assertFollows()
                    if not shown:
                        self.drop("triangle.klein", TRIANGLE)
                        wait_until(lambda: not self.picture().is_white(), what="a later drop to show")
        finally:
            elsewhere.close()
            shared.close()

    def test_hostile_links_leave_the_page_alive(self):
        # After each link, a good one takes its message away, the address
        # follows a turn, and the picture is the good view's, pixel for pixel.
        good = [IDENTITY + ";zoom:1.5", TURNED + ";show:1,3,4,2;zoom:0.75"]
        self.open(f"{self.site.url}?file=samples/klein-bottle.klein")

        def settle(link):
            self.browser.evaluate(f"location.hash = {json.dumps('#view=' + link)}")
            self.browser.frames(2)

        def alive(k):
            settle(good[k % 2])
            self.assertEqual(self.message(), "", "a good link takes the message away")
            self.assertFollows()
            self.browser.frames(2)
            return self.browser.call("Page.captureScreenshot", format="png")["data"]

        pictures = [alive(0), alive(1)]
        self.assertNotEqual(pictures[0], pictures[1])
        # Each row: a link, the message it gives (None: any short one).
        rows = [
            ("%", "view %: not a view link: a broken % escape"),
            ("2;q:%E0%A4%A", "view 2;q:%E0%A4%A: not a view link: a broken % escape"),
            (IDENTITY + "%00;zoom:2", f"view {IDENTITY}\\x00;zoom:2: not a view link"),
            ("1" * LONGEST_LINK, None),
            ("1" * (LONGEST_LINK + 1), TOO_LONG),
            ("%31" * LONGEST_LINK, None),
            ("%31" * (LONGEST_LINK + 1), TOO_LONG),
            ("%E2%82%AC" * LONGEST_LINK, None),
            (PAST_THE_STACK, TOO_LONG),
            ("%" * (9 * LONGEST_LINK + 1), TOO_LONG),
        ]
        # Random links of the link's own characters, escapes good and broken,
        # and what an address escapes; and a full link mutated.
        rng = random.Random(26)
        pieces = list("0123456789abcdefghijklmnopqrstuvwxyz+-.,:;") + [
            "%", "%2", "%zz", "%25", "%3B", "%00", "%0A", "%C3%A9", "%E0%A4", "é", "😀", " ", "#", "=", "\\"]
        full = TURNED + ";show:1,3,4,2;turn4:0,0,0,1,0,1,0,0,0,0,1,0,-1,0,0,0;zoom:2;color:w;slice:0.3,0.2;eye4:2"
        for _ in range(15):
            rows.append(("".join(rng.choice(pieces) for _ in range(rng.choice([1, 30, 300, 3000]))), None))
            link = full
            for _ in range(rng.randint(1, 4)):
                at, to = sorted(rng.randrange(len(link) + 1) for _ in range(2))
                link = rng.choice([link[:at] + link[to:], link[:at] + rng.choice(pieces) + link[at:],
                                   link[:to] + link[at:to] * rng.randint(2, 100) + link[to:]])
            rows.append((link, None))
        for k, (link, expected) in enumerate(rows):
            with self.subTest(k=k, link=link[:100], length=len(link)):
                settle(link)
                said = self.message()
                self.assertLessEqual(len(said), 256, said[:300])
                self.assertNotIn("\n", said)
                if expected is not None:
                    self.assertEqual(said, expected)
                self.assertEqual(alive(k), pictures[k % 2], "the good view drawn again")

    def test_one_file_page_opens_from_disk_without_the_network(self):
        sys.path.insert(0, os.path.join(SOURCE, "python"))
        import plexorama
        from plexorama.html import write_html
        coords, normals = plexorama.read_klein(os.path.join(WEB, "site", "samples", "veronese.klein"))
        page = os.path.join(self.dir.name, "veronese.html")
        link = TURNED + ";show:1,3,4,2"
        os.environ["PLEXORAMA_PAGE"] = os.path.join(WEB, "plexorama-page.html")
        write_html(page, coords, normals, view=page_view(link))
        self.browser.call("Network.enable")
        self.browser.requests = []
        self.open("file://" + page)
        self.browser.pump()
        self.assertEqual(self.message(), "")
        self.assertEqual(self.link(), link)
        self.assertEqual([u for u in self.browser.requests if not u.startswith(("file:", "data:"))], [])
        self.assertLooksAlike(self.picture(), self.desktop(os.path.join(WEB, "site", "samples", "veronese.klein"),
                                                           link), "one-file page")
        # A link past the viewer's stack is refused before it reaches it, and
        # a page whose surface is no base64 says so.
        self.open("file://" + page + "#view=" + PAST_THE_STACK)
        self.assertEqual(self.message(), TOO_LONG)
        self.assertFollows()
        broken = os.path.join(self.dir.name, "broken.html")
        with open(page, encoding="utf-8") as f, open(broken, "w", encoding="utf-8") as out:
            out.write(re.sub(r'(id="embedded-surface"[^>]*>)[^<]*', r"\1%%%", f.read()))
        self.open("file://" + broken)
        self.assertEqual(self.message(), "veronese.klein: cannot be read: the page holds no base64")


def page_view(link):
    """A link as the dict of view-file keys that write_html takes."""
    return {key: tuple(values.split(",")) for key, values in (part.split(":") for part in link.split(";")[1:])}


if __name__ == "__main__":
    WEB, VIEWER, SOURCE = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
