"""Surfaces reach the screen: dropped from another program, or named on the
command line; files that cannot be shown are refused without harm.
Usage: surface_test.py PATH/TO/plexorama PATH/TO/SAMPLES"""
import os
import unittest

import xharness as xh
from startup_test import STARTED, STOPPED

BINARY = None
SAMPLES = None


def sample(name):
    return os.path.join(SAMPLES, name + ".klein")


def klein(dim, vertices, payload_bytes=None):
    """A KLEIN header for dim x vertices, with that many bytes of zeros after it
    (all the arrays unless payload_bytes is given)."""
    size = 8 * dim * vertices if payload_bytes is None else payload_bytes
    return xh.klein_header(dim, vertices) + bytes(size)


def drawn(image):
    return image.non_white() > 1000


class Surfaces(xh.FolderTest):

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def pipe(self, name):
        path = os.path.join(self.dir.name, name)
        os.mkfifo(path)
        return path

    def test_dropped_file_is_shown_and_a_foreign_one_changes_nothing(self):
        with xh.Viewer(BINARY) as viewer:
            self.assertTrue(xh.wait_stable(viewer.wid).is_white())

            xh.drag_file(sample("klein-bottle"), viewer.wid)
            xh.wait_image(viewer.wid, drawn, what="the dropped surface")
            shown = xh.wait_stable(viewer.wid)
            # Centred: the bottle is symmetric about the view's centre.
            left, top, right, bottom = shown.non_white_box()
            self.assertAlmostEqual((left + right) / 2, 255.5, delta=2)
            self.assertAlmostEqual((top + bottom) / 2, 255.5, delta=2)

            xh.drag_file(self.write("notes.txt", b"not a surface\n"), viewer.wid)
            xh.wait_frames(viewer.wid, 3)
            self.assertEqual(xh.screenshot(viewer.wid).rgb, shown.rgb)

            xh.drag_file(sample("clifford-torus"), viewer.wid)
            xh.wait_image(viewer.wid, lambda image: image.rgb != shown.rgb, what="the next surface")
            self.assertEqual(viewer.close(), 0)
        self.assertEqual(viewer.stdout, STARTED + STOPPED)
        self.assertEqual(viewer.stderr, "")

    def test_file_named_on_the_command_line_is_shown(self):
        with xh.Viewer(BINARY, sample("klein-bottle")) as viewer:
            xh.wait_image(viewer.wid, drawn, what="the surface")
            self.assertEqual(viewer.close(), 0)
        self.assertEqual(viewer.stderr, "")

    def test_file_that_cannot_be_shown_is_reported_and_the_viewer_runs_empty(self):
        cases = [
            ("missing", os.path.join(self.dir.name, "missing.klein"),
             "cannot open: No such file or directory"),
            ("directory", self.dir.name, "cannot open: not a regular file"),
            ("named pipe", self.pipe("pipe.klein"), "cannot open: not a regular file"),
            ("foreign", self.write("notes.txt", b"not a surface\n"), "not a KLEIN file"),
            ("truncated", self.write("cut.klein", klein(4, 3, 95)),
             "truncated: expected 111 bytes, found 110"),
            ("three coordinates", self.write("flat.klein", klein(3, 3)), "fewer than 4 coordinates"),
            ("too large", self.write("huge.klein", klein(255, 2**32 - 1, 8)),
             "too large: 2^32 or more coordinates"),
        ]
        for what, path, reason in cases:
            with self.subTest(what):
                with xh.Process([BINARY, "--frames", "3", path]) as viewer:
                    self.assertEqual(viewer.wait_exit(), 0)
                    self.assertEqual(viewer.stderr, f"plexorama: {path}: {reason}\n")
                    self.assertEqual(viewer.stdout, STARTED + STOPPED)

    def test_frames_option_closes_as_the_window_would(self):
        with xh.Process([BINARY, "--frames", "10", sample("veronese")]) as viewer:
            self.assertEqual(viewer.wait_exit(), 0)
            self.assertEqual(viewer.stdout, STARTED + STOPPED)
            self.assertEqual(viewer.stderr, "")


class CommandLine(unittest.TestCase):

    def run_viewer(self, *args):
        # No display: these must be answered before any window is made.
        with xh.Process([BINARY, *args], env={"DISPLAY": None}) as viewer:
            return viewer.wait_exit(), viewer.stdout, viewer.stderr

    def test_help_and_version(self):
        status, out, err = self.run_viewer("--help")
        self.assertEqual((status, err), (0, ""))
        self.assertTrue(out.startswith("usage: plexorama [--frames N] "), out)
        status, out, err = self.run_viewer("--version")
        self.assertEqual((status, err), (0, ""))
        self.assertRegex(out, r"^plexorama \d+\.\d+\.\d+\n$")

    def test_bad_command_lines_exit_2_with_usage(self):
        for args in (["--fullscreen"], ["-x"], ["--frames"], ["--frames", "ten"],
                     ["--frames", "-1"]):
            with self.subTest(args):
                status, out, err = self.run_viewer(*args)
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertIn("usage: plexorama", err)


if __name__ == "__main__":
    xh.run_tests("BINARY", "SAMPLES")
