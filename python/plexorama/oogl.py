"""Geomview OOGL files read as surfaces: the ASCII forms with N-D vertices.

Read: OFF, 4OFF, nOFF and 4nOFF (with the ST, C and N prefixes), MESH,
4MESH, nMESH and 4nMESH (with the U, C, N and Z prefixes and the u and v
wrap prefixes), members of LIST, objects in { }, appearance blocks
(skipped), # comments, and a first OFF without its key word. 4OFF and 4MESH
vertices are four Euclidean coordinates, as N-D viewers read them; the 4n
forms carry NDIM + 1 values, the last a homogeneous divisor. Normals in the
files (N) are read and dropped, as are colours (C) and texture coordinates.
Normals are 3 values, NDIM with n. Surfaces with 3 coordinates (plain OFF
and MESH) are read as 4-D with w = 0. VECT and SKEL members (points and
lines) are skipped and reported. Polygons are fan-triangulated.

The reader keeps no stack: LIST and braces only group objects, so nesting
costs a counter, and every count is checked against the tokens left before
anything is allocated by it.
"""
import re
from dataclasses import dataclass, field

import numpy as np

from .normals import grid_normals, triangle_normals
from .surface import grid_triangles

OFF_KEY = re.compile(r"(ST)?(C)?(N)?(4)?(n)?OFF")
MESH_KEY = re.compile(r"(U)?(C)?(N)?(Z)?(4)?(u)?(v)?(n)?MESH")
VECT_KEY = re.compile(r"(4)?VECT")
SKEL_KEY = re.compile(r"(4)?(n)?SKEL")
INTEGER = re.compile(r"[+-]?[0-9]{1,12}")
NUMBER = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")
TOKEN = re.compile(r"[{}]|[^\s{}]+")
FLOAT32_MAX = float(np.finfo(np.float32).max)
MAX_DIM = 255


class OoglError(Exception):
    """What the reader expected at a line of the file, and what it found."""

    def __init__(self, line, expected, found):
        super().__init__(f"{line}: expected {expected}, found {found}")
        self.line = line


@dataclass
class Surface:
    """One member read: its key word's line, its triangle list, and whether
    its vertices were 3-D, given w = 0."""
    line: int
    coords: np.ndarray
    normals: np.ndarray
    lifted: bool = False


def _surface(line, coords, normals):
    if coords.shape[1] != 3:
        return Surface(line, coords, normals)
    # The normal of a surface in R^3 x {0} is its 3-D normal with w = 0.
    pad = ((0, 0), (0, 1))
    return Surface(line, np.pad(coords, pad), np.pad(normals, pad), lifted=True)


@dataclass
class Oogl:
    """A file read: its surfaces, and the members skipped as (key word, line)."""
    surfaces: list = field(default_factory=list)
    skipped: list = field(default_factory=list)


@dataclass
class _Tokens:
    words: list
    lines: list
    pos: int = 0


def _shown(word):
    if len(word) > 24:
        word = word[:24] + "..."
    return "'" + word.encode("unicode_escape").decode("ascii").replace("'", "\\'") + "'"


def _tokenize(text):
    words, lines = [], []
    for number, line in enumerate(text.split("\n"), 1):
        found = TOKEN.findall(line.split("#", 1)[0])
        words += found
        lines += [number] * len(found)
    return _Tokens(words, lines)


def _last_line(t):
    return t.lines[-1] if t.lines else 1


def _end(t, expected):
    return OoglError(_last_line(t), expected, "the end of the file")


def _next(t, expected):
    if t.pos >= len(t.words):
        raise _end(t, expected)
    t.pos += 1
    return t.words[t.pos - 1], t.lines[t.pos - 1]


def _peek(t):
    return t.words[t.pos] if t.pos < len(t.words) else None


def _integer(t, expected, low, high):
    word, line = _next(t, expected)
    if not INTEGER.fullmatch(word) or not low <= int(word) <= high:
        raise OoglError(line, expected, _shown(word))
    return int(word)


def _enough(t, count, what):
    left = len(t.words) - t.pos
    if count > left:
        raise _end(t, f"{count} values of {what} ({left} left)")


def _numbers(t, count, what):
    """The next count tokens as finite float32-range numbers."""
    _enough(t, count, what)
    start = t.pos
    words = t.words[start:start + count]
    for k, word in enumerate(words):
        if not NUMBER.fullmatch(word):
            raise OoglError(t.lines[start + k], f"a number ({what})", _shown(word))
    values = np.array(words, dtype=np.float64)
    big = np.abs(values) > FLOAT32_MAX
    if big.any():
        k = int(np.argmax(big))
        raise OoglError(t.lines[start + k], f"a number within float32 range ({what})", _shown(words[k]))
    t.pos += count
    return values


