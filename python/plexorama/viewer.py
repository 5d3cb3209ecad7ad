"""A surface from Python straight to the viewer: a window, or a picture that
a notebook shows inline.

The viewer program reads the surface from a KLEIN file written to a private
folder, opened and removed before the viewer starts: the viewer is handed
the open file (as /dev/fd/N), so nothing is left on disk whenever and
however the viewer ends, even when show() has long returned.

Keyword arguments are the viewer's command-line options: name_with_underscores
becomes --name-with-underscores; a string or number is its value; a sequence
is joined with commas (show=(1, 3, 4, 2) is --show=1,3,4,2); a mapping is
joined as key=value pairs (turn={"yw": 30} is --turn=yw=30); True is the bare
option and False or None leaves it out. `plexorama --help` lists them.
"""
import contextlib
import os
import shutil
import subprocess
import tempfile
from collections.abc import Mapping

import numpy as np

from .klein import write_klein

# How long show(wait=False) waits for the viewer to refuse its command line
# before it returns; a usage error comes within milliseconds.
EARLY_EXIT = 0.5
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"


class Picture:
    """A PNG picture: data (the bytes of the file), size (width, height);
    notebooks show it inline, save(path) writes it."""

    def __init__(self, data):
        self.data = data

    @property
    def size(self):
        return int.from_bytes(self.data[16:20], "big"), int.from_bytes(self.data[20:24], "big")

    def save(self, path):
        with open(path, "wb") as f:
            f.write(self.data)

    def _repr_png_(self):
        return self.data

    def __repr__(self):
        return "<plexorama picture {} x {}>".format(*self.size)


def find_viewer():
    """The viewer program: $PLEXORAMA, else plexorama on PATH, else the one
    built in the source tree this package lies in (build/plexorama)."""
    named = os.environ.get("PLEXORAMA")
    if named:
        if not (os.path.isfile(named) and os.access(named, os.X_OK)):
            raise RuntimeError(f"PLEXORAMA names {named}, which is not a program")
        return named
    found = shutil.which("plexorama")
    if found:
        return found
    built = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build",
                                          "plexorama"))
    if os.path.isfile(built) and os.access(built, os.X_OK):
        return built
    raise RuntimeError("cannot find the viewer: install plexorama, build it in the source tree "
                       "(build/plexorama), or set PLEXORAMA to its path")


def _value(value):
    if isinstance(value, Mapping):
        return ",".join(f"{key}={_value(item)}" for key, item in value.items())
    if isinstance(value, (str, bytes, os.PathLike)):
        return os.fsdecode(value)
    if np.iterable(value):
        return ",".join(_value(item) for item in value)
    return str(value)


def view_options(view):
    """The viewer's command-line options for the keyword arguments in view
    (a dict), as this module's description says."""
    options = []
    for name, value in view.items():
        option = "--" + name.replace("_", "-")
        if value is True:
            options.append(option)
        elif value is not None and value is not False:
            options.append(f"{option}={_value(value)}")
    return options


@contextlib.contextmanager
def _surface_file(coords, normals):
    """A path the viewer can open for the surface, and the descriptors it
    must inherit; coords may name a KLEIN file instead."""
    if isinstance(coords, (str, bytes, os.PathLike)):
        if normals is not None:
            raise TypeError("normals come from the file when coords names one")
        yield os.fsdecode(coords), ()
        return
    folder = tempfile.mkdtemp(prefix="plexorama-")
    try:
        path = os.path.join(folder, "surface.klein")
        write_klein(path, coords, normals)
        handle = os.open(path, os.O_RDONLY)
    finally:
        shutil.rmtree(folder)
    try:
        yield f"/dev/fd/{handle}", (handle,)
    finally:
        os.close(handle)


def _failure(status, stderr, options):
    """The viewer's own first line of complaint as an exception: ValueError
    for a usage error (exit status 2), RuntimeError otherwise."""
    lines = stderr.strip().splitlines()
    line = lines[0] if lines else f"plexorama exited with status {status}"
    if status != 2:
        return RuntimeError(line)
    return ValueError(f"{line} (the keywords as options: {' '.join(options)})" if options else line)


def show(coords, normals=None, wait=True, **view):
    """Opens the viewer's window on the surface coords (an array of shape
    (n, m), as write_klein takes, or the path of a KLEIN file), with the
    view options given as keywords (see help(plexorama.viewer)). Waits for
    the window to close, or with wait=False returns the running viewer's
    subprocess.Popen at once. Raises ValueError when the viewer refuses an
    option, RuntimeError when it fails or there is no display."""
    if not os.environ.get("DISPLAY"):
        raise RuntimeError("show() needs a display and DISPLAY is not set; picture() draws without one")
    options = view_options(view)
    with _surface_file(coords, normals) as (path, handles):
        argv = [find_viewer(), *options, "--", path]
        if wait:
            done = subprocess.run(argv, pass_fds=handles, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                  text=True)
            if done.returncode:
                raise _failure(done.returncode, done.stderr, options)
            return None
        process = subprocess.Popen(argv, pass_fds=handles, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   text=True)
    try:
        status = process.wait(EARLY_EXIT)
    except subprocess.TimeoutExpired:
        return process
    if status:
        raise _failure(status, process.stderr.read(), options)
    return process


def picture(coords, normals=None, size=512, **view):
    """Draws the surface coords (as show() takes it) offscreen, size x size
    pixels, with the view options given as keywords, and returns it as a
    Picture. Without a display it runs the viewer under xvfb-run. Raises
    ValueError when the viewer refuses an option, RuntimeError when it
    fails or neither a display nor xvfb-run is there."""
    for name in ("output", "record"):
        if name in view:
            raise TypeError(f"picture() takes no {name}: it returns the picture; save it with .save(path)")
    prefix = []
    if not os.environ.get("DISPLAY"):
        xvfb = shutil.which("xvfb-run")
        if not xvfb:
            raise RuntimeError("picture() needs a display, and DISPLAY is not set: "
                               "install the Debian package xvfb for xvfb-run, which gives it one")
        prefix = [xvfb, "-a"]
    options = view_options(view)
    with tempfile.TemporaryDirectory(prefix="plexorama-") as folder, \
            _surface_file(coords, normals) as (path, handles):
        png = os.path.join(folder, "picture.png")
        argv = [*prefix, find_viewer(), f"--size={size}", f"--output={png}", *options, "--", path]
        done = subprocess.run(argv, pass_fds=handles, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if done.returncode:
            raise _failure(done.returncode, done.stderr, options)
        with open(png, "rb") as f:
            data = f.read()
    if not data.startswith(PNG_MAGIC):
        raise RuntimeError("the viewer wrote no PNG picture")
    return Picture(data)
