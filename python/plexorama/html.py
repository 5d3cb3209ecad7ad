"""One-file pages: a surface and the viewer in a single HTML file that opens
in a browser from disk, with no server and no network.

The page is the viewer built as one file (plexorama-page.html, installed in
share/plexorama/ beside the samples) with the KLEIN file's bytes in it as
base64, and optionally the view to open at, as a view file gives it."""
import html
import os
import re
import sys

import numpy as np

from .command import megabytes
from .klein import checked_surface, write_whole
from .triangles import base64_chunks, klein_chunks, klein_size

TEMPLATE = "plexorama-page.html"
SURFACE_SLOT = '<script type="application/octet-stream" id="embedded-surface"></script>'
VIEW_SLOT = '<script type="text/plain" id="embedded-view"></script>'
VIEW_VERSIONS = ("plexorama-view 1", "plexorama-view 2")
# The view file's keys and how many values each takes; the first five must
# be given in a view file, the others take these values when left out.
VIEW_KEYS = {"q": 4, "axis1": 3, "axis2": 3, "axis3": 3, "show": 4, "turn4": 16, "zoom": 1, "pan": 2,
             "light": 1}
VIEW_DEFAULT = {"q": (0, 0, 0, 1), "axis1": (1, 0, 0), "axis2": (0, 1, 0), "axis3": (0, 0, 1),
                "show": (1, 2, 3, 4), "turn4": tuple(np.eye(4).ravel()), "zoom": (1,), "pan": (0, 0),
                "light": ("file",)}
OPTIONAL = ("turn4", "zoom", "pan", "light")
# The cues' keys go to the page as given; the viewer in it checks them.
CUE_KEYS = ("color", "slice", "eye4", "gizmo", "wire")
# The most KLEIN bytes a page holds. In headless Chromium a page of 400 MB
# of surface still opens, one of 420 MB does not: its base64 passes the
# longest string there, 2^29 - 24 characters (402 MB of surface).
PAGE_LIMIT = 300_000_000


def find_template():
    """The path of the one-file viewer: $PLEXORAMA_PAGE when set, else the one
    installed under the package's prefix or the system's, else the one the
    source tree's build (build/web) made. Raises FileNotFoundError."""
    here = os.path.dirname(os.path.abspath(__file__))
    places = [os.path.join(here, "..", "..", "..", "..", "share", "plexorama"),
              os.path.join(sys.prefix, "share", "plexorama"),
              "/usr/local/share/plexorama", "/usr/share/plexorama",
              os.path.join(here, "..", "..", "build", "web")]
    places = list(dict.fromkeys(os.path.normpath(place) for place in places))
    candidates = [os.environ["PLEXORAMA_PAGE"]] if os.environ.get("PLEXORAMA_PAGE") else [
        os.path.join(place, TEMPLATE) for place in places]
    for path in candidates:
        if os.path.isfile(path):
            return os.path.normpath(path)
    raise FileNotFoundError(f"the one-file viewer {TEMPLATE} is not installed (looked in "
                            + ", ".join(os.path.normpath(os.path.dirname(p)) for p in candidates)
                            + "): build the page with Emscripten, or set PLEXORAMA_PAGE")


def _read_view_text(text):
    """The keys of a view file's text, as a dict of tuples of strings."""
    lines = text.strip().replace("\r\n", "\n").split("\n")
    if lines[0] not in VIEW_VERSIONS:
        raise ValueError("view: not a view file")
    keys = {}
    for line in lines[1:]:
        if line.strip() and not line.lstrip().startswith("#"):
            key, _, values = line.partition("=")
            keys[key.strip()] = tuple(values.split())
    return keys