def _indices(t, count, limit, what):
    _enough(t, count, what)
    start = t.pos
    words = t.words[start:start + count]
    expected = f"a vertex index from 0 to {limit - 1}" if limit else "no vertex index (there are no vertices)"
    for k, word in enumerate(words):
        if not INTEGER.fullmatch(word) or not 0 <= int(word) < limit:
            raise OoglError(t.lines[start + k], f"{expected} ({what})", _shown(word))
    t.pos += count
    return np.array(words, dtype=np.int64)


def _skip_line(t, line):
    """Skips what is left of a line: a face's colour runs to its end. A colour
    is numbers, so a brace or key word after it on the line is left to read."""
    while t.pos < len(t.words) and t.lines[t.pos] == line and NUMBER.fullmatch(t.words[t.pos]):
        t.pos += 1


def _dimension(t, key, homogeneous):
    ndim = _integer(t, f"the dimension of {key} vertices, 1 to {MAX_DIM}", 1, MAX_DIM)
    return ndim + homogeneous, ndim


def _positions(values, homogeneous, line):
    if not homogeneous:
        return values
    divisor = values[:, -1:]
    if (divisor == 0).any():
        raise OoglError(line, "homogeneous vertices with a divisor other than 0", "a divisor of 0")
    with np.errstate(over="ignore"):
        points = values[:, :-1] / divisor
    if not (np.abs(points) <= FLOAT32_MAX).all():
        raise OoglError(line, "coordinates within float32 range after the division by the last",
                        "a vertex beyond it")
    return points


