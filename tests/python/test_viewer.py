"""show(), picture(), clip() and view(): the real viewer on a surface handed
over from Python, its options from keywords, and nothing left behind."""
import base64
import gzip
import html
import json
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
import pytest

from conftest import VIEWER, needs
from plexorama import clip, picture, show, view, write_klein
from plexorama.samples import sample_surface
import plexorama.options
from plexorama.options import LECTURE, find_viewer, lecture_view, view_options

pytestmark = needs(VIEWER, "the viewer")
DISPLAY = os.environ.get("DISPLAY")
PAGE = os.environ.get("PLEXORAMA_PAGE")


@pytest.fixture
def scratch(tmp_path, monkeypatch):
    """A temporary folder of the test's own, for the files the package makes."""
    folder = tmp_path / "tmp"
    folder.mkdir()
    monkeypatch.setattr(tempfile, "tempdir", str(folder))
    return folder


@pytest.fixture(scope="module")
def bottle():
    return sample_surface("klein-bottle", 8)


@pytest.mark.parametrize("view, options", [
    (dict(show=np.array([1, 3, 4, 2]), swap="y"), ["--show=1,3,4,2", "--swap=y"]),
    (dict(turn={"yw": 30, "xz": -15.5}), ["--turn=yw=30,xz=-15.5"]),
    (dict(save_view="a b.view", frames=3), ["--save-view=a b.view", "--frames=3"]),
    (dict(gizmo=True, wire=False, zoom=None), ["--gizmo"]),
])
def test_keywords_become_options(view, options):
    assert view_options(view) == options


@pytest.mark.parametrize("display", [None, DISPLAY] if DISPLAY else [None],
                         ids=["under xvfb-run", "on the display"][:2 if DISPLAY else 1])
def test_picture_is_the_viewers_png_of_the_asked_size(tmp_path, scratch, monkeypatch, bottle, display):
    if display is None:
        monkeypatch.delenv("DISPLAY", raising=False)
    coords, normals = bottle
    shot = picture(coords, normals, size=96, plain=True, show=(1, 3, 4, 2))
    assert shot.size == (96, 96) and shot.data.startswith(b"\x89PNG\r\n\x1a\n")
    assert shot._repr_png_() == shot.data
    shot.save(tmp_path / "saved.png")
    assert (tmp_path / "saved.png").read_bytes() == shot.data
    # The same picture as the viewer draws from the file itself.
    write_klein(tmp_path / "bottle.klein", coords, normals)
    direct = [VIEWER, "--size", "96", "--show", "1,3,4,2", "--output", str(tmp_path / "direct.png"),
              str(tmp_path / "bottle.klein")]
    subprocess.run((["xvfb-run", "-a"] if display is None else []) + direct, check=True, capture_output=True,
                   timeout=60)
    assert (tmp_path / "direct.png").read_bytes() == shot.data
    assert os.listdir(scratch) == []


