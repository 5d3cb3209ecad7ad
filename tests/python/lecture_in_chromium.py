"""The lecture notebook, run by Debian's Jupyter and opened in headless
Chromium as `jupyter nbconvert --to html` exports it: every view draws its
surface, the one asked to colour by w does, keys typed into one view turn it
and no other, and the clip is one full turn. The notebook in the tree holds
no outputs.
Usage: lecture_in_chromium.py SOURCE_DIR (the viewer, its one-file page and
the package come in through the environment, as for the Python tests)"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
from chromium import Chromium, wait_until  # noqa: E402
from xharness import Image  # noqa: E402

SOURCE = None
# One full turn at the clip's 90 degrees a second.
TURN_SECONDS = 4
VIEWS, BY_W = 4, 1  # the views in the notebook, and the one coloured by w


class Lecture(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.notebook = os.path.join(SOURCE, "docs", "lecture.ipynb")
        cls.dir = tempfile.TemporaryDirectory(prefix="plexorama-lecture-")
        # A copy outside the tree, as a lecturer's own folder holds it.
        copy = shutil.copy(cls.notebook, cls.dir.name)
        run = subprocess.run(["jupyter", "nbconvert", "--execute", "--to", "html", "--output-dir", cls.dir.name,
                              "--ExecutePreprocessor.kernel_name=python3", "--ExecutePreprocessor.timeout=240",
                              copy], capture_output=True, text=True, timeout=280, cwd=cls.dir.name,
                             env=dict(os.environ, PYDEVD_DISABLE_FILE_VALIDATION="1"))
        if run.returncode != 0:
            cls.dir.cleanup()
            raise RuntimeError(f"nbconvert failed ({run.returncode}):\n{run.stderr[-4000:]}")
        cls.browser = Chromium(1000, 900)
        cls.browser.call("Page.navigate", url="file://" + os.path.join(cls.dir.name, "lecture.html"))
        wait_until(lambda: cls.browser.evaluate("document.readyState") != "loading", what="the notebook's HTML")

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.dir.cleanup()

    def view(self, k):
        """The middle of view k's canvas (a square as high as the frame, in
        its middle), scrolled into sight, as a picture."""
        box = self.browser.evaluate(f"(f => {{ f.scrollIntoView({{block: 'center'}});"
                                    " const r = f.getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; })"
                                    f"(document.querySelectorAll('iframe')[{k}])")
        side = int(box[3] * 0.4)
        left, top = int(box[0] + box[2] / 2 - side / 2), int(box[1] + box[3] / 2 - side / 2)
        # The whole page, not a clip of it: after a clipped screenshot
        # headless Chromium draws the frames no more.
        shot = self.browser.screenshot()
        rows = [shot.rgb[3 * ((top + y) * shot.width + left):3 * ((top + y) * shot.width + left + side)]
                for y in range(side)]
        return Image(side, side, b"".join(rows)), (box[0] + box[2] / 2, box[1] + box[3] / 2)

    def drawn(self, k):
        """View k once it has drawn its surface and come to rest: its labels
        and the range of w may follow the first frame by a few frames."""
        wait_until(lambda: self.view(k)[0].non_white() > 0.05 * self.view(k)[0].width ** 2, timeout=60,
                   what=f"view {k} to draw its surface")
        last = [self.view(k)[0]]

        def rested():
            time.sleep(0.5)
            image = self.view(k)[0]
            same, last[0] = image.rgb == last[0].rgb, image
            return same and image
        return wait_until(rested, timeout=60, what=f"view {k} to come to rest")

    def comes_back(self, k, picture):
        try:
            return wait_until(lambda: self.view(k)[0].rgb == picture.rgb, timeout=10, what=f"view {k} as it was")
        except TimeoutError:
            return False

    def test_the_notebook_in_the_tree_holds_no_outputs(self):
        with open(self.notebook, encoding="utf-8") as f:
            cells = json.load(f)["cells"]
        code = [cell for cell in cells if cell["cell_type"] == "code"]
        self.assertTrue(code)
        self.assertEqual([(cell["outputs"], cell["execution_count"]) for cell in code], [([], None)] * len(code))

    def test_every_view_draws_and_keys_turn_only_the_view_clicked(self):
        count = self.browser.evaluate("document.querySelectorAll('iframe[srcdoc][sandbox]').length")
        self.assertEqual(count, VIEWS)
        before = [self.drawn(k) for k in range(count)]
        # Red where w is positive and blue where negative, in that view alone.
        red = [sum(1 for i in range(0, len(p.rgb), 3) if p.rgb[i] > p.rgb[i + 2] + 40) for p in before]
        self.assertEqual([n > 0.02 * before[k].width ** 2 for k, n in enumerate(red)],
                         [k == BY_W for k in range(count)], f"reddish pixels in each view: {red}")
        # Chromium hit-tests a frame on what it last drew; on a busy machine
        # a click just after the page scrolled may land on the page around
        # the frame, and a key pressed before the frame's own process learns
        # of the focus is lost. Click and press again, as a user would; hold
        # the key through several screenshots, as frames come seconds apart.
        for _ in range(4):
            _, (x, y) = self.view(0)
            self.browser.call("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y)
            for kind in ("mousePressed", "mouseReleased"):
                self.browser.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)
            wait_until(lambda: self.browser.evaluate("document.activeElement === document.querySelector('iframe')"),
                       what="the view clicked to take the keys")
            self.browser.key("q", "keyDown")
            try:
                turned = wait_until(lambda: self.view(0)[0].rgb != before[0].rgb, timeout=10,
                                    what="the view clicked to turn")
            except TimeoutError:
                turned = False
            finally:
                self.browser.key("q", "keyUp")
            if turned:
                break
        self.assertTrue(turned, "the view clicked turns")
        # A frame scrolled back into sight may show its last picture a
        # moment late: a view is still when it comes back to its picture.
        still = [self.comes_back(k, before[k]) for k in range(1, count)]
        self.assertEqual(still, [True] * (count - 1), "the other views stay as they were")

    def test_the_clip_is_one_full_turn(self):
        duration = self.browser.evaluate(
            "new Promise(done => { const v = document.querySelector('video');"
            " if (v.readyState >= 1) done(v.duration); else v.onloadedmetadata = () => done(v.duration); })")
        self.assertAlmostEqual(duration, TURN_SECONDS, delta=1 / 60)
        self.assertTrue(self.browser.evaluate("document.querySelector('video').loop"))


if __name__ == "__main__":
    SOURCE = sys.argv[1]
    unittest.main(argv=sys.argv[:1] + sys.argv[2:], verbosity=2)
