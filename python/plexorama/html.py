"""One-file pages: a surface and the viewer in a single HTML file that opens
in a browser from disk, with no server and no network, and the same page
as the interactive viewer in a notebook.

The page is the viewer built as one file (plexorama-page.html, installed in
share/plexorama/ beside the samples) with the KLEIN file's bytes in it as
base64, and optionally the text of a view file to open at, which the viewer
program writes for the view options given (plexorama --print-view), having
checked them."""
import base64
import gzip
import html
import os
import sys
import tempfile
from collections.abc import Mapping

import numpy as np

from .command import megabytes
from .klein import checked_surface, open_regular, read_klein, write_whole
from .shapes import Shape, shape_list, write_shape
from .triangles import base64_chunks, klein_chunks, klein_size
from .options import (NOT_VIEW_STATE, ViewerMissing, given, is_parts, is_path, is_view_text, lecture_view,
                      read_view, written_view)
from .viewer import NAME, print_view

TEMPLATE = "plexorama-page.html"
SURFACE_SLOT = '<script type="application/octet-stream" id="embedded-surface"></script>'
VIEW_SLOT = '<script type="text/plain" id="embedded-view"></script>'
# Each shape of a list after the first, which takes the surface's slot.
SHAPE_SLOT = '<script type="application/octet-stream" class="embedded-shape"></script>'
# The most KLEIN bytes a page holds. In headless Chromium a page of 400 MB
# of surface still opens, one of 420 MB does not: its base64 passes the
# longest string there, 2^29 - 24 characters (402 MB of surface).
PAGE_LIMIT = 300_000_000
# A view's frame in a notebook: as wide as the output, this high.
VIEW_HEIGHT = 480



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


def _refuse_not_view(view, what):
    """Raises TypeError for keywords in view that are not a view's, naming
    the caller what."""
    taken = [name for name in view if name in NOT_VIEW_STATE]
    if taken:
        raise TypeError(f"{what} takes no {', '.join(taken)}: a page holds the view and nothing else")


def page_view(parts, view, what, explain=True):
    """The text of the view file a page of the surface parts (Triangles)
    opens at, for the viewer's options given as keywords in view (view=
    among them: a view file's path, its text or a dict of its keys): what
    the viewer prints for them, having checked them; "" for the first view.
    With no viewer installed, a view= goes in as it is (the page says at its
    foot what is wrong with it) and other options cannot be followed
    (ViewerMissing). Raises TypeError for options that are not a view's
    (what names the caller), ValueError with the viewer's line for a view
    it refuses (explain: and the keywords as options)."""
    _refuse_not_view(view, what)
    view = {name: value for name, value in view.items() if given(value)}
    if not view:
        return ""
    try:
        text = print_view(parts, None, view, explain)
    except ViewerMissing:
        if set(view) != {"view"}:
            raise
        text = view["view"]
        text = written_view(text) if isinstance(text, Mapping) or is_view_text(text) else read_view(text)
    # The page's slot is a script element, which would end at "</script>".
    if "<" in text:
        raise ValueError("view: not a view file: it holds a '<'")
    return text


def page_chunks(template, parts, name, view=""):
    """The text of the one-file page of the surface parts (Triangles) a piece
    at a time: template (read_template) with the KLEIN file as base64 and
    named name, and the text of the view file to open at (page_view), if
    any."""
    before, after = template.split(SURFACE_SLOT, 1)
    yield before + SURFACE_SLOT.replace("></script>", f' data-name="{html.escape(name)}">')
    for chunk in base64_chunks(klein_chunks(parts)):
        yield chunk.decode("ascii")
    yield "</script>" + after.replace(VIEW_SLOT, VIEW_SLOT.replace("></script>", f">{view}</script>"), 1)


def write_page(path, template, parts, name, view=""):
    """Writes the one-file page of page_chunks to path, aside and renamed
    into place. Raises ValueError for a surface too large for a page."""
    check_page_size(sum(t.n for t in parts), parts[0].m)
    write_whole(path, (chunk.encode() for chunk in page_chunks(template, parts, name, view)))


def write_html(path, coords, normals=None, view=None, **options):
    """Writes a one-file page of the surface: coords and normals as
    write_klein takes them (and refuses), opening at the view that view (a
    view file's path, its text, or a dict of its keys written as "key =
    values" lines) and the viewer's options given as keywords (as picture()
    takes them, frame= among them) make, or at the first view. coords may
    be a list of shapes instead (as show() takes one: Shapes, paths of
    KLEIN or Geomview files, surfaces as arrays), each shown beside the
    ones before. The viewer program checks the view and writes it for the
    page (plexorama --print-view); where no viewer is installed, a view=
    goes into the page unchecked, and the page says at its foot what is
    wrong with it. The page is written aside and renamed into place. Raises
    ValueError with the viewer's line for a view or an option it refuses,
    FileNotFoundError when the one-file viewer is missing, ValueError for
    what cannot make a page, a surface too large for a browser (more than
    PAGE_LIMIT bytes as a KLEIN file) among it."""
    template = read_template()
    shapes = shape_list(coords)
    if shapes is not None:
        if normals is not None:
            raise TypeError("normals come with one surface as an array, not with a list of shapes")
        files = shape_files(shapes)
        text = page_view(shapes, {"view": view, **options}, "write_html()")
        write_whole(path, (chunk.encode() for chunk in shapes_page_chunks(template, files, text)))
        return
    surface = page_surface(coords, normals)
    text = page_view([surface], {"view": view, **options}, "write_html()")
    write_page(path, template, [surface], page_name(path), text)