def _one_a_line(t, count, width):
    """Where the first of count vertices (width values each) fills a line of
    its own, as in nearly every file, a later vertex line holding more or
    fewer values is an error at that line: read freely, a missing value
    would shift every value after it and show up lines later, or not at all."""
    full = min(count, (len(t.words) - t.pos) // width)
    if full < 2:
        return
    start, stop = t.pos, t.pos + full * width
    # Line numbers around the rows; 0 is no line, for the ends of the file.
    seg = np.array([t.lines[start - 1] if start else 0] + t.lines[start:stop]
                   + [t.lines[stop] if stop < len(t.lines) else 0])
    firsts = seg[1:-1:width]
    alone = (firsts == seg[width:-1:width]) & (seg[0:-2:width] != firsts) & (seg[width + 1::width] != firsts)
    if not alone[0] or alone.all():
        return
    row = int(np.argmin(alone))
    line = int(firsts[row])
    at = start + row * width
    found = 0
    while at + found < len(t.lines) and t.lines[at + found] == line:
        found += 1
    raise OoglError(line, f"{width} values on the line of vertex {row} (one vertex a line, as above)", str(found))


def _vertices(t, count, size, extra, what):
    """count vertices of size position values and extra values dropped."""
    _one_a_line(t, count, size + extra)
    values = _numbers(t, count * (size + extra), what).reshape(count, size + extra)
    return values[:, :size]


def _read_off(t, key, line):
    st, c, n, four, nd = key.groups()
    if nd:
        size, dim = _dimension(t, key.group(0), bool(four))
    else:
        size = dim = 4 if four else 3
    extra = (dim if nd else 3) * bool(n) + 4 * bool(c) + 2 * bool(st)
    vertex_count = _integer(t, "the vertex count, 0 or more", 0, 2**31)
    face_count = _integer(t, "the face count, 0 or more", 0, 2**31)
    _integer(t, "the edge count", -2**31, 2**31)
    vertices = _vertices(t, vertex_count, size, extra, f"{vertex_count} vertices")
    points = _positions(vertices, four and nd, line)
    _enough(t, face_count, f"{face_count} faces")
    fans = []
    for face in range(face_count):
        corners = _integer(t, f"the vertex count of face {face}, 0 or more", 0, 2**31)
        _enough(t, corners, f"face {face}")
        at = t.lines[t.pos - 1]
        index = _indices(t, corners, vertex_count, f"face {face}")
        if corners:
            at = t.lines[t.pos - 1]
        _skip_line(t, at)
        if corners >= 3:
            fan = np.empty((corners - 2, 3), dtype=np.int64)
            fan[:, 0] = index[0]
            fan[:, 1] = index[1:-1]
            fan[:, 2] = index[2:]
            fans.append(fan)
    rows = np.concatenate(fans).reshape(-1) if fans else np.zeros(0, dtype=np.int64)
    coords = points[rows]
    return _surface(line, coords, triangle_normals(coords) if len(coords) else coords.copy())


def _grid_tangents(points, wrap, axis):
    if wrap:
        return (np.roll(points, -1, axis=axis) - np.roll(points, 1, axis=axis)) / 2
    return np.gradient(points, axis=axis)


def _read_mesh(t, key, line):
    u_tex, c, n, z, four, wrap_u, wrap_v, nd = key.groups()
    if z and (four or nd):
        raise OoglError(line, "a MESH key word without both Z and 4 or n", _shown(key.group(0)))
    if nd:
        size, dim = _dimension(t, key.group(0), bool(four))
    else:
        size = dim = 1 if z else 4 if four else 3
    extra = (dim if nd else 3) * bool(n) + 4 * bool(c) + 3 * bool(u_tex)
    nu = _integer(t, "the grid size NU, 1 or more", 1, 2**31)
    nv = _integer(t, "the grid size NV, 1 or more", 1, 2**31)
    values = _positions(_vertices(t, nu * nv, size, extra, f"{nu} x {nv} vertices"), four and nd, line)
    # v-major in the file: vertex (u, v) is number u + NU v.
    grid = values.reshape(nv, nu, -1).transpose(1, 0, 2)
    if z:
        U, V = np.meshgrid(np.arange(nu, dtype=np.float64), np.arange(nv, dtype=np.float64), indexing="ij")
        grid = np.stack([U, V, grid[:, :, 0]], axis=-1)
    if nu < 2 or nv < 2:
        empty = np.zeros((0, grid.shape[2]))
        return _surface(line, empty, empty)
    normals = grid_normals(_grid_tangents(grid, wrap_u, 0), _grid_tangents(grid, wrap_v, 1),
                           bool(wrap_u), bool(wrap_v))
    coords, normals = grid_triangles(grid, normals, bool(wrap_u), bool(wrap_v))
    return _surface(line, coords, normals)


def _skip_vect(t, key):
    lines = _integer(t, "the polyline count, 0 or more", 0, 2**31)
    vertices = _integer(t, "the vertex count, 0 or more", 0, 2**31)
    colours = _integer(t, "the colour count, 0 or more", 0, 2**31)
    size = 4 if key.group(1) else 3
    _enough(t, 2 * lines + size * vertices + 4 * colours, "the VECT's data")
    t.pos += 2 * lines + size * vertices + 4 * colours


def _skip_skel(t, key):
    four, nd = key.groups()
    size = _dimension(t, key.group(0), bool(four))[0] if nd else 4 if four else 3
    vertices = _integer(t, "the vertex count, 0 or more", 0, 2**31)
    lines = _integer(t, "the polyline count, 0 or more", 0, 2**31)
    _enough(t, size * vertices + lines, "the SKEL's data")
    t.pos += size * vertices
    for k in range(lines):
        count = _integer(t, f"the vertex count of polyline {k}, 0 or more", 0, 2**31)
        _enough(t, count, f"polyline {k}")
        at = t.lines[t.pos - 1]
        t.pos += count
        _skip_line(t, t.lines[t.pos - 1] if count else at)


def _skip_block(t):
    """Skips a { } block whose opening brace comes next."""
    word, line = _next(t, "'{' after appearance")
    if word != "{":
        raise OoglError(line, "'{' after appearance", _shown(word))
    depth = 1
    while depth:
        word, _ = _next(t, "'}' closing the appearance block")
        depth += (word == "{") - (word == "}")


OBJECTS = "an OFF, MESH, LIST, VECT or SKEL object"


def read_oogl(text):
    """Reads the OOGL text into an Oogl record; raises OoglError naming the
    line and what was expected there."""
    t = _tokenize(text)
    out = Oogl()
    if not t.words:
        raise OoglError(1, OBJECTS, "an empty file")
    if NUMBER.fullmatch(t.words[0]):
        out.surfaces.append(_read_off(t, OFF_KEY.fullmatch("OFF"), t.lines[0]))
    depth = 0
    while t.pos < len(t.words):
        word, line = _next(t, OBJECTS)
        if word == "{":
            depth += 1
        elif word == "}":
            if depth == 0:
                raise OoglError(line, OBJECTS, "'}' with no '{' open")
            depth -= 1
        elif word == "LIST":
            continue
        elif word == "appearance":
            _skip_block(t)
        elif _peek(t) == "BINARY":
            raise OoglError(line, "an ASCII object (BINARY ones are not read)", f"{_shown(word)} BINARY")
        elif key := OFF_KEY.fullmatch(word):
            out.surfaces.append(_read_off(t, key, line))
        elif key := MESH_KEY.fullmatch(word):
            out.surfaces.append(_read_mesh(t, key, line))
        elif key := VECT_KEY.fullmatch(word):
            _skip_vect(t, key)
            out.skipped.append((word, line))
        elif key := SKEL_KEY.fullmatch(word):
            _skip_skel(t, key)
            out.skipped.append((word, line))
        else:
            raise OoglError(line, OBJECTS, _shown(word))
    if depth:
        raise _end(t, "'}'")
    return out
