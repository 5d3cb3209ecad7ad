"""Pictures finished for print: the options at their defaults draw the plain
picture, transparency does not depend on the order of the triangles, smooth
light shows no facets, anti-aliasing and stereo keep their shapes, and the
preferences apply, or warn and are left out.
Usage: finish_test.py PATH/TO/plexorama PATH/TO/SAMPLES"""
import math
import os
import random
from unittest import mock

import xharness as xh
from picture_test import read_klein, read_png, write_columns

BINARY = None
SAMPLES = None


def sample(name):
    return os.path.join(SAMPLES, name + ".klein")


def luminance(image, x, y):
    r, g, b = image[x, y]
    return 0.299 * r + 0.587 * g + 0.114 * b


def jumps(image, margin=3, step=4.0):
    """The share of the surface's inside, margin pixels in from its outline,
    where the luminance bends by more than step levels from one pixel to the
    next: the edges of facets, where a smooth surface has none."""
    drawn = [[image[x, y] != xh.WHITE for x in range(image.width)] for y in range(image.height)]
    inside = bent = 0
    for y in range(margin, image.height - margin):
        for x in range(margin, image.width - margin):
            if not all(drawn[y + dy][x + dx] for dy in (-margin, 0, margin) for dx in (-margin, 0, margin)):
                continue
            inside += 1
            across = abs(luminance(image, x + 1, y) - 2 * luminance(image, x, y) + luminance(image, x - 1, y))
            down = abs(luminance(image, x, y + 1) - 2 * luminance(image, x, y) + luminance(image, x, y - 1))
            bent += max(across, down) > step
    return bent / max(inside, 1), inside


def sphere(path, steps, moved=lambda p: p):
    """A coarse unit sphere in x, y, z with w = 0, its own normals, each
    vertex moved as given."""
    def point(i, j):
        theta, phi = math.pi * i / steps, math.pi * j / steps
        return (math.sin(theta) * math.cos(phi), math.sin(theta) * math.sin(phi), math.cos(theta), 0.0)
    corners = []
    for i in range(steps):
        for j in range(2 * steps):
            a, b, c, d = point(i, j), point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)
            corners += [moved(p) for p in (a, b, c, a, c, d)]
    return write_columns(path, corners, corners)


def as_drawn(a, b, degrees, eye):
    """A vertex as the view shows it: coordinate a turned toward b, then seen
    from the 4-D eye at eye (0: none), w left at 0."""
    def moved(p):
        p, t = list(p), math.radians(degrees)
        p[a], p[b] = p[a] * math.cos(t) + p[b] * math.sin(t), p[b] * math.cos(t) - p[a] * math.sin(t)
        scale = eye / (eye - p[3]) if eye else 1.0
        return (p[0] * scale, p[1] * scale, p[2] * scale, 0.0)
    return moved


