"""GL object lifetimes and GL errors over real drops, recorded with apitrace.
Every buffer and vertex array the viewer makes is deleted before its context
goes, and no call raises a GL error. The control panel calls GL only while
shown, never in a picture, keeps the wheel over it from the view, and deletes
what it made.

Replaying the trace with glretrace cannot tell: apitrace frees the memory it
hands to a GL_AMD_pinned_memory buffer, which llvmpipe offers and the viewer
uses, so the replay reads freed memory. Errors are taken from the traced run
itself instead: Mesa reports every error raised to MESA_LOG_FILE when
MESA_DEBUG is set, and the trace holds what each glGetError of the viewer
returned. A control run raises one error on purpose to show both see it.
Usage: trace_test.py PATH/TO/plexorama PATH/TO/libsoak_drops.so PATH/TO/SAMPLES"""
import collections
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import xharness as xh  # noqa: E402
from startup_test import STARTED, STOPPED  # noqa: E402

BINARY = PRELOAD = SAMPLES = None

# glGenBuffers(n = 2, buffers = {1, 2}), glDeleteVertexArrays(n = 1, arrays = &1)
NAMES = re.compile(r"^\d+ gl(Gen|Create|Delete)(Buffers|VertexArrays|Textures)\(n = \d+, \w+ = (?:&(\d+)|\{([\d, ]*)\})\)$")
GET_ERROR = re.compile(r"^\d+ glGetError\(\) = (\w+)$")
# apitrace adds calls of its own, marked "// fake", when a context becomes current.
CALL = re.compile(r"^\d+ (\w+)\((?!.*// fake$)")
# Calls that only the control panel makes: the viewer itself draws arrays,
# with no texture, scissor or blending.
PANEL_CALLS = {"glGenTextures", "glTexImage2D", "glScissor", "glDrawElements", "glDrawElementsBaseVertex",
               "glBlendEquation"}


def sample(name):
    return os.path.join(SAMPLES, name + ".klein")


def objects(dump):
    """How many buffers and vertex arrays were made, the ones still alive when
    the context was destroyed, and the deletions of names not alive then."""
    made, alive, strays = collections.Counter(), set(), []
    for line in dump.splitlines():
        if " glXDestroyContext(" in line:
            return made, alive, strays
        match = NAMES.match(line)
        if not match:
            continue
        verb, kind, one, many = match.groups()
        names = [int(one)] if one else [int(n) for n in many.split(",") if n.strip()]
        for name in names:
            if verb != "Delete":
                made[kind] += 1
                alive.add((kind, name))
            elif name and (kind, name) in alive:
                alive.remove((kind, name))
            elif name:
                strays.append(line)
    raise AssertionError("the trace does not reach glXDestroyContext")


def errors(dump):
    """What each glGetError in the trace returned."""
    return [m.group(1) for m in map(GET_ERROR.match, dump.splitlines()) if m]


def panel_calls(dump):
    return PANEL_CALLS & {m.group(1) for m in map(CALL.match, dump.splitlines()) if m}


