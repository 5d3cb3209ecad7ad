"""One-file pages: the surface's bytes and the view go into the viewer's
one-file page exactly, and what cannot make a page leaves no file behind.
The page is stood in for by a small template with the same two slots; the
real one is opened in a browser by the web tests."""
import base64
import re
import subprocess

import numpy as np
import pytest

import plexorama.html
import plexorama.options
import plexorama.viewer
from conftest import VIEWER, needs, run_module
from plexorama import polytope, write_klein
from plexorama.html import SURFACE_SLOT, VIEW_SLOT, write_html
from plexorama.options import ViewerMissing

TEMPLATE = f"<!doctype html>\n<title>viewer</title>\n{SURFACE_SLOT}\n{VIEW_SLOT}\n<script>run()</script>\n"
TRIANGLE = np.array([[0, 0, 0, 0], [1, 0, 0, 0], [0, 1, 0, 1]], dtype=float)
SAVED = ("plexorama-view 1\nq = 0.099833414 0 0 0.995004177\naxis1 = 1 0 0\n"
         "axis2 = 0 0.980066597 0.198669329\naxis3 = 0 -0.198669329 0.980066597\nshow = 1 3 4 2\n")
FIRST = {"q": (0, 0, 0, 1), "axis1": (1, 0, 0), "axis2": np.array([0, 1, 0]), "axis3": [0, 0, 1]}


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


def printed(tmp_path, *options):
    """What the viewer prints for TRIANGLE and these options, run in tmp_path."""
    write_klein(tmp_path / "same.klein", TRIANGLE)
    return subprocess.run([VIEWER, "--print-view", *options, "--", "same.klein"], check=True, cwd=tmp_path,
                          capture_output=True, text=True).stdout


@needs(VIEWER, "the viewer")
@pytest.mark.parametrize("given, options", [
    (dict(view=SAVED), ["--view", "saved.view"]),
    (dict(view={**FIRST, "show": (1, 3, 4, 2), "zoom": 2.5}), ["--view", "first.view"]),
    (dict(show=(2, 1, 3, 4), turn={"yw": 30}, color="w"), ["--show", "2,1,3,4", "--turn", "yw=30", "--color", "w"]),
    # Rows x, y, z, w: x shows coordinate 2, w coordinate 1.
    (dict(frame=[[0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1], [1, 0, 0, 0]], view=SAVED),
     ["--view", "saved.view", "--basis", "0,1,0,0,0,0,1,0,0,0,0,1,1,0,0,0"]),
])
def test_the_page_opens_at_the_view_the_viewer_prints(tmp_path, template, monkeypatch, given, options):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "saved.view").write_text(SAVED)
    (tmp_path / "first.view").write_text("plexorama-view 3\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\n"
                                         "axis3 = 0 0 1\nshow = 1 3 4 2\nzoom = 2.5\n")
    write_html(tmp_path / "page.html", TRIANGLE, **given)
    assert slots((tmp_path / "page.html").read_text())[2] == printed(tmp_path, *options)


@needs(VIEWER, "the viewer")
def test_a_list_of_shapes_goes_in_slot_after_slot(tmp_path, template):
    write_klein(tmp_path / "a.klein", TRIANGLE)
    write_html(tmp_path / "page.html", [tmp_path / "a.klein", polytope("5-cell"), TRIANGLE], zoom=2)
    page = (tmp_path / "page.html").read_text()
    held = re.findall(r'(?:id="embedded-surface"|class="embedded-shape") data-name="([^"]*)">([^<]*)</script>', page)
    assert [name for name, _ in held] == ["a.klein", "shape-2.off", "shape-3.klein"]
    assert base64.b64decode(held[0][1]) == base64.b64decode(held[2][1]) == (tmp_path / "a.klein").read_bytes()
    assert base64.b64decode(held[1][1]).startswith(b"nOFF 4\n")
    assert slots(page)[2] == printed(tmp_path, "--zoom", "2")
    # A file that is not there makes no page.
    with pytest.raises(FileNotFoundError):
        write_html(tmp_path / "none.html", [tmp_path / "a.klein", tmp_path / "gone.skel"])
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.klein", "page.html", "plexorama-page.html", "same.klein"]


