"""Pictures and recordings drawn offscreen: they equal what the window shows,
honour the chosen coordinates, view and size, and fail loudly leaving nothing.
Usage: picture_test.py PATH/TO/plexorama PATH/TO/SAMPLES"""
import math
import os
import stat
import struct
import subprocess

import xharness as xh
from interaction_test import MARKER, box_of, write_klein

BINARY = None
SAMPLES = None


def sample(name):
    return os.path.join(SAMPLES, name + ".klein")


def read_png(path):
    """The picture in a PNG file, decoded by ImageMagick."""
    with open(path, "rb") as f:
        head = f.read(26)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    width, height, depth, colour = struct.unpack(">IIBB", head[16:26])
    assert (depth, colour) == (8, 2), f"{path}: bit depth {depth}, colour type {colour}, not 8-bit RGB"
    rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, timeout=60,
                         capture_output=True).stdout
    return xh.Image(width, height, rgb)


def read_klein(path):
    """(m, coordinate rows, normal rows) of a KLEIN file."""
    with open(path, "rb") as f:
        data = f.read()
    m, n = data[6], int.from_bytes(data[7:15], "little")
    values = struct.unpack(f"<{2 * m * n}f", data[15:15 + 8 * m * n])
    rows = [values[k * m:(k + 1) * m] for k in range(2 * n)]
    return m, rows[:n], rows[n:]


def write_columns(path, coords, normals):
    m = len(coords[0])
    with open(path, "wb") as f:
        f.write(xh.klein_header(m, len(coords)))
        for row in coords + normals:
            f.write(struct.pack(f"<{m}f", *row))
    return path


def listing(folder):
    """Every path under folder, so a test can see that nothing was added."""
    return sorted(os.path.relpath(os.path.join(d, name), folder)
                  for d, dirs, files in os.walk(folder) for name in dirs + files)