class Finish(xh.FolderTest):

    def setUp(self):
        super().setUp()
        # A configuration folder of the test's own, empty unless a test writes it.
        self.config = self.path("config")

    def run_viewer(self, *args):
        with xh.Process([BINARY, *args], env={"XDG_CONFIG_HOME": self.config}) as run:
            return run.wait_exit(120), run.stderr

    def picture(self, *args, err=""):
        out = self.path(f"picture-{len(os.listdir(self.dir.name))}.png")
        status, stderr = self.run_viewer("--output", out, *args)
        self.assertEqual((status, stderr), (0, err), " ".join(args))
        return read_png(out)

    def assertNearly(self, seen, expected, what, levels=0, share=0.0):
        """At most share of the pixels differ, and by at most levels."""
        differ = [i for i in range(len(seen.rgb)) if seen.rgb[i] != expected.rgb[i]]
        worst = max((abs(seen.rgb[i] - expected.rgb[i]) for i in differ), default=0)
        self.assertLessEqual(worst, levels, f"{what}: {len(differ)} channels differ")
        self.assertLessEqual(len(differ), share * len(seen.rgb), f"{what}: {len(differ)} channels differ")

    def assertLitAlike(self, seen, expected, what):
        """Tangent planes found on other triangles differ a little: by a
        level on average, where the file's normals miss by three, and past 6
        levels only where the surface turns from the eye within a pixel."""
        differences = [abs(a - b) for a, b in zip(seen.rgb, expected.rgb)]
        drawn = expected.non_white()
        self.assertLess(sum(differences) / (3 * drawn), 1.0, what)
        self.assertLess(sum(d > 6 for d in differences), 0.002 * drawn, what)

    def test_the_options_at_their_defaults_draw_the_plain_picture(self):
        bottle = sample("klein-bottle")
        plain = self.picture("--turn", "yw=30", bottle)
        for option in (["--aa", "1"], ["--opacity", "1"], ["--stereo", "off"], ["--color", "fixed"]):
            with self.subTest(option):
                self.assertNearly(self.picture(*option, "--turn", "yw=30", bottle), plain, " ".join(option))

    def test_transparency_does_not_depend_on_the_order_of_the_triangles(self):
        m, coords, normals = read_klein(sample("klein-bottle"))
        triangles = list(range(len(coords) // 3))
        random.Random(7).shuffle(triangles)
        order = [3 * t + k for t in triangles for k in range(3)]
        shuffled = write_columns(self.path("shuffled.klein"), [coords[v] for v in order],
                                 [normals[v] for v in order])
        for options in (["--opacity", "0.4"], ["--opacity", "0.6", "--color", "w", "--aa", "4"]):
            with self.subTest(options):
                view = [*options, "--turn", "yw=30", "--light", "shape"]
                first = self.picture(*view, sample("klein-bottle"))
                self.assertNearly(self.picture(*view, shuffled), first, "shuffled", levels=1, share=0.002)
                # The sheets behind show through: the opaque picture differs.
                opaque = self.picture("--turn", "yw=30", "--light", "shape", sample("klein-bottle"))
                self.assertGreater(sum(a != b for a, b in zip(first.rgb, opaque.rgb)), len(first.rgb) // 10)

    def test_smooth_light_shows_no_facets_and_is_right_in_every_view(self):
        ball = sphere(self.path("sphere.klein"), 10)
        # Each row: the view, and the same turn and eye worked out beforehand.
        # Flat, facets bend the light over some 6 % of the sphere's inside;
        # smooth, nowhere but by chance. And the normal carried through the
        # view is the one that the surface turned and seen beforehand has.
        rows = [(["--turn", "xw=50"], (0, 3, 50, 0.0)), (["--turn", "zw=40", "--eye4", "3"], (2, 3, 40, 3.0))]
        for view, drawn in rows:
            with self.subTest(view):
                flat, inside = jumps(self.picture(*view, "--light", "shape", "--wire", "off", ball))
                smooth = self.picture(*view, "--light", "smooth", "--wire", "off", ball)
                self.assertGreater(inside, 5000, "the sphere must fill a good part of the picture")
                self.assertGreater(flat, 0.02, "flat light shows its facets")
                self.assertLess(jumps(smooth)[0], 0.003, "smooth light shows none")
                seen = sphere(self.path("seen.klein"), 10, as_drawn(*drawn))
                self.assertLitAlike(smooth, self.picture("--light", "smooth", "--wire", "off", seen), "seen")

    def test_smooth_light_through_a_frame_of_r5(self):
        # A sphere tilted into a fifth coordinate, seen through a frame that
        # mixes all five, against the same sphere through the frame
        # beforehand: the planes found in R^5 and carried by the frame, or
        # found in R^4, light it alike.
        rows = [[0.6, 0.2, -0.3, 0.5, 0.5], [0.1, 0.9, 0.2, -0.3, 0.2], [0.3, -0.1, 0.8, 0.4, -0.3],
                [0.2, 0.3, 0.1, -0.4, 0.8]]
        frame = []
        for row in rows:
            for done in frame:
                along = sum(a * b for a, b in zip(row, done))
                row = [a - along * b for a, b in zip(row, done)]
            length = math.sqrt(sum(a * a for a in row))
            frame.append([a / length for a in row])
        tilted = sphere(self.path("r5.klein"), 10, lambda p: (*p[:3], 0.0, 0.6 * p[0] * p[1]))
        basis = ",".join(f"{v:.9g}" for row in frame for v in row)
        through = self.picture("--basis", basis, "--light", "smooth", "--wire", "off", tilted)
        seen = sphere(self.path("seen.klein"), 10,
                      lambda p: tuple(sum(a * b for a, b in zip(row, (*p[:3], 0.0, 0.6 * p[0] * p[1])))
                                      for row in frame))
        self.assertLitAlike(through, self.picture("--light", "smooth", "--wire", "off", seen), "through F")
        self.assertGreater(jumps(self.picture("--basis", basis, "--light", "shape", "--wire", "off", tilted))[0],
                           0.02, "flat light shows its facets")

    def test_anti_aliasing_and_stereo_keep_the_pictures_shape(self):
        torus = sample("clifford-torus")
        plain = self.picture("--wire", "off", torus)
        # Past what llvmpipe offers, one line says so, and 4 samples draw.
        offered = "plexorama: anti-aliasing: 8 samples a pixel asked, 4 offered at 512 x 512: drawing with 4\n"
        eight = self.picture("--aa", "8", "--wire", "off", torus, err=offered)
        self.assertNearly(eight, self.picture("--aa", "4", "--wire", "off", torus), "8 samples, taken as 4")
        blended = {eight[x, y] for y in range(eight.height) for x in range(eight.width)}
        self.assertGreater(len(blended), 2 * len({plain[x, y] for y in range(512) for x in range(512)}),
                           "edges blend the surface into the ground")
        self.assertEqual(eight.non_white_box(), plain.non_white_box())
        # Side by side, each eye's picture is the plain one at half size, in its half.
        halves = self.picture("--stereo", "side-by-side=0", "--wire", "off", torus)
        left, top, right, bottom = plain.non_white_box()
        for half in (0, 256):
            box = [(x, y) for y in range(512) for x in range(half, half + 256) if halves[x, y] != xh.WHITE]
            xs, ys = [x - half for x, _ in box], [y for _, y in box]
            for seen, want in ((min(xs), left / 2), (max(xs), right / 2), (min(ys), 128 + top / 2),
                               (max(ys), 128 + bottom / 2)):
                self.assertAlmostEqual(seen, want, delta=2, msg=f"the half from {half}")

    def test_preferences_apply_or_warn_and_are_left_out(self):
        bottle = sample("klein-bottle")
        plain = self.picture(bottle)
        folder = os.path.join(self.config, "plexorama")
        os.makedirs(folder)
        preferences = os.path.join(folder, "default.view")
        # Each row: what the file holds (none: a folder in its place, "->": a
        # symbolic link to no file), the warning, and the options that draw
        # the same picture without it.
        rows = [
            ("plexorama-view 3\nlight = shape\nzoom = 1.5\n", "", ["--light", "shape", "--zoom", "1.5"]),
            ("plexorama-view 3\naa = 3\n", "line 2: aa is not 1, 2, 4 or 8", []),
            ("KLEIN\n", "not a view file", []),
            ("plexorama-view 3\nshow = 1 2 3 9\ncolor = w\n", "", ["--color", "w"]),
            (None, "cannot read: Is a directory", []),
            ("->", "a symbolic link to no file", []),
        ]
        for text, warning, options in rows:
            with self.subTest(text):
                if os.path.lexists(preferences):
                    os.remove(preferences)
                if text is None:
                    os.mkdir(preferences)
                elif text == "->":
                    os.symlink("missing.view", preferences)
                else:
                    with open(preferences, "w", encoding="utf-8") as f:
                        f.write(text)
                err = (f"plexorama: warning: {preferences}: not a valid view file: {warning}: going on without "
                       "the preferences\n") if warning and text else ""
                if text in (None, "->"):
                    err = f"plexorama: warning: {preferences}: {warning}: going on without the preferences\n"
                expected = self.picture(*options, "--no-preferences", bottle) if options else plain
                self.assertNearly(self.picture(bottle, err=err), expected, "with the preferences")
                self.assertNearly(self.picture("--no-preferences", bottle), plain, "without them")
                if text is None:
                    os.rmdir(preferences)
        # A relative $XDG_CONFIG_HOME is ignored, for ~/.config.
        os.makedirs(self.path("home/.config/plexorama"))
        with open(self.path("home/.config/plexorama/default.view"), "w") as f:
            f.write("plexorama-view 3\ncolor = w\n")
        self.config = "config"
        with mock.patch.dict(os.environ, HOME=self.path("home")):
            self.assertNearly(self.picture(bottle), self.picture("--color", "w", "--no-preferences", bottle), "home")


if __name__ == "__main__":
    xh.run_tests("BINARY", "SAMPLES")