def shape_files(shapes):
    """The files a page holds for a list of shapes, as (name, bytes) in
    order: a Shape as its nOFF or nSKEL file, a path as the file it names,
    a surface as an array as its KLEIN file. Raises ValueError when they
    take more than PAGE_LIMIT bytes together, or for one that cannot be
    written or read as it is."""
    files, size = [], 0
    with tempfile.TemporaryDirectory(prefix="plexorama-") as folder:
        for k, item in enumerate(shapes):
            if isinstance(item, Shape):
                path = os.path.join(folder, f"shape-{k + 1}" + (".off" if item.polygons else ".skel"))
                write_shape(path, item)
            elif is_path(item):
                path = os.fsdecode(item)
            else:
                path = os.path.join(folder, f"shape-{k + 1}.klein")
                write_whole(path, klein_chunks([page_surface(item)]))
            with open_regular(path) as f:
                data = f.read(PAGE_LIMIT - size + 1)
            size += len(data)
            if size > PAGE_LIMIT:
                raise ValueError(f"the shapes take more than {megabytes(PAGE_LIMIT)}; a one-file page holds at "
                                 "most that, as much as a browser takes in")
            files.append((os.path.basename(path), data))
    return files


def shapes_page_chunks(template, files, view=""):
    """The text of the one-file page of files (shape_files) a piece at a
    time: the first in the surface's slot, each other in a slot of its own
    after it, and the view as page_chunks puts it."""
    before, after = template.split(SURFACE_SLOT, 1)
    for k, (name, data) in enumerate(files):
        slot = SURFACE_SLOT if k == 0 else SHAPE_SLOT
        yield (before if k == 0 else "") + slot.replace("></script>", f' data-name="{html.escape(name)}">')
        for chunk in base64_chunks([data]):
            yield chunk.decode("ascii")
        yield "</script>"
    yield after.replace(VIEW_SLOT, VIEW_SLOT.replace("></script>", f">{view}</script>"), 1)


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


class View:
    """The viewer as a one-file page on a surface: notebooks show it inline,
    interactive, in a frame of its own (keys go to the view last clicked);
    page is its HTML, save(path) writes it."""

    def __init__(self, page, name):
        self.page = page
        self.name = name

    def save(self, path):
        write_whole(path, [self.page.encode()])

    def _repr_html_(self):
        return (f'<iframe srcdoc="{html.escape(_packed(self.page))}" sandbox="allow-scripts" '
                f'title="plexorama: {html.escape(self.name)}" '
                f'style="display: block; width: 100%; height: {VIEW_HEIGHT}px; border: 0"></iframe>')

    def __repr__(self):
        return f"<plexorama view of {self.name}, {len(self.page)} bytes of page>"


# Runs the viewer's script that the page holds packed, once unpacked.
UNPACK = """<script type="application/gzip" id="packed-viewer">%s</script>
<script>
(async () => {
  const packed = Uint8Array.from(atob(document.getElementById("packed-viewer").textContent), (c) => c.charCodeAt(0));
  const script = document.createElement("script");
  script.textContent = await new Response(new Blob([packed]).stream()
    .pipeThrough(new DecompressionStream("gzip"))).text();
  document.body.append(script);
})();
</script>"""


def _packed(page):
    """The page with its last script, the viewer itself with its
    WebAssembly as base64, compressed with gzip and unpacked by the browser:
    a third of the size, and still no network."""
    start = page.rfind("<script>")
    end = page.find("</script>", start)
    if start < 0 or end < 0:
        return page
    script = page[start + len("<script>"):end].encode()
    packed = base64.b64encode(gzip.compress(script, compresslevel=9, mtime=0)).decode()
    return page[:start] + UNPACK % packed + page[end + len("</script>"):]


def view(coords, normals=None, name=None, plain=False, **view):
    """The interactive viewer on the surface coords (as show() takes it, a
    list of shapes among it) as a View, which notebooks show inline: the one-file page (as write_html
    writes) in a frame of its own, which needs no server and no network.
    name is the surface's name in the page ("surface from Python" unless
    given; a file keeps its own). The keywords are the viewer's options, as
    picture() takes them, and what they leave unsaid of the first view is
    the lecture's, as for picture(): lit by the shape as drawn, tilted and
    turned a little toward w, anti-aliased where the browser can;
    plain=True gives the viewer's own first view (the surface's fixed
    colour, the file's normals, no turn, no anti-aliasing). Raises
    ValueError for a surface too large for a page or an option the viewer
    refuses (with its line), TypeError for an option that is not a view's
    (output, record, frames, swap, save_view, size), FileNotFoundError when
    the one-file viewer is missing."""
    _refuse_not_view(view, "view()")
    shapes = shape_list(coords)
    if shapes is not None and normals is not None:
        raise TypeError("normals come with one surface as an array, not with a list of shapes")
    if is_path(coords):
        if normals is not None:
            raise TypeError("normals come from the file when coords names one")
        name = name or os.path.basename(os.fsdecode(coords))
        coords, normals = read_klein(coords)
    if shapes is not None:
        files = shape_files(shapes)
    else:
        parts = coords if is_parts(coords) else [page_surface(coords, normals)]
        check_page_size(sum(t.n for t in parts), parts[0].m)
    try:
        view = lecture_view(view, plain)
    except ViewerMissing:
        # Nothing asked that needs the viewer: the page's first view.
        if any(given(value) for value in view.values()):
            raise
    name = name or NAME
    if shapes is not None:
        text = page_view(shapes, view, "view()")
        return View("".join(shapes_page_chunks(read_template(), files, text)), name)
    text = page_view(parts, view, "view()")
    return View("".join(page_chunks(read_template(), parts, name, text)), name)