class Pictures(xh.FolderTest):

    def run_viewer(self, *args, env=None, timeout=60):
        with xh.Process([BINARY, *args], env=env) as run:
            status = run.wait_exit(timeout)
            return status, run.stdout, run.stderr

    def picture(self, *args, size=None):
        """Draws offscreen and returns the picture."""
        out = self.path(f"picture-{len(os.listdir(self.dir.name))}.png")
        extra = ["--size", str(size)] if size else []
        status, _, err = self.run_viewer("--output", out, *extra, *args)
        self.assertEqual((status, err), (0, ""), f"--output {' '.join(map(str, args))}")
        return read_png(out)

    def assertSamePicture(self, seen, expected, what):
        self.assertEqual((seen.width, seen.height), (expected.width, expected.height), what)
        if seen.rgb != expected.rgb:
            differ = [(x, y) for y in range(seen.height) for x in range(seen.width)
                      if seen[x, y] != expected[x, y]]
            x, y = differ[0]
            self.fail(f"{what}: {len(differ)} pixels differ, first at ({x}, {y}): "
                      f"{seen[x, y]} instead of {expected[x, y]}")

    def test_output_equals_the_window(self):
        cases = [
            ("klein bottle", [sample("klein-bottle")]),
            ("torus in R^10, coordinates 5 to 8", ["--show", "5,6,7,8", sample("torus-10d")]),
            ("veronese, hidden coordinate 2", ["--show", "1,3,4,2", sample("veronese")]),
        ]
        for what, args in cases:
            with self.subTest(what):
                with xh.Viewer(BINARY, *args) as viewer:
                    window = xh.wait_stable(viewer.wid)
                    self.assertEqual(viewer.close(), 0)
                picture = self.picture(*args)
                self.assertSamePicture(picture, window, what)
                self.assertFalse(picture.is_white(), what)

    def test_size_scales_the_drawn_extent(self):
        small = self.picture(sample("clifford-torus")).non_white_box()
        large = self.picture(sample("clifford-torus"), size=1024).non_white_box()
        # About the centre, every edge is twice as far out; a line is one
        # pixel wide at either size.
        for s, l, side in zip(small, large, ("left", "top", "right", "bottom")):
            self.assertAlmostEqual(2 * (s + 0.5) - 0.5, l, delta=2.5, msg=f"{side}: {small} at 512, {large} at 1024")
        self.assertFalse(self.picture(sample("clifford-torus"), size=16).is_white())

    def test_show_equals_a_file_with_the_columns_moved(self):
        m, coords, normals = read_klein(sample("veronese"))
        torus_m, torus_coords, torus_normals = read_klein(sample("clifford-torus"))
        self.assertEqual((m, torus_m), (6, 4))
        filler = [0.25] * 8

        def moved(rows, order):
            return [[row[k] for k in order] for row in rows]

        def twelve(rows):
            # The torus's four columns as coordinates 10, 11, 12 and 1 of twelve.
            return [[row[3]] + filler + [row[0], row[1], row[2]] for row in rows]
        cases = [
            ("veronese 3,5,1,6", ["--show", "3,5,1,6", sample("veronese")],
             write_columns(self.path("moved.klein"), moved(coords, [2, 4, 0, 5, 1, 3]),
                           moved(normals, [2, 4, 0, 5, 1, 3]))),
            ("coordinates 10 and 11 of twelve",
             ["--show", "10,11,12,1", write_columns(self.path("twelve.klein"), twelve(torus_coords),
                                                    twelve(torus_normals))],
             sample("clifford-torus")),
        ]
        for what, args, reference in cases:
            with self.subTest(what):
                expected = self.picture(reference)
                self.assertFalse(expected.is_white())
                self.assertSamePicture(self.picture(*args), expected, what)

    def test_saved_view_gives_the_picture_the_window_showed_at_close(self):
        saved = self.path("saved.view")
        with xh.Viewer(BINARY, "--save-view", saved, sample("veronese")) as viewer:
            start = xh.wait_stable(viewer.wid)
            xh.hold_key(viewer.wid, "a", 0.3)
            xh.scroll(viewer.wid, 3)
            xh.key(viewer.wid, "5")
            xh.key(viewer.wid, "o")
            # The turn takes 158 frames, about 2.6 s.
            xh.wait_frames(viewer.wid, 170, timeout=20)
            closing = xh.wait_stable(viewer.wid)
            self.assertNotEqual(closing.rgb, start.rgb)
            self.assertEqual(viewer.close(), 0)
        with open(saved) as f:
            text = f.read()
        # Coordinate 5 was hidden, then exchanged with y.
        self.assertRegex(text, r"^plexorama-view 3\nq = .*\naxis1 = .*\naxis2 = .*\naxis3 = .*\n"
                               r"show = 1 5 3 2\nturn4 = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
                               r"zoom = 1\npan = 0 0\nlight = file\ncolor = fixed\nslice = off\neye4 = off\n"
                               r"gizmo = off\nwire = on\nspin = off\ntour = off\nscale = 0\naa = 1\nopacity = 1\n"
                               r"stereo = off\neyes = 0.25\nline-width = 2\npoint-size = 4\ntubes = 0\n"
                               r"colors = none\ncurve = off\nbroken = off\n$")

        self.assertSamePicture(self.picture("--view", saved, sample("veronese")), closing, "restored")
        # Saved again without a change, the view is the same text.
        again = self.path("again.view")
        self.picture("--view", saved, "--save-view", again, sample("veronese"))
        with open(again) as f:
            self.assertEqual(f.read(), text)

    def test_recorded_turn(self):
        # Left of the centre by x, right of it by w: the turn moves it across.
        marker = [(-0.8 + p[0], p[1], p[2], 0.8 + p[0]) for p in MARKER]
        surface = self.path("marker.klein")
        write_klein(surface, marker)
        frames = self.path("turn")
        os.mkdir(frames)
        status, _, err = self.run_viewer("--swap", "x", "--record", os.path.join(frames, "%03d.png"), surface)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(sorted(os.listdir(frames)), [f"{k:03d}.png" for k in range(1, 160)])

        # The last frame has x and w exchanged and bound again.
        self.assertSamePicture(read_png(os.path.join(frames, "159.png")),
                               self.picture("--show", "4,2,3,1", surface), "the last frame")

        def at_angle(angle):
            return box_of([(x * math.cos(angle) + w * math.sin(angle), y, z) for x, y, z, w in marker])
        for k in (1, 40, 79, 120, 158):
            with self.subTest(frame=k):
                seen = read_png(os.path.join(frames, f"{k:03d}.png")).non_white_box()
                expected = at_angle(0.01 * k)
                for s, e, side in zip(seen, expected, ("left", "top", "right", "bottom")):
                    self.assertAlmostEqual(s, e, delta=2, msg=f"{side}: seen {seen}, expected {expected}")

    def test_recorded_clip(self):
        clip = self.path("turn.mp4")
        status, _, err = self.run_viewer("--swap", "y", "--size", "320", "--record", clip, sample("klein-bottle"))
        self.assertEqual((status, err), (0, ""))
        probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                                "-show_entries", "stream=nb_read_frames,r_frame_rate,width,height",
                                "-of", "default=noprint_wrappers=1", clip],
                               check=True, timeout=60, capture_output=True, text=True).stdout
        self.assertEqual(dict(line.split("=") for line in probe.split()),
                         {"width": "320", "height": "320", "r_frame_rate": "60/1", "nb_read_frames": "159"})
        self.assertEqual(stat.S_IMODE(os.stat(clip).st_mode) & 0o444, 0o444, "readable as any new file")

    def test_recorded_gif_gives_every_frame_the_same_delay(self):
        """GIF delays are whole hundredths: every frame 2 of them, so the turn
        keeps its 2.65 s (to within a frame) in every player."""
        clip = self.path("turn.gif")
        status, _, err = self.run_viewer("--swap", "y", "--size", "64", "--record", clip, sample("klein-bottle"))
        self.assertEqual((status, err), (0, ""))
        probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "packet=duration_time", "-of", "csv=p=0", clip],
                               check=True, timeout=60, capture_output=True, text=True).stdout
        delays = [float(d) for d in probe.split()]
        self.assertEqual(sorted(set(delays)), [0.02])
        self.assertAlmostEqual(sum(delays), 159 / 60, delta=0.02)  # within a frame

    def fake_ffmpeg(self, folder, script):
        """A PATH whose ffmpeg runs script instead."""
        bin_folder = os.path.join(folder, "..", os.path.basename(folder) + "-bin")
        os.mkdir(bin_folder)
        with open(os.path.join(bin_folder, "ffmpeg"), "w") as f:
            f.write("#!/bin/sh\n" + script + "\n")
        os.chmod(os.path.join(bin_folder, "ffmpeg"), 0o755)
        return {"PATH": bin_folder + os.pathsep + "/usr/bin:/bin"}

    def test_failures_are_one_line_and_leave_nothing(self):
        foreign = self.path("notes.txt")
        with open(foreign, "w") as f:
            f.write("not a surface\n")
        bad_view = self.path("bad.view")
        with open(bad_view, "w") as f:
            f.write("plexorama-view 1\nq = 0 0 0 1\n")
        bottle = sample("klein-bottle")
        no_display = {"DISPLAY": None, "WAYLAND_DISPLAY": None}
        # Each case writes into a folder of its own, {out}, which holds only
        # the folders listed before the run, and must hold only them after.
        cases = [
            # what, arguments, environment, fake ffmpeg, folders, exit code, stderr
            ("unshowable file", ["--output", "{out}/a.png", foreign], None, None, [], 1,
             f"plexorama: {foreign}: not a KLEIN file"),
            ("missing folder", ["--output", "{out}/none/a.png", bottle], None, None, [], 1,
             "plexorama: {out}/none/a.png: cannot write: No such file or directory"),
            ("folder in the way", ["--output", "{out}/taken.png", bottle], None, None, ["taken.png"], 1,
             "plexorama: {out}/taken.png: cannot write: Is a directory"),
            ("no display", ["--output", "{out}/a.png", bottle], no_display, None, [], 1,
             "plexorama: cannot open a window: X11: The DISPLAY environment variable is missing"),
            ("no ffmpeg", ["--record", "{out}/a.mp4", bottle], {"PATH": "/nonexistent"}, None, [], 1,
             "plexorama: {out}/a.mp4: cannot record: ffmpeg is not on PATH (Debian package ffmpeg)"),
            ("ffmpeg refuses at once", ["--output", "{out}/a.png", "--record", "{out}/a.gif", bottle], None,
             "echo 'Unknown encoder' >&2; exit 1", [], 1, "plexorama: {out}/a.gif: ffmpeg failed: Unknown encoder"),
            ("ffmpeg fails at the end", ["--frames", "5", "--record", "{out}/a.webm", bottle], None,
             'for last; do :; done; cat > "$last"; echo "No space left" >&2; exit 1', [], 1,
             "plexorama: {out}/a.webm: ffmpeg failed: No space left"),
            ("frame 2 of a sequence", ["--frames", "3", "--record", "{out}/d%d/f.png", bottle], None, None,
             ["d1"], 1, "plexorama: {out}/d%d/f.png: {out}/d2/f.png: cannot write: No such file or directory"),
            ("view file unwritable", ["--output", "{out}/a.png", "--save-view", "{out}/none/v", bottle], None,
             None, [], 1, "plexorama: {out}/none/v: cannot write: No such file or directory"),
            ("invalid view file", ["--output", "{out}/a.png", "--view", bad_view, bottle], None, None, [], 2,
             f"plexorama: {bad_view}: not a valid view file: the key 'axis1' is missing"),
            ("coordinate past m", ["--output", "{out}/a.png", "--show", "1,2,3,5", bottle], None, None, [], 2,
             "plexorama: --show 1,2,3,5: coordinate 5 is past the surface's 4"),
        ]
        for what, args, env, ffmpeg, folders, code, line in cases:
            with self.subTest(what):
                out = self.path(what.replace(" ", "-"))
                os.mkdir(out)
                for name in folders:
                    os.mkdir(os.path.join(out, name))
                if ffmpeg:
                    env = self.fake_ffmpeg(out, ffmpeg)
                status, _, err = self.run_viewer(*[a.format(out=out) for a in args], env=env)
                self.assertEqual(status, code)
                self.assertEqual(err, line.format(out=out) + "\n")
                self.assertEqual(listing(out), sorted(folders), "something was left behind")

    def test_pictures_of_nothing_are_refused_or_explained(self):
        bottle = sample("klein-bottle")
        far = write_columns(self.path("far.klein"), [[9, 9, 9, 0], [10, 9, 9, 0], [9, 10, 9, 0]], [[0, 0, 1, 0]] * 3)
        nan = write_columns(self.path("nan.klein"), [[math.nan] * 4] * 3, [[0, 0, 1, 0]] * 3)
        point = write_columns(self.path("point.klein"), [[1.6, 0, 0, 0]] * 6, [[0, 0, 1, 0]] * 6)
        speck = write_columns(self.path("speck.klein"), [[0, 0, 0, 0], [1e-6, 0, 0, 0], [0, 1e-6, 0, 0]],
                              [[0, 0, 1, 0]] * 3)
        cases = [
            ("no file", ["--output", "{out}/a.png"], 2, "plexorama: --output needs a FILE", False),
            ("no file to record", ["--record", "{out}/f%d.png"], 2, "plexorama: --record needs a FILE", False),
            ("a JPEG name", ["--output", "{out}/a.jpg", bottle], 2,
             "plexorama: bad picture name '{out}/a.jpg': it must end in .png", False),
            ("outside the view", ["--output", "{out}/a.png", far], 0,
             "plexorama: warning: {out}/a.png: nothing of the surface is drawn: it reaches 16.2 from the origin, "
             "and the view shows 1.5 whole (plexorama-convert --fit makes it fit)", True),
            ("not finite", ["--output", "{out}/a.png", nan], 0,
             "plexorama: warning: {out}/a.png: nothing of the surface is drawn: "
             "no vertex has only finite coordinates", True),
            ("one point", ["--output", "{out}/a.png", point], 0,
             "plexorama: warning: {out}/a.png: nothing of the surface is drawn: it has no area: the corners of "
             "every triangle lie on one line or at one point", True),
            ("a speck", ["--output", "{out}/a.png", "--size", "256", speck], 0,
             "plexorama: warning: {out}/a.png: nothing of the surface is drawn: it is too small to see: it spans "
             "1.41e-06, less than a pixel, 0.0147 (plexorama-convert --fit makes it fill the view)", True),
            ("panned away", ["--output", "{out}/a.png", "--zoom", "8", "--view", "{out}/../far.view", bottle], 0,
             "plexorama: warning: {out}/a.png: nothing of the surface is drawn: "
             "it lies outside the view as turned, zoomed and panned", True),
        ]
        with open(self.path("far.view"), "w") as f:
            f.write("plexorama-view 2\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\n"
                    "show = 1 2 3 4\npan = 5 5\n")
        for what, args, code, line, written in cases:
            with self.subTest(what):
                out = self.path(what.replace(" ", "-"))
                os.mkdir(out)
                status, _, err = self.run_viewer(*[a.format(out=out) for a in args])
                self.assertEqual(status, code)
                self.assertEqual(err.split("\n")[0], line.format(out=out))
                self.assertEqual(listing(out), ["a.png"] if written else [])

        # --quiet: a picture, and not a word on standard output.
        status, out, err = self.run_viewer("--quiet", "--output", self.path("q.png"), bottle)
        self.assertEqual((status, out, err), (0, "", ""))
        self.assertFalse(read_png(self.path("q.png")).is_white())


if __name__ == "__main__":
    xh.run_tests("BINARY", "SAMPLES")
