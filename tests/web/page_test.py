"""The web page in headless Chromium: it draws the samples as the desktop
does, shows drops and refuses bad ones, turns with keys and the wheel, opens
the files and views its address names, and a one-file page opens from disk.
Usage: page_test.py WEB_DIR PATH/TO/plexorama SOURCE_DIR (under with-xvfb,
for the desktop's pictures)"""
import base64
import os
import struct
import subprocess
import sys
import tempfile
import unittest

from chromium import Chromium, Server, decode_png, wait_until

WEB = VIEWER = SOURCE = None
SIDE = 512
IDENTITY = "2;q:0,0,0,1;axis1:1,0,0;axis2:0,1,0;axis3:0,0,1;show:1,2,3,4"
TURNED = ("2;q:0.099833414,0,0,0.995004177;axis1:1,0,0;axis2:0,0.980066597,0.198669329;"
          "axis3:0,-0.198669329,0.980066597")


def klein(dim, coords, normals=None, count=None):
    """The bytes of a KLEIN file; count overrides the vertex count."""
    n = len(coords) // dim if count is None else count
    normals = normals if normals is not None else [0.0] * len(coords)
    return (b"KLEIN\0" + bytes([dim]) + struct.pack("<Q", n)
            + struct.pack(f"<{len(coords)}f", *coords) + struct.pack(f"<{len(normals)}f", *normals))


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

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.site.close()
        cls.dir.cleanup()

    def open(self, address):
        self.browser.open(address)
        # The controls and the message float over the canvas; pictures are of
        # the canvas alone.
        self.browser.evaluate("for (const id of ['controls', 'message'])"
                              " document.getElementById(id).style.visibility = 'hidden'")
        self.browser.frames(3)

    def picture(self):
        self.browser.frames(2)
        return self.browser.screenshot()

    def message(self):
        return self.browser.evaluate("document.getElementById('message').textContent")

    def link(self):
        return self.browser.evaluate("Module.ccall('view_link_web', 'string', [], [])")

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

    def drop(self, name, data):
        """Drops a file with these bytes on the canvas, as a user's drag does."""
        self.browser.evaluate(
            "(() => { const t = new DataTransfer();"
            f" t.items.add(new File([Uint8Array.from(atob('{base64.b64encode(data).decode()}'),"
            f" c => c.charCodeAt(0))], '{name}'));"
            " document.getElementById('canvas').dispatchEvent("
            "  new DragEvent('drop', {dataTransfer: t, bubbles: true, cancelable: true})); })()")

    def test_samples_look_as_the_desktop_draws_them(self):
        # Each row: sample, the view its address gives (none: the first view).
        rows = [
            ("klein-bottle", None),
            ("clifford-torus", TURNED + ";show:1,2,3,4"),
            ("veronese", TURNED + ";show:1,3,4,2"),
            ("torus-10d", TURNED + ";show:1,10,2,3"),
            # The cues: colour by w, a slice about w = 0 (cut by clip distances), the axes.
            ("klein-bottle", IDENTITY + ";color:w;slice:0,0;gizmo:on"),
        ]
        for sample, link in rows:
            with self.subTest(sample=sample, link=link):
                self.open(f"{self.site.url}?file=samples/{sample}.klein" + (f"#view={link}" if link else ""))
                self.assertEqual(self.message(), "")
                self.assertEqual(self.link(), link or IDENTITY)
                web = self.picture()
                desktop = self.desktop(os.path.join(WEB, "site", "samples", f"{sample}.klein"), link or IDENTITY)
                self.assertLooksAlike(web, desktop, sample)

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
        ]
        for name, data, expected in rows:
            with self.subTest(name=name):
                self.drop(name, data)
                wait_until(lambda: self.message() == expected, what=f"'{expected}', not '{self.message()}'")
                self.assertEqual(self.picture().rgb, shown.rgb, "the surface on show stays")
        # A file that can be shown takes the message away again.
        self.drop("again.klein", TRIANGLE)
        wait_until(lambda: self.message() == "", what="the message to go")

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
        self.assertTrue(self.link().startswith("2;q:-0.0246374"), self.link())
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
                ("?file=samples/klein-bottle.klein#view=2;q:0,0,0,1", "view 2;q:0,0,0,1: the key 'axis1' is missing",
                 True),
                ("?file=samples/klein-bottle.klein#view=" + IDENTITY.replace("q:0,0,0,1", "q:0,0,0,0"),
                 "view " + IDENTITY.replace("q:0,0,0,1", "q:0,0,0,0") + ": line 2: q is zero", True),
                ("?file=samples/klein-bottle.klein#view=" + IDENTITY.replace("show:1,2,3,4", "show:1,2,3,5"),
                 "view " + IDENTITY.replace("show:1,2,3,4", "show:1,2,3,5")
                 + ": coordinate 5 is past the surface's 4", True),
            ]
            for address, expected, shown in rows:
                with self.subTest(address=address):
                    self.open(self.site.url + address)
                    self.assertEqual(self.message(), expected)
                    self.assertEqual(not self.picture().is_white(), shown)
        finally:
            elsewhere.close()
            shared.close()

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


def page_view(link):
    """A link as the dict of view-file keys that write_html takes."""
    return {key: tuple(values.split(",")) for key, values in (part.split(":") for part in link.split(";")[1:])}


if __name__ == "__main__":
    WEB, VIEWER, SOURCE = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1], verbosity=2)
