"""A surface from Python straight to the viewer: a window, a picture or a clip
that a notebook shows inline, and the view text that the viewer prints for
pages (plexorama.html makes the interactive viewer in a notebook of it).

The viewer program reads the surface from a KLEIN file written to a private
folder, opened and removed before the viewer starts: the viewer is handed
the open file (as /dev/fd/N), so nothing is left on disk whenever and
however the viewer ends, even when show() has long returned. A window shows
the surface under a name: show() hands it over through a symbolic link of
that name to the descriptor, removed as soon as the viewer has opened it.

Keyword arguments are the viewer's command-line options: name_with_underscores
becomes --name-with-underscores; a string or number is its value; a sequence
is joined with commas (show=(1, 3, 4, 2) is --show=1,3,4,2); a mapping is
joined as key=value pairs (turn={"yw": 30} is --turn=yw=30); True is the bare
option and False or None leaves it out. `plexorama --help` lists them. Two
take more: frame= is a frame of R^m, 4 rows of m numbers (--basis with the
rows one after another), and view= a view file's path, its text or a dict
of its keys (each written as "key = values"), which the viewer reads and
checks as it reads a view file.
"""
import base64
import contextlib
import ctypes
import functools
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import warnings
from collections.abc import Mapping

import numpy as np

from .klein import write_klein, write_whole
from .options import (VIEW_MAGIC, find_viewer, is_parts, is_path, is_view_text, lecture_view, view_options,
                      written_view)
from .shapes import Shape, shape_list, write_shape
from .triangles import klein_chunks

# How long show(wait=False) waits for the viewer to refuse its command line
# before it returns; a usage error comes within milliseconds.
EARLY_EXIT = 0.5
# How long show() waits for the viewer to open the surface by its name; a
# window and its GL context take a fraction of this.
OPEN_WAIT = 30
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"
NAME = "surface from Python"
CLIP_FORMATS = {"mp4": "video/mp4", "webm": "video/webm", "gif": "image/gif"}
IN_OPEN = 0x20


class Picture:
    """A PNG picture: data (the bytes of the file), size (width, height);
    notebooks show it inline, save(path) writes it."""

    def __init__(self, data):
        self.data = data

    @property
    def size(self):
        return int.from_bytes(self.data[16:20], "big"), int.from_bytes(self.data[20:24], "big")

    def save(self, path):
        write_whole(path, [self.data])

    def _repr_png_(self):
        return self.data

    def __repr__(self):
        return "<plexorama picture {} x {}>".format(*self.size)


class Clip:
    """A clip the viewer recorded: data (the bytes of the file) in format
    (mp4, webm or gif); notebooks show it inline as a looping video (a GIF
    as a picture), save(path) writes it."""

    def __init__(self, data, format):
        self.data = data
        self.format = format

    def save(self, path):
        write_whole(path, [self.data])

    def _repr_html_(self):
        source = f"data:{CLIP_FORMATS[self.format]};base64,{base64.b64encode(self.data).decode()}"
        if self.format == "gif":
            return f'<img src="{source}" alt="a clip of the surface">'
        return f'<video controls loop autoplay muted playsinline src="{source}"></video>'

    def __repr__(self):
        return f"<plexorama clip, {self.format}, {len(self.data)} bytes>"


def _write_shape(path, item, normals):
    """Writes one shape of what _surface_file takes; returns the path written."""
    if isinstance(item, Shape):
        path += ".off" if item.polygons else ".skel"
        write_shape(path, item)
    elif is_parts(item):
        write_whole(path, klein_chunks(item))
    else:
        write_klein(path, item, normals)
    return path


