"""Turning the view and swapping coordinates with real input on the running
viewer.  Usage: interaction_test.py PATH/TO/plexorama"""
import math
import os
import struct

import xharness as xh

BINARY = None

# One scroll click turns 2 K, K = 2 pi / 255 to seven digits.
K = 0.024639943838277563
C = 2 + math.sqrt(3)  # 1 / tan(15 degrees), the camera's scale


def write_klein(path, vertices, normal=(0, 0, 1, 0)):
    """A KLEIN file of 4-coordinate vertices, all with the same normal."""
    with open(path, "wb") as f:
        f.write(xh.klein_header(4, len(vertices)))
        for v in vertices:
            f.write(struct.pack("<4f", *v))
        for _ in vertices:
            f.write(struct.pack("<4f", *normal))


def on_screen(p):
    """Where the camera draws the point (x, y, z) in the 512 x 512 window,
    rows counted from the top: it stands at z = -7 and mirrors x."""
    x, y, z = p
    w = z + 7
    return 256 * (1 - C * x / w), 256 * (1 - C * y / w)


def turned_about_x(p, angle):
    x, y, z = p
    return x, y * math.cos(angle) - z * math.sin(angle), y * math.sin(angle) + z * math.cos(angle)


def box_of(points):
    xs, ys = zip(*map(on_screen, points))
    return min(xs), min(ys), max(xs), max(ys)


# A small triangle in front of the origin, facing the camera.
MARKER = [(-0.1, -0.1, -1.5), (0.1, -0.1, -1.5), (0.0, 0.1, -1.5)]


class Interaction(xh.FolderTest):

    def surface(self, name, vertices):
        path = os.path.join(self.dir.name, name)
        write_klein(path, vertices)
        return path

    def assertBoxNear(self, seen, expected, delta):
        # The wireframe's lines reach about one pixel past the vertices.
        for s, e, side in zip(seen, expected, ("left", "top", "right", "bottom")):
            self.assertAlmostEqual(s, e, delta=delta, msg=f"{side}: seen {seen}, expected {expected}")

    def test_scroll_clicks_turn_about_the_horizontal(self):
        marker = self.surface("marker.klein", [(*p, 0) for p in MARKER])
        with xh.Viewer(BINARY, marker) as viewer:
            start = xh.wait_stable(viewer.wid).non_white_box()
            self.assertBoxNear(start, box_of(MARKER), 2)

            # Up turns about (-1, 0, 0): the near side of the view goes down.
            xh.scroll(viewer.wid, 8)
            expected = box_of([turned_about_x(p, -8 * 2 * K) for p in MARKER])
            xh.wait_image(viewer.wid, lambda image: image.non_white_box() != start,
                          what="the turned marker")
            self.assertBoxNear(xh.wait_stable(viewer.wid).non_white_box(), expected, 2)

            turned = xh.screenshot(viewer.wid).non_white_box()
            xh.scroll(viewer.wid, -3)
            expected = box_of([turned_about_x(p, -5 * 2 * K) for p in MARKER])
            xh.wait_image(viewer.wid, lambda image: image.non_white_box() != turned,
                          what="the marker turned back")
            self.assertBoxNear(xh.wait_stable(viewer.wid).non_white_box(), expected, 2)

    def test_holding_q_turns_about_the_surfaces_x_axis(self):
        marker = self.surface("marker.klein", [(*p, 0) for p in MARKER])
        with xh.Viewer(BINARY, marker) as viewer:
            start = xh.wait_stable(viewer.wid).non_white_box()
            xh.hold_key(viewer.wid, "q", 0.4)
            left, top, right, bottom = xh.wait_stable(viewer.wid).non_white_box()
            # Q turns the near side up; x stays centred.
            self.assertLess(bottom, start[3] - 10)
            self.assertAlmostEqual((left + right) / 2, (start[0] + start[2]) / 2, delta=1.5)

    def test_swap_key_turns_w_into_x_and_back(self):
        # The marker sits left of the centre by x and right of it by w.
        marker = [(-0.8 + p[0], p[1], p[2], 0.8 + p[0]) for p in MARKER]
        swapped = [(w, y, z, x) for x, y, z, w in marker]
        with xh.Viewer(BINARY, self.surface("swapped.klein", swapped)) as reference:
            after = xh.wait_stable(reference.wid)

        with xh.Viewer(BINARY, self.surface("marker.klein", marker)) as viewer:
            before = xh.wait_stable(viewer.wid)
            self.assertNotEqual(before.rgb, after.rgb)

            xh.key(viewer.wid, "i")
            # The turn takes 158 frames: first the picture moves on its way...
            xh.wait_image(viewer.wid, lambda image: image.rgb not in (before.rgb, after.rgb),
                          what="the turn under way")
            # ...and ends showing exactly the surface with x and w exchanged.
            xh.wait_image(viewer.wid, lambda image: image.rgb == after.rgb, timeout=10,
                          what="the swapped picture")

            xh.key(viewer.wid, "i")
            xh.wait_image(viewer.wid, lambda image: image.rgb == before.rgb, timeout=10,
                          what="the first picture again")

    def test_dragging_an_axis_end_in_the_gizmo_moves_that_coordinate(self):
        # A surface in R^6; the gizmo's corner is the lower left 128 pixels,
        # 8 in from the edges, and x's axis ends 3/4 of the way to its left.
        path = os.path.join(self.dir.name, "r6.klein")
        corners = [(0.5, 0, 0, 0, 0.1, 0), (0, 0.5, 0, 0, 0, 0.1), (0, 0, 0.5, 0.1, 0, 0)]
        with open(path, "wb") as f:
            f.write(xh.klein_header(6, 3))
            for c in corners * 2:
                f.write(struct.pack("<6f", *c))
        saved = os.path.join(self.dir.name, "dragged.view")
        with xh.Viewer(BINARY, "--gizmo", "--save-view", saved, path) as viewer:
            xh.wait_stable(viewer.wid)
            info = xh.window_info(viewer.wid)
            # To halfway up and halfway left: x shows as half x, half y.
            xh.drag_pointer(info.x + 24, info.y + 440, info.x + 48, info.y + 416)
            xh.wait_stable(viewer.wid)
            self.assertEqual(viewer.close(), 0)
        with open(saved) as f:
            frame = dict(line.split(" = ", 1) for line in f.read().splitlines()[1:])["frame"]
        rows = [list(map(float, frame.split()))[6 * i:6 * i + 6] for i in range(4)]
        for row, expected in zip(rows, (0.5, 0.5, 0, 0)):
            self.assertAlmostEqual(row[0], expected, delta=0.02, msg=frame)


if __name__ == "__main__":
    xh.run_tests("BINARY")