def test_without_the_viewer_a_view_goes_in_unchecked(tmp_path, template, monkeypatch):
    def missing():
        raise ViewerMissing("cannot find the viewer")
    monkeypatch.setattr(plexorama.viewer, "find_viewer", missing)
    monkeypatch.setattr(plexorama.options, "find_viewer", missing)
    page = tmp_path / "page.html"
    write_html(page, TRIANGLE, view={"q": np.array([0, 0, 0, 1.5]), "show": "1 2 3 4"})
    assert slots(page.read_text())[2] == "plexorama-view 3\nq = 0.0 0.0 0.0 1.5\nshow = 1 2 3 4\n"
    with pytest.raises(ViewerMissing):
        write_html(page, TRIANGLE, view=SAVED, zoom=2)
    # The slot is a script element, which "</script>" would end.
    with pytest.raises(ValueError, match="view: not a view file: it holds a '<'"):
        write_html(page, TRIANGLE, view=SAVED + "# </script><script>alert(1)</script>\n")



def test_the_page_holds_exactly_the_klein_file(tmp_path, template):
    page = tmp_path / "figure 1.html"
    write_html(page, TRIANGLE)
    write_klein(tmp_path / "same.klein", TRIANGLE)
    surface, name, view = slots(page.read_text())
    assert surface == (tmp_path / "same.klein").read_bytes()
    assert name == "figure1.klein"
    assert view == ""
    # Nothing else of the viewer changes.
    rest = re.sub(r'(id="embedded-\w+")[^>]*>[^<]*<', r"\1><", page.read_text())
    assert rest == TEMPLATE


@needs(VIEWER, "the viewer")
def test_what_cannot_make_a_page_leaves_no_file(tmp_path, template, monkeypatch):
    page = tmp_path / "figure.html"
    monkeypatch.setattr(plexorama.html, "PAGE_LIMIT", 111)
    rows = [
        (dict(coords=TRIANGLE[:2]), ValueError, "coords: 2 vertices is not a whole number of triangles"),
        (dict(coords=np.full((3, 4), np.inf)), ValueError, "coords: row 0 is not finite"),
        (dict(coords=np.tile(TRIANGLE, (2, 1))), ValueError, "the surface takes 207 bytes (6 vertices of 4 "
         "coordinates); a one-file page holds at most 111 bytes, as much as a browser takes in"),
        (dict(view={"show": (1, 2, 3, 4)}), ValueError,
         "plexorama: view: not a valid view file: the key 'q' is missing"),
        (dict(view=SAVED.replace("1 3 4 2", "1 3 4 5")), ValueError, "plexorama: view: coordinate 5 is past the "
         "surface's 4"),
        (dict(show=(1, 2, 3, 9)), ValueError, "plexorama: --show 1,2,3,9: coordinate 9 is past the surface's 4"),
        (dict(output="x.png", size=64), TypeError, "write_html() takes no output, size"),
    ]
    for given, kind, error in rows:
        with pytest.raises(kind) as raised:
            write_html(page, **{"coords": TRIANGLE, **given})
        assert str(raised.value).startswith(error), str(raised.value)
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
    (tmp_path / "saved.view").write_text(SAVED)
    source = tmp_path / "in.klein"
    write_klein(source, TRIANGLE)
    out = tmp_path / "out.html"
    status, stdout, stderr = run_module("plexorama.convert", str(source), str(out))
    assert (status, stderr) == (0, "")
    assert stdout == f"{out}: 3 vertices, 1 triangles, m = 4, fits the view\n"
    assert slots(out.read_text())[0] == source.read_bytes()
    if VIEWER:
        # A view file the viewer takes, one it refuses, and a view for a KLEIN file.
        (tmp_path / "bad.view").write_text(SAVED.replace("1 3 4 2", "1 3 4 5"))
        for page, view, status, error in [
                ("good.html", "saved.view", 0, ""),
                ("bad.html", "bad.view", 2, f"plexorama: {tmp_path}/bad.view: coordinate 5 is past the surface's 4\n"),
                ("bad.klein", "saved.view", 2, "--view: a view is for a page (OUT.html), not a KLEIN file\n")]:
            got, _, stderr = run_module("plexorama.convert", str(source), str(tmp_path / page), "--view",
                                        str(tmp_path / view))
            assert (got, stderr.endswith(error), (tmp_path / page).exists()) == (status, True, not status), stderr
        assert slots((tmp_path / "good.html").read_text())[2] == printed(tmp_path, "--view", "saved.view")

    template.unlink()
    out.unlink()
    status, stdout, stderr = run_module("plexorama.convert", str(source), str(out))
    assert status == 1 and stdout == ""
    assert re.fullmatch(rf"plexorama-convert: {re.escape(str(out))}: cannot write: the one-file viewer "
                        r"plexorama-page.html is not installed \(looked in [^\n]*\)[^\n]*\n", stderr)
    assert not out.exists()