def test_failures_are_clear_errors(tmp_path, scratch, monkeypatch, bottle):
    monkeypatch.delenv("DISPLAY", raising=False)
    coords, normals = bottle
    rows = [
        (lambda: picture(coords, shwo=(1, 2, 3, 4)), ValueError,
         "plexorama: unknown option '--shwo=1,2,3,4' (the keywords as options: "),
        (lambda: picture(coords, show=(1, 2, 3, 9)), ValueError, "plexorama: --show 1,2,3,9: coordinate 9 is past"),
        (lambda: picture(coords, size=5), ValueError, "plexorama: bad picture size '5'"),
        (lambda: picture(coords, output="x.png"), TypeError, "picture() takes no output"),
        (lambda: picture(coords[:4]), ValueError, "coords: 4 vertices is not a whole number of triangles"),
        (lambda: show(coords), RuntimeError, "show() needs a display and DISPLAY is not set"),
        (lambda: clip(coords, format="avi", spin="xw"), ValueError, "clip(): format is mp4, webm or gif, not 'avi'"),
        (lambda: clip(coords, show=(1, 2, 4, 3)), ValueError, "clip() needs spin=, swap= or frames="),
        (lambda: clip(coords, spin="xw", record="a.mp4"), TypeError, "clip() takes no record"),
        (lambda: picture(coords, frame=[1, 0, 0, 0]), ValueError, "frame: expected 4 rows of m numbers"),
        (lambda: picture(coords, frame=np.eye(4) * 1j), ValueError,
         "frame: expected 4 rows of m numbers (x, y, z and w): found complex numbers"),
        (lambda: picture(coords, view={"show": "1 2 3 4"}), ValueError,
         "plexorama: view: not a valid view file: the key 'q' is missing"),
        (lambda: view(coords, output="a.png", frames=3), TypeError, "view() takes no output, frames"),
        (lambda: view(coords, shwo=1), ValueError, "plexorama: unknown option '--shwo=1' (the keywords as options: "),
    ]
    for call, kind, message in rows:
        with pytest.raises(kind) as error:
            call()
        assert str(error.value).startswith(message), str(error.value)
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(RuntimeError, match="install the Debian package xvfb"):
        picture(coords)
    with pytest.raises(RuntimeError, match="install the Debian package ffmpeg"):
        clip(coords, spin="xw")
    monkeypatch.setenv("PLEXORAMA", str(tmp_path))
    with pytest.raises(RuntimeError, match=f"PLEXORAMA names {tmp_path}, which is not a program"):
        find_viewer()
    assert os.listdir(scratch) == []


@needs(DISPLAY, "a display")
def test_show_opens_the_window_and_leaves_nothing(scratch, bottle):
    coords, normals = bottle
    assert show(coords, normals, frames=2) is None
    running = show(coords, normals, wait=False, frames=120)
    assert running.poll() is None and os.listdir(scratch) == []
    assert running.wait(30) == 0
    with pytest.raises(ValueError, match=r"^plexorama: unknown option '--shwo=1'"):
        show(coords, wait=False, shwo=1)
    assert os.listdir(scratch) == []


def test_a_picture_of_nothing_warns_why(scratch, bottle):
    with pytest.warns(UserWarning, match=r"^plexorama: warning: picture\(\): nothing of the surface is drawn: "
                                         r"it reaches 15 from the origin"):
        picture(bottle[0] * 10, size=32)


@pytest.mark.parametrize("format, start, shown", [
    ("mp4", b"ftyp", "<video controls loop autoplay muted playsinline src=\"data:video/mp4;base64,"),
    ("gif", b"GIF89a", "<img src=\"data:image/gif;base64,"),
])
def test_clips_are_one_turn_shown_inline(tmp_path, scratch, bottle, format, start, shown):
    made = clip(*bottle, size=32, format=format, spin="xw=720")
    assert start in made.data[:12]
    assert made._repr_html_().startswith(shown)
    assert base64.b64decode(made._repr_html_().split("base64,")[1].split('"')[0]) == made.data
    made.save(tmp_path / f"turn.{format}")
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames",
                            "-of", "csv=p=0", str(tmp_path / f"turn.{format}")], capture_output=True, text=True)
    # One turn at 720 degrees a second: 30 frames at 60 a second, 25 at 50.
    assert int(probe.stdout) == (30 if format == "mp4" else 25)
    assert os.listdir(scratch) == []


TILT = "plexorama-view 1\nq = 0.3 0 0 0.95\naxis1 = 1 0 0\naxis2 = 0 0.8 0.6\naxis3 = 0 -0.6 0.8\nshow = 1 2 3 4\n"


