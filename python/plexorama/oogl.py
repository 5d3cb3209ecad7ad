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
anything is allocated by it. Tokens are kept as where they start in the
file, a few bytes each, and read from it when needed.
"""
import re
from array import array
from dataclasses import dataclass, field

import numpy as np

from .normals import grid_normals
from .surface import grid_parts
from .triangles import Triangles, listed

OFF_KEY = re.compile(r"(ST)?(C)?(N)?(4)?(n)?OFF")
MESH_KEY = re.compile(r"(U)?(C)?(N)?(Z)?(4)?(u)?(v)?(n)?MESH")
VECT_KEY = re.compile(r"(4)?VECT")
SKEL_KEY = re.compile(r"(4)?(n)?SKEL")
INTEGER = re.compile(r"[+-]?[0-9]{1,12}")
NUMBER = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")
# The bytes of numbers and of integers, and the blank between them: a run
# of values of these alone is what NUMBER (INTEGER) reads exactly when
# numpy converts it, so only a run that fails is checked a value at a time.
NUMBER_BYTES = np.isin(np.arange(256), list(b"0123456789+-.eE "))
INTEGER_BYTES = np.isin(np.arange(256), list(b"0123456789+- "))
# White space as Python's str.isspace() sees the file's bytes (as Latin-1).
SPACE = np.array([chr(c).isspace() for c in range(256)])
WORD = re.compile(rb"[{}]|[^{}#" + b"".join(re.escape(bytes([c])) for c in np.flatnonzero(SPACE)) + rb"]+")
FLOAT32_MAX = float(np.finfo(np.float32).max)
MAX_DIM = 255
# Bytes of the file tokenised at once, and values read at once.
BLOCK = 1 << 20
VALUES = 1 << 20


class OoglError(Exception):
    """What the reader expected at a line of the file, and what it found."""

    def __init__(self, line, expected, found):
        super().__init__(f"{line}: expected {expected}, found {found}")
        self.line = line


@dataclass
class Surface:
    """One member read: its key word's line, its triangles, and whether its
    vertices were 3-D, given w = 0."""
    line: int
    triangles: Triangles
    lifted: bool = False


def _lifted(points):
    """Points in R^3 as points of R^3 x {0}: the normal of a surface there is
    its 3-D normal with w = 0."""
    return np.pad(points, [(0, 0)] * (points.ndim - 1) + [(0, 1)]) if points.shape[-1] == 3 else points


@dataclass
class Oogl:
    """A file read: its surfaces, and the members skipped as (key word, line)."""
    surfaces: list = field(default_factory=list)
    skipped: list = field(default_factory=list)


@dataclass
class _Tokens:
    """The file's bytes, where each token starts and its line, where each
    line ends, and the token reached."""
    data: bytes
    starts: np.ndarray
    lines: np.ndarray
    newlines: np.ndarray
    pos: int = 0

    @property
    def count(self):
        return len(self.starts)


def _shown(word):
    if len(word) > 24:
        word = word[:24] + "..."
    return "'" + word.encode("unicode_escape").decode("ascii").replace("'", "\\'") + "'"


def _comments(block, newlines, open_at_start):
    """Which bytes of block lie in a comment: from a '#' to the end of its
    line, from the start when a comment runs on from the block before."""
    hashes = np.flatnonzero(block == ord("#"))
    if not len(hashes) and not open_at_start:
        return np.zeros(len(block), dtype=bool)
    if open_at_start:
        hashes = np.concatenate([[0], hashes])
    ends = np.concatenate([newlines, [len(block)]])[np.searchsorted(newlines, hashes)]
    depth = np.bincount(hashes, minlength=len(block) + 1) - np.bincount(ends, minlength=len(block) + 1)
    return np.cumsum(depth[:-1]) > 0


def _tokenize(data):
    """A token is a brace, or a run of bytes that are neither white space nor
    braces; '#' starts a comment that runs to the end of its line. The file
    is read a block at a time, a word or comment running on across blocks."""
    kind = np.int32 if len(data) < 2**31 else np.int64
    starts, newlines = [], []
    in_word = in_comment = False
    for at in range(0, len(data), BLOCK):
        block = np.frombuffer(data, dtype=np.uint8, count=min(BLOCK, len(data) - at), offset=at)
        ends = np.flatnonzero(block == ord("\n"))
        comment = _comments(block, ends, in_comment)
        brace = ((block == ord("{")) | (block == ord("}"))) & ~comment
        word = ~(SPACE[block] | comment | brace)
        begins = word.copy()
        begins[1:] &= ~word[:-1]
        begins[0] &= not in_word
        starts.append((np.flatnonzero(begins | brace) + at).astype(kind))
        newlines.append((ends + at).astype(kind))
        in_word, in_comment = bool(word[-1]), bool(comment[-1])
    starts = np.concatenate(starts or [np.zeros(0, kind)])
    newlines = np.concatenate(newlines or [np.zeros(0, kind)])
    lines = np.empty(len(starts), dtype=kind)
    for at in range(0, len(starts), BLOCK):
        lines[at:at + BLOCK] = np.searchsorted(newlines, starts[at:at + BLOCK]) + 1
    return _Tokens(data, starts, lines, newlines)


def _word(t, k):
    return WORD.match(t.data, int(t.starts[k])).group().decode("latin-1")


def _words(t, start, stop):
    """Tokens start to stop as bytes: split off the file where nothing but
    ASCII white space lies between them, as nearly always."""
    if stop <= start:
        return []
    span = t.data[int(t.starts[start]):WORD.match(t.data, int(t.starts[stop - 1])).end()]
    words = span.split()
    if len(words) == stop - start and not any(c in span for c in b"#{}"):
        return words
    return [WORD.match(t.data, s).group() for s in t.starts[start:stop].tolist()]


def _lines(t, start, stop):
    """The lines (from 1) of tokens start to stop."""
    return t.lines[start:stop]


def _line(t, k):
    return int(t.lines[k])


def _line_tokens(t, line):
    """The first token on a line and how many it holds."""
    low = t.newlines[line - 2] + 1 if line >= 2 else 0
    high = t.newlines[line - 1] if line - 1 < len(t.newlines) else len(t.data)
    first, end = np.searchsorted(t.starts, [low, high])
    return int(first), int(end - first)


def _last_line(t):
    return _line(t, t.count - 1) if t.count else 1


def _end(t, expected):
    return OoglError(_last_line(t), expected, "the end of the file")


def _next(t, expected):
    if t.pos >= t.count:
        raise _end(t, expected)
    t.pos += 1
    return _word(t, t.pos - 1), _line(t, t.pos - 1)


def _peek(t):
    return _word(t, t.pos) if t.pos < t.count else None


def _integer(t, expected, low, high):
    word, line = _next(t, expected)
    if not INTEGER.fullmatch(word) or not low <= int(word) <= high:
        raise OoglError(line, expected, _shown(word))
    return int(word)


def _enough(t, count, what):
    left = t.count - t.pos
    if count > left:
        raise _end(t, f"{count} values of {what} ({left} left)")


def _converted(words, allowed, out):
    """Whether words, all of bytes allowed, could be converted into out."""
    if not allowed[np.frombuffer(b" ".join(words), dtype=np.uint8)].all():
        return False
    try:
        out[:] = words
    except (ValueError, OverflowError):
        return False
    return True


def _numbers(t, count, what):
    """The next count tokens as finite float32-range numbers."""
    _enough(t, count, what)
    values = np.empty(count)
    for at in range(0, count, VALUES):
        start = t.pos + at
        words = _words(t, start, start + min(VALUES, count - at))
        chunk = values[at:at + len(words)]
        if not _converted(words, NUMBER_BYTES, chunk):
            for k, word in enumerate(words):
                if not NUMBER.fullmatch(word.decode("latin-1")):
                    raise OoglError(_line(t, start + k), f"a number ({what})", _shown(word.decode("latin-1")))
        big = np.abs(chunk) > FLOAT32_MAX
        if big.any():
            k = int(np.argmax(big))
            raise OoglError(_line(t, start + k), f"a number within float32 range ({what})",
                            _shown(words[k].decode("latin-1")))
    t.pos += count
    return values


def _indices(t, count, limit, what):
    _enough(t, count, what)
    start = t.pos
    words = _words(t, start, start + count)
    index = np.empty(count, dtype=np.int64)
    if words and _converted(words, INTEGER_BYTES, index) and index.min() >= 0 and index.max() < limit:
        t.pos += count
        return index
    expected = f"a vertex index from 0 to {limit - 1}" if limit else "no vertex index (there are no vertices)"
    for k, word in enumerate(words):
        word = word.decode("latin-1")
        if not INTEGER.fullmatch(word) or not 0 <= int(word) < limit:
            raise OoglError(_line(t, start + k), f"{expected} ({what})", _shown(word))
    t.pos += count
    return np.zeros(0, dtype=np.int64)


def _skip_line(t, line):
    """Skips what is left of a line: a face's colour runs to its end. A colour
    is numbers, so a brace or key word after it on the line is left to read."""
    while t.pos < t.count and _line(t, t.pos) == line and NUMBER.fullmatch(_word(t, t.pos)):
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
    """Where vertices are written one a line, as in nearly every file, a
    vertex line holding more or fewer than width values is an error at that
    line: read freely, a missing value would shift every value after it and
    show up lines later, or not at all. Vertices are one a line when the
    first fills a line of its own, or when the first starts a line and the
    two lines after it hold width values each (then the first line is
    wrong)."""
    full = min(count, (t.count - t.pos) // width)
    if full < 2:
        return
    start = t.pos
    first_line, found = _line_tokens(t, _line(t, start))
    if first_line != start:
        return
    if found != width:
        following = []
        at = start + found
        for _ in range(min(count - 1, 2)):
            if at >= t.count:
                return
            _, on_line = _line_tokens(t, _line(t, at))
            following.append(on_line)
            at += on_line
        if following and all(on_line == width for on_line in following):
            raise OoglError(_line(t, start), f"{width} values on the line of vertex 0 (one vertex a line, as below)",
                            str(found))
        return
    # Rows a block at a time: line numbers around them, 0 for no line at
    # the ends of the file.
    for row0 in range(0, full, max(1, VALUES // width)):
        rows = min(full - row0, max(1, VALUES // width))
        low, high = start + row0 * width, start + (row0 + rows) * width
        seg = np.concatenate([_lines(t, low - 1, low) if low else [0], _lines(t, low, high),
                              _lines(t, high, high + 1) if high < t.count else [0]])
        firsts = seg[1:-1:width]
        alone = (firsts == seg[width:-1:width]) & (seg[0:-2:width] != firsts) & (seg[width + 1::width] != firsts)
        if alone.all():
            continue
        row = int(np.argmin(alone))
        line = int(firsts[row])
        raise OoglError(line, f"{width} values on the line of vertex {row0 + row} (one vertex a line, as above)",
                        str(_line_tokens(t, line)[1]))


def _vertices(t, count, size, extra, what):
    """count vertices of size position values and extra values dropped."""
    _one_a_line(t, count, size + extra)
    values = _numbers(t, count * (size + extra), what).reshape(count, size + extra)
    return np.ascontiguousarray(values[:, :size]) if extra else values


def _fans(flat, sizes):
    """The corners of the triangles of fans of polygons: sizes corners each,
    their vertices one after the other in flat; triangle j of a polygon is
    its vertices 0, j + 1 and j + 2."""
    triangles = sizes - 2
    firsts = np.repeat(np.cumsum(sizes) - sizes, triangles)
    j = np.arange(int(triangles.sum())) - np.repeat(np.cumsum(triangles) - triangles, triangles)
    return np.stack([flat[firsts], flat[firsts + j + 1], flat[firsts + j + 2]], axis=1).reshape(-1)


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
    flat, sizes = array("q"), array("q")
    for face in range(face_count):
        corners = _integer(t, f"the vertex count of face {face}, 0 or more", 0, 2**31)
        _enough(t, corners, f"face {face}")
        at = _line(t, t.pos - 1)
        index = _indices(t, corners, vertex_count, f"face {face}")
        if corners:
            at = _line(t, t.pos - 1)
        _skip_line(t, at)
        if corners >= 3:
            flat.frombytes(index.tobytes())
            sizes.append(corners)
    rows = _fans(np.frombuffer(flat, dtype=np.int64), np.frombuffer(sizes, dtype=np.int64))
    return Surface(line, listed(_lifted(points), rows), lifted=points.shape[1] == 3)


def _grid_tangents(points, wrap, axis):
    """Central differences along axis, one-sided at open ends (as
    np.gradient), made without temporaries of the grid's size."""
    out = np.empty_like(points)
    g, o = np.moveaxis(points, axis, 0), np.moveaxis(out, axis, 0)
    np.subtract(g[2:], g[:-2], out=o[1:-1])
    o[1:-1] /= 2
    if wrap:
        o[0], o[-1] = (g[1] - g[-1]) / 2, (g[0] - g[-2]) / 2
    else:
        o[0], o[-1] = g[1] - g[0], g[-1] - g[-2]
    return out


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
    lifted = grid.shape[2] == 3
    if nu < 2 or nv < 2:
        empty = np.zeros((0, 4 if lifted else grid.shape[2]))
        return Surface(line, listed(empty, np.zeros(0, dtype=np.int64)), lifted)
    normals = grid_normals(_grid_tangents(grid, wrap_u, 0), _grid_tangents(grid, wrap_v, 1),
                           bool(wrap_u), bool(wrap_v))
    return Surface(line, grid_parts(_lifted(grid), _lifted(normals), bool(wrap_u), bool(wrap_v)), lifted)


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
        at = _line(t, t.pos - 1)
        t.pos += count
        _skip_line(t, _line(t, t.pos - 1) if count else at)


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


def read_oogl(data):
    """Reads the OOGL file's bytes (or its text) into an Oogl record; raises
    OoglError naming the line and what was expected there."""
    t = _tokenize(data.encode("latin-1") if isinstance(data, str) else data)
    out = Oogl()
    if not t.count:
        raise OoglError(1, OBJECTS, "an empty file")
    if NUMBER.fullmatch(_word(t, 0)):
        out.surfaces.append(_read_off(t, OFF_KEY.fullmatch("OFF"), _line(t, 0)))
    depth = 0
    while t.pos < t.count:
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
