"""Triangle lists kept as their distinct vertices and the vertex of each
corner, and turned into a KLEIN file's bytes a chunk at a time: a surface
of millions of triangles is never held whole, neither as float64 nor as the
file, so the programs' memory stays well below the size of what they write.

A list may come in several parts (the members of an OOGL LIST), which
klein_chunks writes as one file."""
import base64
from dataclasses import dataclass
from typing import Callable, Optional

import numpy as np

from .normals import triangle_normals

HEADER_SIZE = 15
# Values a chunk holds: 2^21 float64 values are 16 MB, so a chunk and its
# few temporaries stay within a small constant of memory.
CHUNK_VALUES = 1 << 21


@dataclass
class Triangles:
    """n corners, three a triangle: corner k is points[rows(k, k + 1)[0]].
    normals holds one per point, or is None for each triangle's own
    (triangle_normals); with align, each triangle's normals take the sign
    of its first, as a grid's may flip across a fold. used marks the points
    some corner takes (None: all). The points are written as
    (point - centre) * scale, which surface.fit_parts sets."""
    points: np.ndarray
    n: int
    rows: Callable[[int, int], np.ndarray]
    normals: Optional[np.ndarray] = None
    align: bool = False
    used: Optional[np.ndarray] = None
    centre: Optional[np.ndarray] = None
    scale: float = 1.0

    @property
    def m(self):
        return self.points.shape[1]


def listed(points, rows):
    """Triangles whose corners are the given rows of points, each triangle
    with its own normal."""
    used = np.zeros(len(points), dtype=bool)
    used[rows] = True
    return Triangles(points, len(rows), lambda a, b: rows[a:b], used=None if used.all() else used)


def whole(coords, normals=None):
    """Triangles of a triangle list held as one array of shape (n, m)."""
    return Triangles(coords, len(coords), np.arange, normals)


def chunk_step(m):
    """Corners a chunk takes: whole cells of a grid (6 corners), so whole
    triangles."""
    return max(6, CHUNK_VALUES // m // 6 * 6)


def corner_coords(t, rows):
    """The coordinates of the corners at rows of t.points, as written."""
    coords = np.asarray(t.points[rows], dtype=np.float64)
    return coords if t.centre is None else (coords - t.centre) * t.scale


def corner_normals(t, rows, coords):
    """The normals of the corners at rows (their coordinates coords): a
    normal that is not finite, from a tangent taken where a formula fails,
    becomes its triangle's."""
    if t.normals is None:
        return triangle_normals(coords)
    normals = np.asarray(t.normals[rows], dtype=np.float64)
    if t.align:
        triangles = normals.reshape(-1, 3, normals.shape[1])
        signs = np.where(np.einsum("tkj,tj->tk", triangles, triangles[:, 0]) < 0, -1.0, 1.0)
        normals = (triangles * signs[..., None]).reshape(normals.shape)
    bad = ~np.isfinite(normals).all(axis=1)
    if bad.any():
        normals[bad] = triangle_normals(coords)[bad]
    return normals


def corners(t, a, b):
    """(coords, normals) of corners a to b, float64, as written."""
    rows = t.rows(a, b)
    coords = corner_coords(t, rows)
    return coords, corner_normals(t, rows, coords)


def used_points(parts):
    """The points some corner takes, chunk by chunk, as written."""
    for t in parts:
        step = max(1, CHUNK_VALUES // t.m)
        for a in range(0, len(t.points), step):
            rows = np.arange(a, min(a + step, len(t.points)))
            if t.used is not None:
                rows = rows[t.used[rows]]
            if len(rows):
                yield corner_coords(t, rows)


def reach(parts):
    """The distance of the farthest vertex from the origin, as written (nan
    or inf when some coordinate is not finite)."""
    farthest = 0.0
    for chunk in used_points(parts):
        distance = float(np.sqrt(np.einsum("ij,ij->i", chunk, chunk)).max())
        if not np.isfinite(distance):
            return distance
        farthest = max(farthest, distance)
    return farthest


def klein_size(n, m):
    """The bytes of a KLEIN file of n vertices of m coordinates."""
    return HEADER_SIZE + 8 * n * m


def klein_chunks(parts):
    """The bytes of the KLEIN file of the parts: the header, then the
    coordinates, then the normals, as float32 a chunk at a time. Raises
    ValueError for a value that is not finite as float32, naming its row."""
    n, m = sum(t.n for t in parts), parts[0].m
    yield b"KLEIN\0" + bytes([m]) + n.to_bytes(8, "little")
    for name in ("coords as float32", "normals"):
        offset = 0
        for t in parts:
            step = chunk_step(m)
            for a in range(0, t.n, step):
                rows = t.rows(a, min(a + step, t.n))
                values = corner_coords(t, rows)
                if name == "normals":
                    values = corner_normals(t, rows, values)
                with np.errstate(over="ignore"):
                    stored = values.astype("<f4")
                bad = ~np.isfinite(stored).all(axis=1)
                if bad.any():
                    row = int(np.argmax(bad))
                    raise ValueError(f"{name}: row {offset + a + row} is not finite: {values[row].tolist()}")
                yield stored.tobytes()
            offset += t.n


def base64_chunks(chunks):
    """The base64 text of the bytes of chunks, a chunk at a time."""
    rest = b""
    for chunk in chunks:
        chunk = rest + chunk
        cut = len(chunk) - len(chunk) % 3
        yield base64.b64encode(chunk[:cut])
        rest = chunk[cut:]
    yield base64.b64encode(rest)
