"""The viewer's keywords and view text, for the modules that run the viewer
or write pages: where the viewer program is, the command-line options that
keyword arguments stand for (as plexorama.viewer describes them), the text
of view files written from a dict or read from a path, and the lecture's
first view.
"""
import difflib
import functools
import os
import re
import shutil
import subprocess
from collections.abc import Mapping

import numpy as np

from .klein import open_regular
from .triangles import Triangles

VIEW_MAGIC = "plexorama-view "
# The version line of a view written from a dict where no viewer says its own.
VIEW_VERSION = "plexorama-view 3"
# Far more than any view file, which the viewer reads to 64 KiB.
VIEW_READ_LIMIT = 1 << 20
# The viewer's options that answer instead of drawing.
NOT_PASSED = ("help", "version", "info", "print-view")
# What the viewer does besides setting a view: not for a view's page.
NOT_VIEW_STATE = ("output", "record", "frames", "swap", "save_view", "size")
# The first view of view(), clip() and plexorama-plot's pictures where the
# caller says nothing of it: lit by the shape as drawn, tilted as the
# README's pictures are and turned a little toward w, and anti-aliased
# where the viewer can.
LECTURE = {"light": "shape", "turn": {"yz": -30, "xz": 20, "yw": 15}}
LECTURE_AA = 4


class ViewerMissing(RuntimeError):
    """No viewer program is installed or built."""


def find_viewer():
    """The viewer program: $PLEXORAMA, else plexorama on PATH, else the one
    built in the source tree this package lies in (build/plexorama). Raises
    RuntimeError, ViewerMissing when there is none at all."""
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
    raise ViewerMissing("cannot find the viewer: install plexorama, build it in the source tree "
                        "(build/plexorama), or set PLEXORAMA to its path")


def _value(value):
    if isinstance(value, Mapping):
        return ",".join(f"{key}={_value(item)}" for key, item in value.items())
    if isinstance(value, (str, bytes, os.PathLike)):
        return os.fsdecode(value)
    if np.iterable(value):
        return ",".join(_value(item) for item in value)
    return str(value)


def _basis(frame):
    """--basis's value for a frame given as 4 rows of m numbers."""
    expected = "frame: expected 4 rows of m numbers (x, y, z and w)"
    try:
        rows = np.asarray(frame)
        # A cast to float would drop an imaginary part with no more than a warning.
        if np.iscomplexobj(rows):
            raise ValueError("found complex numbers")
        rows = rows.astype(float)
    except (TypeError, ValueError) as error:
        raise ValueError(f"{expected}: {error}") from None
    if rows.ndim != 2 or rows.shape[0] != 4:
        raise ValueError(f"{expected}, found shape {rows.shape}")
    return ",".join(repr(float(v)) for v in rows.ravel())


def view_options(view):
    """The viewer's command-line options for the keyword arguments in view
    (a dict), as this module's description says."""
    if given(view.get("frame")) and given(view.get("basis")):
        raise TypeError("frame= and basis= both give the frame: give one")
    options = []
    for name, value in view.items():
        option = "--" + name.replace("_", "-")
        if name == "frame" and given(value):
            options.append(f"--basis={_basis(value)}")
        elif value is True:
            options.append(option)
        elif value is not None and value is not False:
            options.append(f"{option}={_value(value)}")
    return options


def given(value):
    """Whether a keyword's value gives an option (None and False do not)."""
    return value is not None and value is not False


def is_path(coords):
    """Whether coords names a KLEIN file rather than holding a surface."""
    return isinstance(coords, (str, bytes, os.PathLike))


def is_parts(coords):
    """Whether coords are the parts (Triangles) a program made."""
    return isinstance(coords, list) and bool(coords) and isinstance(coords[0], Triangles)


def _words(value):
    """A view file's values for a dict's value: a word, a number, or the
    numbers of an array-like, row after row."""
    if isinstance(value, (str, bytes, os.PathLike)):
        return os.fsdecode(value)
    if np.iterable(value):
        return " ".join(_words(item) for item in value)
    return str(value)


def written_view(view, version=VIEW_VERSION):
    """The text of a view file: view itself when it is text (a str starting
    "plexorama-view "), else a dict of its keys, one "key = values" line
    each after version's line."""
    if isinstance(view, Mapping):
        return version + "\n" + "".join(f"{key} = {_words(value)}\n" for key, value in view.items())
    return view