@pytest.mark.parametrize("given, plain, aa, drawn", [
    ({}, False, True, {**LECTURE, "aa": 4}),
    ({}, True, True, {}),
    # What the caller says of the view rules.
    ({"light": "file", "turn": None, "spin": "xw"}, False, False, {"light": "file", "turn": None, "spin": "xw"}),
    ({"frame": np.eye(4)}, False, False, {"light": "shape", "frame": np.eye(4)}),
    ({"view": TILT}, False, True, {"view": TILT}),
])
def test_views_and_clips_start_at_the_lecture_s_view(monkeypatch, given, plain, aa, drawn):
    monkeypatch.setattr(plexorama.options, "_has_option", lambda viewer, option: aa and option == "--aa")
    assert view_options(lecture_view(given, plain)) == view_options(drawn)


@needs(PAGE, "the one-file page")
def test_a_view_opens_at_the_view_its_options_give(tmp_path, scratch, bottle):
    coords, normals = bottle
    write_klein(tmp_path / "bottle.klein", coords, normals)
    (tmp_path / "tilt.view").write_text(TILT)
    # The keywords given, the viewer's options for the same view.
    for given, options in [({}, view_options(lecture_view({}))),
                           (dict(plain=True, view=TILT, color="w"), ["--view", "tilt.view", "--color=w"])]:
        text = re.search(r'id="embedded-view">([^<]*)</script>', view(coords, normals, **given).page).group(1)
        assert text == subprocess.run([VIEWER, "--print-view", *options, "--", "bottle.klein"], cwd=tmp_path,
                                      capture_output=True, text=True, check=True).stdout
    assert os.listdir(scratch) == []


@needs(PAGE, "the one-file page")
def test_a_view_is_the_page_in_a_frame_of_its_own(tmp_path, scratch):
    coords, normals = sample_surface("klein-bottle", 40)
    shown = view(coords, normals, name='a "bottle"')
    frame = shown._repr_html_()
    # Each view of a 40 x 40 grid adds at most 1 MB to a notebook.
    assert len(frame) < 1e6
    match = re.fullmatch(r'<iframe srcdoc="([^"]*)" sandbox="allow-scripts" title="plexorama: a &quot;bottle&quot;" '
                         r'style="[^"]*"></iframe>', frame)
    page = html.unescape(match.group(1))
    packed = re.search(r'<script type="application/gzip" id="packed-viewer">([^<]*)</script>', page).group(1)
    script = gzip.decompress(base64.b64decode(packed)).decode()
    assert script in shown.page and "WebAssembly" in script
    assert 'data-name="a &quot;bottle&quot;"' in shown.page
    shown.save(tmp_path / "bottle.html")
    assert (tmp_path / "bottle.html").read_text() == shown.page
    with pytest.raises(ValueError, match="a one-file page holds at most"):
        view(np.zeros((4 * 10**6, 10)))
    assert os.listdir(scratch) == []


# A viewer that says what it was handed: the name of the path, and the
# first bytes of the file behind it.
FAKE_VIEWER = """#!/usr/bin/python3
import json, os, sys
with open(sys.argv[-1], "rb") as f:
    json.dump([os.path.basename(sys.argv[-1]), f.read(5).decode()], open(os.environ["REPORT"], "w"))
"""


@pytest.mark.parametrize("name, shown", [
    (None, "surface from Python"),
    ("torus in R^5", "torus in R^5"),
    ("u/2, v\n", "u\u22152, v"),
    ("..", "surface from Python"),
])
def test_show_names_the_surface_and_removes_the_name(tmp_path, scratch, monkeypatch, bottle, name, shown):
    fake = tmp_path / "viewer"
    fake.write_text(FAKE_VIEWER.replace("/usr/bin/python3", sys.executable))
    fake.chmod(0o755)
    monkeypatch.setenv("PLEXORAMA", str(fake))
    monkeypatch.setenv("REPORT", str(tmp_path / "report"))
    monkeypatch.setenv("DISPLAY", DISPLAY or ":0")
    show(*bottle, name=name)
    assert json.loads((tmp_path / "report").read_text()) == [shown, "KLEIN"]
    assert os.listdir(scratch) == []
