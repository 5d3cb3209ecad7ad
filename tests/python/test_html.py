"""One-file pages: the surface's bytes and the view go into the viewer's
one-file page exactly, and what cannot make a page leaves no file behind.
The page is stood in for by a small template with the same two slots; the
real one is opened in a browser by the web tests."""
import base64
import re

import numpy as np
import pytest

import plexorama.html
from conftest import run_module
from plexorama import write_klein
from plexorama.html import SURFACE_SLOT, VIEW_SLOT, view_link, write_html

TEMPLATE = f"<!doctype html>\n<title>viewer</title>\n{SURFACE_SLOT}\n{VIEW_SLOT}\n<script>run()</script>\n"
TRIANGLE = np.array([[0, 0, 0, 0], [1, 0, 0, 0], [0, 1, 0, 1]], dtype=float)
FIRST = "2;q:0,0,0,1;axis1:1,0,0;axis2:0,1,0;axis3:0,0,1;show:1,2,3,4"
SAVED = ("plexorama-view 1\nq = 0.099833414 0 0 0.995004177\naxis1 = 1 0 0\n"
         "axis2 = 0 0.980066597 0.198669329\naxis3 = 0 -0.198669329 0.980066597\nshow = 1 3 4 2\n")


@pytest.fixture
def template(tmp_path, monkeypatch):
    path = tmp_path / "plexorama-page.html"
    path.write_text(TEMPLATE)
    monkeypatch.setenv("PLEXORAMA_PAGE", str(path))
    return path


def slots(page):
    """The surface's bytes, its name and the view the page holds."""
    surface = re.search(r'id="embedded-surface" data-name="([^"]*)">([^<]*)</script>', page)
    view = re.search(r'id="embedded-view">([^<]*)</script>', page)
    return base64.b64decode(surface.group(2)), surface.group(1), view.group(1)


@pytest.mark.parametrize("view, link", [
    ({}, FIRST),
    ({"show": (1, 3, 4, 2)}, FIRST.replace("show:1,2,3,4", "show:1,3,4,2")),
    # As the floats the viewer keeps: 0.1 is 0.100000001 to nine digits.
    ({"q": np.array([0.1, 0, 0, 0.995]), "axis1": [1, 0, 0]},
     FIRST.replace("q:0,0,0,1", "q:0.100000001,0,0,0.995000005")),
    (SAVED, "2;q:0.099833414,0,0,0.995004177;axis1:1,0,0;axis2:0,0.980066597,0.198669329;"
            "axis3:0,-0.198669329,0.980066597;show:1,3,4,2"),
    # Keys past show are left out while they hold their values at start.
    ({"zoom": 1.0, "light": "file", "turn4": np.eye(4)}, FIRST),
    ({"zoom": 2, "pan": (0, -0.25), "light": "shape", "turn4": np.eye(4)[[3, 1, 2, 0]]},
     FIRST + ";turn4:0,0,0,1,0,1,0,0,0,0,1,0,1,0,0,0;zoom:2;pan:0,-0.25;light:shape"),
    ({"color": "w", "slice": (0, 0.25), "gizmo": "on"}, FIRST + ";color:w;slice:0,0.25;gizmo:on"),
    (SAVED.replace("plexorama-view 1", "plexorama-view 2") + "# a comment\r\nzoom = 0.5\n",
     "2;q:0.099833414,0,0,0.995004177;axis1:1,0,0;axis2:0,0.980066597,0.198669329;"
     "axis3:0,-0.198669329,0.980066597;show:1,3,4,2;zoom:0.5"),
])
def test_views_become_the_page_s_link_text(view, link):
    assert view_link(view) == link