def mesa_errors(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [line.strip() for line in f if "error" in line.lower()]


class Trace(unittest.TestCase):

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="plexorama-trace-")
        self.addCleanup(self.dir.cleanup)
        self.trace = self.path("run.trace")
        self.mesa_log = self.path("mesa.log")
        self.env = {"MESA_DEBUG": "1", "MESA_LOG_FILE": self.mesa_log}

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def dump(self):
        return subprocess.run(["apitrace", "dump", "-v", "--color=never", self.trace], check=True, timeout=120,
                              capture_output=True, text=True).stdout

    def test_real_drops_delete_what_they_make_and_raise_no_error(self):
        with open(sample("klein-bottle"), "rb") as f:
            bottle = f.read()
        drops = [
            (sample("klein-bottle"), True),
            (self.write("truncated.klein", bottle[:-1]), False),
            (sample("clifford-torus"), True),
            (self.write("foreign.klein", b"KLEIM" + bottle[5:]), False),
            (sample("veronese"), True),
            (self.write("three-coordinates.klein", xh.klein_header(3, 3) + bytes(72)), False),
        ]
        with xh.Viewer("apitrace", "trace", "-o", self.trace, BINARY, env=self.env) as viewer:
            shown = xh.screenshot(viewer.wid)
            for path, valid in drops:
                xh.drag_file(path, viewer.wid)
                if valid:
                    before = shown
                    shown = xh.wait_image(viewer.wid, lambda image: image.rgb != before.rgb,
                                          what=f"{os.path.basename(path)} on show")
            xh.wait_frames(viewer.wid, 3)
            self.assertEqual(viewer.close(timeout=30), 0)
        self.assertEqual(viewer.stdout, STARTED + STOPPED)

        dump = self.dump()
        made, alive, strays = objects(dump)
        valid = sum(v for _, v in drops)
        self.assertEqual(dict(made), {"VertexArrays": valid, "Buffers": 2 * valid})
        self.assertEqual((alive, strays), (set(), []))
        checked = errors(dump)
        self.assertGreater(len(checked), 0)
        self.assertEqual(set(checked), {"GL_NO_ERROR"})
        self.assertEqual(mesa_errors(self.mesa_log), [])

    def test_the_panel_calls_gl_only_while_shown_and_deletes_what_it_made(self):
        with xh.Process(["apitrace", "trace", "-o", self.trace, BINARY, "--output", self.path("picture.png"),
                         sample("klein-bottle")], env=self.env) as run:
            self.assertEqual(run.wait_exit(60), 0)
        self.assertEqual(panel_calls(self.dump()), set(), "a picture")

        with xh.Viewer("apitrace", "trace", "-o", self.trace, BINARY, sample("klein-bottle"), env=self.env) as viewer:
            before = xh.wait_stable(viewer.wid)
            xh.key(viewer.wid, "Tab")
            xh.wait_image(viewer.wid, lambda image: image.rgb != before.rgb, what="the panel")
            # The wheel over the panel's title bar, at the top right, turns nothing.
            shown = xh.wait_stable(viewer.wid)
            xh.scroll(viewer.wid, 8, x=shown.width - 60, y=10)
            xh.wait_frames(viewer.wid, 3)
            self.assertEqual(xh.screenshot(viewer.wid).rgb, shown.rgb)
            xh.key(viewer.wid, "Tab")
            xh.wait_image(viewer.wid, lambda image: image.rgb == before.rgb, what="the panel gone")
            xh.wait_frames(viewer.wid, 3)
            self.assertEqual(viewer.close(timeout=30), 0)
        dump = self.dump()
        # The last piece is the shutdown, after the last frame.
        frames = dump.split(" glXSwapBuffers(")[:-1]
        drawn = [k for k, frame in enumerate(frames) if panel_calls(frame)]
        self.assertNotEqual(drawn, [], "the panel was drawn")
        self.assertEqual(panel_calls("".join(frames[:drawn[0]] + frames[drawn[-1] + 1:])), set(), "hidden")
        self.assertLess(drawn[-1], len(frames) - 3)
        made, alive, strays = objects(dump)
        self.assertGreater(made["Textures"], 0)
        self.assertEqual((alive, strays), (set(), []))
        self.assertEqual(set(errors(dump)) - {"GL_NO_ERROR"}, set())
        self.assertEqual(mesa_errors(self.mesa_log), [])

    def test_control_an_error_raised_on_purpose_is_seen(self):
        drops = self.write("drops", (sample("klein-bottle") + "\n").encode())
        env = {**self.env, "LD_PRELOAD": PRELOAD, "SOAK_DROPS": drops, "SOAK_LOG": self.path("log"),
               "SOAK_RAISE_GL_ERROR": "1"}
        with xh.Process(["apitrace", "trace", "-o", self.trace, BINARY, "--frames", "5"], env=env) as run:
            self.assertEqual(run.wait_exit(60), 0)

        dump = self.dump()
        self.assertEqual([e for e in errors(dump) if e != "GL_NO_ERROR"], ["GL_INVALID_OPERATION"])
        self.assertEqual(len(mesa_errors(self.mesa_log)), 1)
        self.assertIn("GL_INVALID_OPERATION in glBindVertexArray", mesa_errors(self.mesa_log)[0])
        made, alive, strays = objects(dump)
        self.assertEqual(dict(made), {"VertexArrays": 1, "Buffers": 2})
        self.assertEqual((alive, strays), (set(), []))


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__.splitlines()[-1].strip())
    SAMPLES = sys.argv.pop(3)
    PRELOAD = sys.argv.pop(2)
    BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