def is_view_text(view):
    """Whether view is the text of a view file rather than its path."""
    return isinstance(view, str) and view.startswith(VIEW_MAGIC)


def read_view(path):
    """The text of the view file at path, unchecked. Raises OSError, or
    ValueError for what is not a regular file or is far too long for one."""
    with open_regular(path) as f:
        data = f.read(VIEW_READ_LIMIT + 1)
    if len(data) > VIEW_READ_LIMIT:
        raise ValueError(f"{os.fsdecode(path)}: past {VIEW_READ_LIMIT} bytes, far more than a view file holds")
    return data.decode("utf-8", "replace")


# A row of the table of options in the viewer's --help: "  --name VALUE"
# (or "  -h, --help"), its help from column 20 on, on the lines below when
# the name reaches that far.
HELP_ROW = re.compile(r"  (?:-\w, )?--([\w-]+)(?: (\S+))?")
HELP_COLUMN = 20


@functools.lru_cache(maxsize=None)
def viewer_table(viewer):
    """The viewer's own table of options, as its --help gives it: a dict of
    each long name (without the dashes) to what --help calls its value
    (None when it takes none) and its help on one line. Empty when the
    viewer cannot say."""
    try:
        done = subprocess.run([viewer, "--help"], capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return {}
    table, name = {}, None
    # The table ends where the keys begin.
    for line in done.stdout.split("\nKeys:", 1)[0].splitlines():
        alone = HELP_ROW.fullmatch(line)
        row = alone or HELP_ROW.fullmatch(line[:HELP_COLUMN].rstrip())
        if row:
            name = row.group(1)
            table[name] = (row.group(2), "" if alone else line[HELP_COLUMN:].strip())
        elif name and line.startswith(" " * HELP_COLUMN):
            value, text = table[name]
            table[name] = (value, f"{text} {line.strip()}".strip())
        else:
            name = None
    return table


def split_options(argv, own, table):
    """Takes the viewer's options out of a program's command line argv, up
    to a '--': returns the rest, and the options taken as keywords (name
    with underscores: its value, True for one that takes none). own maps
    the program's own options ("--name", "-o") to whether each takes a
    value, and rules where the viewer has the same name; table() gives the
    viewer's (viewer_table), asked for only when an option is not the
    program's, and the viewer's --help, --version, --info and --print-view
    answer instead of drawing, so they are not taken. Raises ValueError for
    an option that is neither's, naming the nearest of either."""
    rest, taken = [], {}
    k = 0
    while k < len(argv):
        arg = argv[k]
        k += 1
        if arg == "--":
            return rest + argv[k - 1:], taken
        name, joined, value = arg.partition("=")
        flag = name if name.startswith("--") else name[:2]
        if not arg.startswith("-") or arg == "-" or flag in own:
            rest.append(arg)
            if own.get(flag) and not joined and len(arg) == len(flag) and k < len(argv):
                rest.append(argv[k])
                k += 1
            continue
        viewer = {f"--{key}": row for key, row in table().items() if key not in NOT_PASSED}
        if name not in viewer:
            # What an option's start abbreviates, else what it misspells.
            starting = [option for option in [*own, *viewer] if option.startswith(name) and len(name) > 2]
            near = starting if len(starting) == 1 else difflib.get_close_matches(name, [*own, *viewer], n=1)
            raise ValueError(f"unknown option '{arg}'" + (f": did you mean {near[0]}?" if near else ""))
        if joined and not viewer[name][0]:
            raise ValueError(f"option '{name}' takes no value")
        if viewer[name][0] and not joined:
            if k == len(argv):
                raise ValueError(f"option '{name}' needs a value")
            value = argv[k]
            k += 1
        taken[name[2:].replace("-", "_")] = value if viewer[name][0] else True
    return rest, taken


def _has_option(viewer, option):
    """Whether the viewer's --help offers option."""
    return option.removeprefix("--") in viewer_table(viewer)


def lecture_view(view, plain=False):
    """The keywords view with LECTURE's first view where they say nothing of
    it, anti-aliased where the viewer can: not with plain, nor with a view=,
    which then rules; a frame= or basis= gives the turn."""
    if plain or given(view.get("view")):
        return view
    defaults = dict(LECTURE)
    if given(view.get("frame")) or given(view.get("basis")):
        del defaults["turn"]
    if _has_option(find_viewer(), "--aa"):
        defaults["aa"] = LECTURE_AA
    return {**defaults, **view}