@pytest.mark.parametrize("view, dim, fault", [
    ({"w": (0, 0, 0, 1)}, 4, "unknown key 'w'"),
    ({"q": (0, 0, 1)}, 4, "q takes 4 values, not 3"),
    ({"q": (0, 0, 0, 0)}, 4, "q is zero"),
    ({"axis2": (0, float("nan"), 0)}, 4, "axis2 has a value that is not a finite number"),
    ({"show": (1, 2, 3, 3)}, 4, "four different coordinates from 1 to 4"),
    ({"show": (1, 2, 3, 5)}, 4, "four different coordinates from 1 to 4"),
    ({"show": (0, 1, 2, 3)}, 4, "four different coordinates from 1 to 4"),
    ({"show": (1, 2, 3, 4.5)}, 4, "show takes whole numbers"),
    ({"turn4": np.ones((4, 4))}, 4, "turn4 is not orthonormal"),
    ({"turn4": np.eye(3)}, 4, "turn4 takes 16 values, not 9"),
    ({"zoom": 9}, 4, "zoom is not from 0.125 to 8"),
    ({"light": "bright"}, 4, "light is file, shape or smooth, not 'bright'"),
    ({"color": "w;zoom:8"}, 4, "color has a value that is not a word or a number"),
    ("plexorama-view 4\nq = 0 0 0 1\n", 4, "not a view file"),
])
def test_views_the_viewer_would_refuse_are_refused(view, dim, fault):
    with pytest.raises(ValueError, match=re.escape(fault)):
        view_link(view, dim)


def test_a_view_file_can_be_named_by_its_path(tmp_path):
    path = tmp_path / "turned.view"
    path.write_text(SAVED)
    assert view_link(path) == view_link(SAVED)


def test_the_page_holds_exactly_the_klein_file_and_the_view(tmp_path, template):
    page = tmp_path / "figure 1.html"
    write_html(page, TRIANGLE, view={"show": (4, 3, 2, 1)})
    write_klein(tmp_path / "same.klein", TRIANGLE)
    surface, name, view = slots(page.read_text())
    assert surface == (tmp_path / "same.klein").read_bytes()
    assert name == "figure1.klein"
    assert view == FIRST.replace("show:1,2,3,4", "show:4,3,2,1")
    # Nothing else of the viewer changes.
    rest = re.sub(r'(id="embedded-\w+")[^>]*>[^<]*<', r"\1><", page.read_text())
    assert rest == TEMPLATE


def test_what_cannot_make_a_page_leaves_no_file(tmp_path, template, monkeypatch):
    page = tmp_path / "figure.html"
    monkeypatch.setattr(plexorama.html, "PAGE_LIMIT", 111)
    rows = [
        (lambda: write_html(page, TRIANGLE[:2]), ValueError),
        (lambda: write_html(page, np.full((3, 4), np.inf)), ValueError),
        (lambda: write_html(page, TRIANGLE, view={"show": (1, 2, 3, 5)}), ValueError),
        (lambda: write_html(page, np.tile(TRIANGLE, (2, 1))), "the surface takes 207 bytes (6 vertices of 4 "
         "coordinates); a one-file page holds at most 111 bytes, as much as a browser takes in"),
    ]
    for make, error in rows:
        with pytest.raises(ValueError, match=None if error is ValueError else re.escape(error)):
            make()
        assert sorted(p.name for p in tmp_path.iterdir()) == ["plexorama-page.html"]
    write_html(page, TRIANGLE)
    page.unlink()
    template.write_text("<!doctype html>\n<p>something else</p>\n")
    with pytest.raises(ValueError, match="is not the one-file viewer"):
        write_html(page, TRIANGLE)
    template.unlink()
    with pytest.raises(FileNotFoundError, match="plexorama-page.html is not installed"):
        write_html(page, TRIANGLE)
    assert list(tmp_path.iterdir()) == []


def test_the_converter_writes_a_page_for_an_html_name(tmp_path, template):
    source = tmp_path / "in.klein"
    write_klein(source, TRIANGLE)
    out = tmp_path / "out.html"
    status, stdout, stderr = run_module("plexorama.convert", str(source), str(out))
    assert (status, stderr) == (0, "")
    assert stdout == f"{out}: 3 vertices, 1 triangles, m = 4, fits the view\n"
    assert slots(out.read_text())[0] == source.read_bytes()

    template.unlink()
    out.unlink()
    status, stdout, stderr = run_module("plexorama.convert", str(source), str(out))
    assert status == 1 and stdout == ""
    assert re.fullmatch(rf"plexorama-convert: {re.escape(str(out))}: cannot write: the one-file viewer "
                        r"plexorama-page.html is not installed \(looked in [^\n]*\)[^\n]*\n", stderr)
    assert not out.exists()