@contextlib.contextmanager
def _surface_file(coords, normals):
    """Paths the viewer can open for the surface, the descriptors it must
    inherit, and what to call them in its messages; coords may name a KLEIN
    file instead, be the parts (Triangles) a program made, or a list of
    shapes (see shape_list), each a file of its own, in order ("shape 2")."""
    shapes = shape_list(coords)
    if normals is not None and (is_path(coords) or shapes is not None):
        raise TypeError("normals come with one surface as an array, not with a file or a list of shapes")
    items = [coords] if shapes is None else shapes
    handles, names = [], {}
    with contextlib.ExitStack() as opened:
        folder = tempfile.mkdtemp(prefix="plexorama-")
        try:
            paths = []
            for k, item in enumerate(items):
                if is_path(item):
                    paths.append(os.fsdecode(item))
                    continue
                handles.append(os.open(_write_shape(os.path.join(folder, f"shape-{k}"), item, normals), os.O_RDONLY))
                opened.callback(os.close, handles[-1])
                paths.append(f"/dev/fd/{handles[-1]}")
                if shapes is not None:
                    names[paths[-1]] = f"shape {k + 1}"
        finally:
            shutil.rmtree(folder)
        yield paths, tuple(handles), names


@contextlib.contextmanager
def _given_view(viewer, view):
    """view (the keywords) with a view= given as a dict or as text handed
    to the viewer as an open file, as the surface is; the descriptors to
    pass on, and the names to put for them in the viewer's messages."""
    text = view.get("view")
    if isinstance(text, Mapping):
        text = written_view(text, _view_version(viewer))
    if not is_view_text(text):
        yield view, (), {}
        return
    folder = tempfile.mkdtemp(prefix="plexorama-")
    try:
        path = os.path.join(folder, "view")
        write_whole(path, [text.encode()])
        handle = os.open(path, os.O_RDONLY)
    finally:
        shutil.rmtree(folder)
    try:
        yield {**view, "view": f"/dev/fd/{handle}"}, (handle,), {f"/dev/fd/{handle}": "view"}
    finally:
        os.close(handle)


def _printed(viewer, coords, normals, view, explain=True):
    """What print_view returns, with the viewer given."""
    with _given_view(viewer, view) as (view, handles, names):
        options = view_options(view)
        with _surface_file(coords, normals) as (paths, more, shape_names):
            # A page's view is the one asked for, not the user's preferences.
            process = _start([viewer, "--print-view", "--no-preferences", *options, "--", *paths], handles + more,
                             stdout=subprocess.PIPE)
            status, text, stderr = _finish(process)
            names = {**names, **shape_names}
    if status:
        raise _failure(status, stderr, options if explain else (), names)
    if not text.startswith(VIEW_MAGIC):
        raise RuntimeError("the viewer printed no view for --print-view")
    return text


@functools.lru_cache(maxsize=None)
def _view_version(viewer):
    """The version line of the views the viewer writes."""
    return _printed(viewer, np.eye(3, 4), None, {}).split("\n", 1)[0]


def print_view(coords, normals, view, explain=True):
    """The text of the view file that the viewer prints (--print-view) for
    the surface coords (as show() takes it, or the parts a program made) and
    the view options in view, as keywords. Raises ValueError with the
    viewer's line when it refuses one (explain: and the keywords as
    options), RuntimeError when it fails (ViewerMissing when there is
    none)."""
    return _printed(find_viewer(), coords, normals, view, explain)


