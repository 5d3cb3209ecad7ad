"""show() and picture(): the real viewer on a surface handed over from
Python, its options from keywords, and nothing left behind."""
import os
import subprocess
import tempfile

import numpy as np
import pytest

from conftest import VIEWER, needs
from plexorama import picture, show, write_klein
from plexorama.samples import sample_surface
from plexorama.viewer import find_viewer, view_options

pytestmark = needs(VIEWER, "the viewer")
DISPLAY = os.environ.get("DISPLAY")


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
    shot = picture(coords, normals, size=96, show=(1, 3, 4, 2))
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
         "plexorama: unknown option '--shwo=1,2,3,4' (the keywords as options: --shwo=1,2,3,4)"),
        (lambda: picture(coords, show=(1, 2, 3, 9)), ValueError, "plexorama: --show 1,2,3,9: coordinate 9 is past"),
        (lambda: picture(coords, size=5), ValueError, "plexorama: bad picture size '5'"),
        (lambda: picture(coords, output="x.png"), TypeError, "picture() takes no output"),
        (lambda: picture(coords[:4]), ValueError, "coords: 4 vertices is not a whole number of triangles"),
        (lambda: show(coords), RuntimeError, "show() needs a display and DISPLAY is not set"),
    ]
    for call, kind, message in rows:
        with pytest.raises(kind) as error:
            call()
        assert str(error.value).startswith(message), str(error.value)
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(RuntimeError, match="install the Debian package xvfb"):
        picture(coords)
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