def view_link(view, dim=255):
    """The view as the page's link text ("2;q:...;show:..."), from a dict of
    the view file's keys (q, axis1, axis2, axis3, show, turn4 row by row,
    zoom, pan, light; coordinates count from 1; missing keys keep the first
    view's values), the text of a view file, or the path of one. Raises ValueError for a view the viewer would
    refuse, or whose coordinates pass dim."""
    if isinstance(view, (str, os.PathLike)):
        text = str(view)
        if not text.startswith("plexorama-view "):
            with open(view, encoding="utf-8") as f:
                text = f.read()
        view = _read_view_text(text)
    unknown = set(view) - set(VIEW_KEYS) - set(CUE_KEYS)
    if unknown:
        raise ValueError(f"view: unknown key {sorted(unknown)[0]!r}")
    keys = {**VIEW_DEFAULT, **view}
    parts = ["2"]
    for key, count in VIEW_KEYS.items():
        values = (keys[key],) if isinstance(keys[key], str) else tuple(np.ravel(keys[key]))
        if len(values) != count:
            raise ValueError(f"view: {key} takes {count} values, not {len(values)}")
        if key == "show":
            # Plain digits, as the viewer reads them: not 4.0, nor +4.
            if not all(str(v).isdigit() for v in values):
                raise ValueError(f"view: show takes whole numbers, not {values}")
            shown = [int(v) for v in values]
            if any(c < 1 or c > dim for c in shown) or len(set(shown)) != 4:
                raise ValueError(f"view: show names four different coordinates from 1 to {dim}, "
                                 f"not {values}")
            text = ",".join(str(c) for c in shown)
        elif key == "light":
            if values[0] not in ("file", "shape"):
                raise ValueError(f"view: light is file or shape, not {values[0]!r}")
            text = values[0]
        else:
            # As floats, which the viewer keeps; nine digits read back the same.
            numbers = np.array([float(v) for v in values], dtype=np.float32)
            if not np.all(np.isfinite(numbers)):
                raise ValueError(f"view: {key} has a value that is not a finite number")
            if key == "q" and not numbers.any():
                raise ValueError("view: q is zero")
            if key == "turn4" and not np.allclose(numbers.reshape(4, 4) @ numbers.reshape(4, 4).T, np.eye(4),
                                                   rtol=0, atol=1e-4):
                raise ValueError("view: turn4 is not orthonormal")
            if key == "zoom" and not 0.125 <= numbers[0] <= 8:
                raise ValueError("view: zoom is not from 0.125 to 8")
            text = ",".join(f"{float(v):.9g}" for v in numbers)
        if key in OPTIONAL and text == ",".join(f"{float(v):.9g}" if key != "light" else v
                                                for v in VIEW_DEFAULT[key]):
            continue
        parts.append(f"{key}:{text}")
    for key in CUE_KEYS:
        if key in view:
            values = (view[key],) if isinstance(view[key], str) else tuple(np.ravel(view[key]))
            words = [v if isinstance(v, str) else f"{float(v):.9g}" for v in values]
            if not all(re.fullmatch(r"[a-z0-9.+-]+", w) for w in words):
                raise ValueError(f"view: {key} has a value that is not a word or a number")
            parts.append(f"{key}:{','.join(words)}")
    return ";".join(parts)


def read_template():
    """The text of the one-file viewer (see find_template). Raises
    FileNotFoundError, or ValueError for a file that is not the viewer."""
    template = find_template()
    with open(template, encoding="utf-8") as f:
        page = f.read()
    if SURFACE_SLOT not in page or VIEW_SLOT not in page or page.index(VIEW_SLOT) < page.index(SURFACE_SLOT):
        raise ValueError(f"{template} is not the one-file viewer")
    return page


def check_page_size(n, m):
    """Raises ValueError for a surface of n vertices of m coordinates too
    large for a one-file page."""
    size = klein_size(n, m)
    if size > PAGE_LIMIT:
        raise ValueError(f"the surface takes {megabytes(size)} ({n} vertices of {m} coordinates); a one-file "
                         f"page holds at most {megabytes(PAGE_LIMIT)}, as much as a browser takes in")


def page_chunks(template, parts, name, link=""):
    """The text of the one-file page of the surface parts (Triangles) a piece
    at a time: template (read_template) with the KLEIN file as base64 and
    named name, and the view's link text (view_link), if any."""
    before, after = template.split(SURFACE_SLOT, 1)
    yield before + SURFACE_SLOT.replace("></script>", f' data-name="{html.escape(name)}">')
    for chunk in base64_chunks(klein_chunks(parts)):
        yield chunk.decode("ascii")
    yield "</script>" + after.replace(VIEW_SLOT, VIEW_SLOT.replace("></script>", f">{link}</script>"), 1)


def write_page(path, template, parts, name, link=""):
    """Writes the one-file page of page_chunks to path, aside and renamed
    into place. Raises ValueError for a surface too large for a page."""
    check_page_size(sum(t.n for t in parts), parts[0].m)
    write_whole(path, (chunk.encode() for chunk in page_chunks(template, parts, name, link)))


def write_html(path, coords, normals=None, view=None):
    """Writes a one-file page of the surface: coords and normals as
    write_klein takes them (and refuses), view as view_link takes it, or
    None for the first view. The page is written aside and renamed into
    place. Raises FileNotFoundError when the one-file viewer is missing,
    ValueError for what cannot make a page, a surface too large for a
    browser (more than PAGE_LIMIT bytes as a KLEIN file) among it."""
    template = read_template()
    surface = page_surface(coords, normals)
    link = view_link(view, surface.m) if view is not None else ""
    write_page(path, template, [surface], page_name(path), link)


def page_surface(coords, normals=None):
    """The surface as checked_surface gives it, refused first (ValueError)
    when it is too large for a page."""
    shape = np.shape(coords)
    if len(shape) == 2:
        check_page_size(*shape)
    return checked_surface(coords, normals)


def page_name(path):
    """The surface's name in a page written to path: its name, as KLEIN."""
    name = os.path.splitext(os.path.basename(path))[0] + ".klein"
    return "".join(c for c in name if c.isalnum() or c in "._-")
