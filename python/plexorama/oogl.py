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
costs a counter. The words and values of the file come from
plexorama.oogl_words.
"""
import re
from array import array
from dataclasses import dataclass, field

import numpy as np

from .normals import grid_normals
from .oogl_words import (FLOAT32_MAX, NUMBER, OoglError, check_enough, end_error, line_at, next_word, peek_word,
                         read_indices, read_integer, read_vertices, shown, skip_line, tokenize,
                         word_at)
from .surface import grid_parts
from .triangles import Triangles, listed

OFF_KEY = re.compile(r"(ST)?(C)?(N)?(4)?(n)?OFF")
MESH_KEY = re.compile(r"(U)?(C)?(N)?(Z)?(4)?(u)?(v)?(n)?MESH")
VECT_KEY = re.compile(r"(4)?VECT")
SKEL_KEY = re.compile(r"(4)?(n)?SKEL")
MAX_DIM = 255


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


def _dimension(t, key, homogeneous):
    ndim = read_integer(t, f"the dimension of {key} vertices, 1 to {MAX_DIM}", 1, MAX_DIM)
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
    vertex_count = read_integer(t, "the vertex count, 0 or more", 0, 2**31)
    face_count = read_integer(t, "the face count, 0 or more", 0, 2**31)
    read_integer(t, "the edge count", -2**31, 2**31)
    vertices = read_vertices(t, vertex_count, size, extra, f"{vertex_count} vertices")
    points = _positions(vertices, four and nd, line)
    check_enough(t, face_count, f"{face_count} faces")
    flat, sizes = array("q"), array("q")
    for face in range(face_count):
        corners = read_integer(t, f"the vertex count of face {face}, 0 or more", 0, 2**31)
        check_enough(t, corners, f"face {face}")
        at = line_at(t, t.pos - 1)
        index = read_indices(t, corners, vertex_count, f"face {face}")
        if corners:
            at = line_at(t, t.pos - 1)
        skip_line(t, at)
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
        raise OoglError(line, "a MESH key word without both Z and 4 or n", shown(key.group(0)))
    if nd:
        size, dim = _dimension(t, key.group(0), bool(four))
    else:
        size = dim = 1 if z else 4 if four else 3
    extra = (dim if nd else 3) * bool(n) + 4 * bool(c) + 3 * bool(u_tex)
    nu = read_integer(t, "the grid size NU, 1 or more", 1, 2**31)
    nv = read_integer(t, "the grid size NV, 1 or more", 1, 2**31)
    values = _positions(read_vertices(t, nu * nv, size, extra, f"{nu} x {nv} vertices"), four and nd, line)
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
    lines = read_integer(t, "the polyline count, 0 or more", 0, 2**31)
    vertices = read_integer(t, "the vertex count, 0 or more", 0, 2**31)
    colours = read_integer(t, "the colour count, 0 or more", 0, 2**31)
    size = 4 if key.group(1) else 3
    check_enough(t, 2 * lines + size * vertices + 4 * colours, "the VECT's data")
    t.pos += 2 * lines + size * vertices + 4 * colours


def _skip_skel(t, key):
    four, nd = key.groups()
    size = _dimension(t, key.group(0), bool(four))[0] if nd else 4 if four else 3
    vertices = read_integer(t, "the vertex count, 0 or more", 0, 2**31)
    lines = read_integer(t, "the polyline count, 0 or more", 0, 2**31)
    check_enough(t, size * vertices + lines, "the SKEL's data")
    t.pos += size * vertices
    for k in range(lines):
        count = read_integer(t, f"the vertex count of polyline {k}, 0 or more", 0, 2**31)
        check_enough(t, count, f"polyline {k}")
        at = line_at(t, t.pos - 1)
        t.pos += count
        skip_line(t, line_at(t, t.pos - 1) if count else at)


def _skip_block(t):
    """Skips a { } block whose opening brace comes next."""
    word, line = next_word(t, "'{' after appearance")
    if word != "{":
        raise OoglError(line, "'{' after appearance", shown(word))
    depth = 1
    while depth:
        word, _ = next_word(t, "'}' closing the appearance block")
        depth += (word == "{") - (word == "}")


OBJECTS = "an OFF, MESH, LIST, VECT or SKEL object"


def read_oogl(data):
    """Reads the OOGL file's bytes (or its text) into an Oogl record; raises
    OoglError naming the line and what was expected there."""
    t = tokenize(data.encode("latin-1") if isinstance(data, str) else data)
    out = Oogl()
    if not t.count:
        raise OoglError(1, OBJECTS, "an empty file")
    if NUMBER.fullmatch(word_at(t, 0)):
        out.surfaces.append(_read_off(t, OFF_KEY.fullmatch("OFF"), line_at(t, 0)))
    depth = 0
    while t.pos < t.count:
        word, line = next_word(t, OBJECTS)
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
        elif peek_word(t) == "BINARY":
            raise OoglError(line, "an ASCII object (BINARY ones are not read)", f"{shown(word)} BINARY")
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
            raise OoglError(line, OBJECTS, shown(word))
    if depth:
        raise end_error(t, "'}'")
    return out