def _watch_open(handle):
    """An inotify descriptor that becomes readable once the file open as
    handle is opened again, or None where there is no inotify."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        watch = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
    except (OSError, AttributeError):
        return None
    if watch < 0:
        return None
    if libc.inotify_add_watch(watch, f"/proc/self/fd/{handle}".encode(), IN_OPEN) < 0:
        os.close(watch)
        return None
    return watch


def _safe_name(name):
    """name as a file name that a folder can hold: no slashes or control
    characters, at most 200 bytes."""
    name = "".join("\u2215" if c == "/" else c for c in str(name) if c.isprintable()).strip()
    while len(name.encode()) > 200:
        name = name[:-1]
    return name if name not in ("", ".", "..") else NAME


@contextlib.contextmanager
def _named(path, handles, name):
    """The path the viewer opens the surface by, under name where it was
    handed over as a descriptor, and a function that waits until the
    viewer process has opened it (or ended); the name goes afterwards."""
    watch = _watch_open(handles[0]) if handles else None
    if watch is None:
        yield path, lambda process: None
        return
    folder = tempfile.mkdtemp(prefix="plexorama-")
    try:
        link = os.path.join(folder, _safe_name(name))
        # The viewer resolves /proc/self in its own process, where the
        # descriptor has the same number.
        os.symlink(f"/proc/self/fd/{handles[0]}", link)

        def opened(process):
            deadline = time.monotonic() + OPEN_WAIT
            while process.poll() is None and time.monotonic() < deadline:
                if select.select([watch], [], [], 0.05)[0]:
                    return
        yield link, opened
    finally:
        shutil.rmtree(folder)
        os.close(watch)


def _failure(status, stderr, options, names=None):
    """The viewer's own first line of complaint as an exception: ValueError
    for a usage error (exit status 2), RuntimeError otherwise; names are
    what to call the files it was handed (a view's text: "view")."""
    lines = stderr.strip().splitlines()
    line = lines[0] if lines else f"plexorama exited with status {status}"
    if status == 2 and options:
        line = f"{line} (the keywords as options: {' '.join(options)})"
    for path, name in (names or {}).items():
        line = re.sub(re.escape(path) + r"(?!\d)", name, line)
    return ValueError(line) if status == 2 else RuntimeError(line)


def _start(argv, handles, stdout=subprocess.DEVNULL):
    """The viewer started in a session of its own, so that a terminal's
    Ctrl-C reaches Python, which then ends the viewer as _end does."""
    return subprocess.Popen(argv, pass_fds=handles, stdout=stdout, stderr=subprocess.PIPE, text=True,
                            start_new_session=True)


def _end(process):
    """Ends the viewer with SIGTERM, which lets it remove its files; under
    xvfb-run the X server too, after which xvfb-run removes its own."""
    try:
        with open(f"/proc/{process.pid}/task/{process.pid}/children") as f:
            children = [int(pid) for pid in f.read().split()]
    except OSError:
        children = []
    for pid in ([process.pid] if os.path.basename(process.args[0]) != "xvfb-run" else children):
        with contextlib.suppress(ProcessLookupError):
            os.kill(pid, signal.SIGTERM)
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def _finish(process):
    """The viewer's exit status, standard output (when it was taken) and
    standard error once it ends; ends it when Python is interrupted first."""
    try:
        stdout, stderr = process.communicate()
    except BaseException:
        _end(process)
        raise
    return process.returncode, stdout, stderr


def show(coords, normals=None, wait=True, name=None, **view):
    """Opens the viewer's window on the surface coords (an array of shape
    (n, m), as write_klein takes, or the path of a KLEIN file) or on a list
    of shapes (plexorama.shapes.shape_list: Shapes such as lines(), points()
    and polytope() make, paths of files, surfaces as arrays), with the
    view options given as keywords (see help(plexorama.viewer)). The window
    names the surface name, "surface from Python" unless given (a file
    keeps its own). Waits for the window to close, or with wait=False
    returns the running viewer's subprocess.Popen at once. Raises ValueError
    when the viewer refuses an option, RuntimeError when it fails or there
    is no display."""
    if not os.environ.get("DISPLAY"):
        raise RuntimeError("show() needs a display and DISPLAY is not set; picture() draws without one")
    viewer = find_viewer()
    with _given_view(viewer, view) as (view, given_handles, names):
        options = view_options(view)
        with _surface_file(coords, normals) as (paths, handles, shape_names):
            names = {**names, **shape_names}
            # Files keep their names, and so do several shapes; one from Python takes name.
            named = handles if len(paths) == 1 else ()
            with _named(paths[0], named, name or NAME) as (first, opened):
                process = _start([viewer, *options, "--", first, *paths[1:]], handles + given_handles)
                try:
                    opened(process)
                except BaseException:
                    _end(process)
                    raise
    if wait:
        status, _, stderr = _finish(process)
        if status:
            raise _failure(status, stderr, options, names)
        return None
    try:
        status = process.wait(EARLY_EXIT)
    except subprocess.TimeoutExpired:
        return process
    if status:
        raise _failure(status, process.stderr.read(), options, names)
    return process


def draw(coords, normals, size, target, view, explain=True):
    """Runs the viewer offscreen on the surface (as show() takes it, or the
    parts a program made), size x size pixels, with target the option of
    what it writes ({"output": path} or {"record": path}) and the view
    options. Without a display it runs under xvfb-run. Returns the viewer's
    warnings, its lines; raises as picture() does (explain: with the
    keywords as options in a usage error)."""
    prefix = []
    if not os.environ.get("DISPLAY"):
        xvfb = shutil.which("xvfb-run")
        if not xvfb:
            raise RuntimeError("drawing needs a display, and DISPLAY is not set: "
                               "install the Debian package xvfb for xvfb-run, which gives it one")
        prefix = [xvfb, "-a"]
    viewer = find_viewer()
    with _given_view(viewer, view) as (view, given_handles, names):
        options = view_options(view)
        with _surface_file(coords, normals) as (paths, handles, shape_names):
            argv = [*prefix, viewer, f"--size={size}", *view_options(target), *options, "--", *paths]
            status, _, stderr = _finish(_start(argv, handles + given_handles))
            names = {**names, **shape_names}
    if status:
        raise _failure(status, stderr, options if explain else (), names)
    return [line for line in stderr.splitlines() if line.startswith("plexorama: warning: ")]


def _offscreen(coords, normals, size, option, name, what, view):
    """The bytes of the file the viewer writes offscreen (option output or
    record, to a private file called name); its warnings, the file called
    what in them, go on as Python's."""
    for taken in ("output", "record"):
        if taken in view:
            raise TypeError(f"{what} takes no {taken}: it returns the result; save it with .save(path)")
    with tempfile.TemporaryDirectory(prefix="plexorama-") as folder:
        out = os.path.join(folder, name)
        for line in draw(coords, normals, size, {option: out}, view):
            warnings.warn(line.replace(out, what), stacklevel=3)
        with open(out, "rb") as f:
            return f.read()


def picture(coords, normals=None, size=512, plain=False, **view):
    """Draws the surface coords (as show() takes it) offscreen, size x size
    pixels, with the view options given as keywords, and returns it as a
    Picture. What they leave unsaid of the first view is the lecture's, as
    in view() and clip() (see options.lecture_view): lit by the shape as
    drawn, tilted and turned a little toward w, anti-aliased where the
    viewer can. plain=True gives the viewer's own first view instead: the
    surface's fixed colour, the file's normals, no turn and no
    anti-aliasing, the picture `plexorama --output` draws for the same
    options. Without a display it runs the viewer under xvfb-run. The
    viewer's warnings (nothing of the surface is drawn, and why) are
    Python's warnings. Raises ValueError when the viewer refuses an option,
    RuntimeError when it fails or neither a display nor xvfb-run is there."""
    view = lecture_view(view, plain)
    data = _offscreen(coords, normals, size, "output", "picture.png", "picture()", view)
    if not data.startswith(PNG_MAGIC):
        raise RuntimeError("the viewer wrote no PNG picture")
    return Picture(data)


def clip(coords, normals=None, size=384, format="mp4", plain=False, **view):
    """Records a clip of the surface coords (as show() takes it) offscreen,
    size x size pixels at 60 frames a second, and returns it as a Clip
    (format mp4, webm or gif). The keywords are the viewer's options, as
    for picture(), and one of them says how long the clip runs: spin= (one
    full turn, which loops without a seam), swap= (the turn of I, O or P)
    or frames=. What they leave unsaid of the first view is the lecture's,
    and plain=True gives the viewer's own, as for picture(). Needs ffmpeg.
    Raises ValueError for an unknown format, no length or an option the
    viewer refuses, RuntimeError when the viewer fails or ffmpeg is
    missing."""
    if format not in CLIP_FORMATS:
        raise ValueError(f"clip(): format is mp4, webm or gif, not {format!r}")
    if all(view.get(name) in (None, False) for name in ("spin", "swap", "frames")):
        raise ValueError("clip() needs spin=, swap= or frames= to say how long it runs "
                         "(spin=\"xw\": one full turn in the x-w plane)")
    if not shutil.which("ffmpeg"):
        raise RuntimeError("clip() needs ffmpeg, which encodes the clip: install the Debian package ffmpeg")
    view = lecture_view(view, plain)
    return Clip(_offscreen(coords, normals, size, "record", "clip." + format, "clip()", view), format)
