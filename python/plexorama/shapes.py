"""Shapes beside surfaces: polylines, points and polygons in R^m, written as
the Geomview files the viewer reads (nSKEL and nOFF).

A Shape holds its vertices, an array of shape (n, m) with m from 3 (read
with w = 0) to 255, its items (polylines, or polygons), each a run of
vertex indices (sizes says how many each has, indices holds them one item
after the other), and optionally one RGBA colour, 0 to 1, per item. A
polyline whose last index is its first is closed; one of one vertex is a
point. As polygons, items of three or more vertices are faces whose own
edges the viewer draws as lines, items of two an edge.

    lines(polylines, closed, colors)   polylines, open or closed
    points(coords, colors)             points
    write_skel(path, shape)            an nSKEL file: the items as polylines
    write_off(path, shape)             an nOFF file: the items as polygons
    shape_list(coords)                 the shapes the viewer is handed, when several
"""
import os
from dataclasses import dataclass
from typing import Optional

import numpy as np

from .klein import MAX_DIM, write_whole

MIN_DIM = 3
# Rows written at once: a few megabytes of text.
ROWS = 1 << 15


@dataclass
class Shape:
    """Vertices of m coordinates, items of vertex indices, a colour per item
    or none; polygons says whether the items are polygons, as nOFF holds
    them, or polylines, as nSKEL does."""
    vertices: np.ndarray
    sizes: np.ndarray
    indices: np.ndarray
    colors: Optional[np.ndarray] = None
    polygons: bool = False

    @property
    def m(self):
        return self.vertices.shape[1]


def _vertices(coords, what):
    """coords as an array of shape (n, m), refused (ValueError) unless m is
    from 3 to 255 and every value finite as float32."""
    coords = np.asarray(coords, dtype=np.float64)
    if coords.ndim != 2 or not MIN_DIM <= coords.shape[1] <= MAX_DIM:
        raise ValueError(f"{what}: expected an array of shape (n, m), m from {MIN_DIM} to {MAX_DIM}, "
                         f"found shape {coords.shape}")
    with np.errstate(over="ignore"):
        bad = ~np.isfinite(coords.astype(np.float32)).all(axis=1)
    if bad.any():
        row = int(np.argmax(bad))
        raise ValueError(f"{what}: row {row} is not finite as float32: {coords[row].tolist()}")
    return coords


def _colors(colors, count, what):
    """One RGBA row per item from colors: None, one colour for all, or one
    per item, each 3 or 4 values from 0 to 1."""
    if colors is None:
        return None
    colors = np.asarray(colors, dtype=np.float64)
    if colors.ndim == 1:
        colors = np.tile(colors, (count, 1))
    if colors.ndim != 2 or colors.shape[0] != count or colors.shape[1] not in (3, 4):
        raise ValueError(f"{what}: expected one colour, or one for each of the {count}, of 3 or 4 values; "
                         f"found shape {colors.shape}")
    if not ((colors >= 0) & (colors <= 1)).all():
        raise ValueError(f"{what}: expected values from 0 to 1")
    return np.pad(colors, ((0, 0), (0, 4 - colors.shape[1])), constant_values=1)


def lines(polylines, closed=False, colors=None):
    """A Shape of polylines: polylines is one array of shape (k, m), an array
    of shape (count, k, m), or a sequence of arrays (k, m) of any k of 1 or
    more. closed, for all or one each, joins the last vertex to the first.
    colors: one colour for all, or one for each polyline, RGB or RGBA from
    0 to 1; None leaves the viewer to choose. Raises ValueError."""
    if isinstance(polylines, np.ndarray) and polylines.ndim == 3:
        coords = _vertices(polylines.reshape(-1, polylines.shape[-1]), "lines()")
        counts = np.full(polylines.shape[0], polylines.shape[1])
    else:
        parts = [polylines] if isinstance(polylines, np.ndarray) and polylines.ndim == 2 else list(polylines)
        parts = [_vertices(p, f"lines(): polyline {k}") for k, p in enumerate(parts)]
        if len({p.shape[1] for p in parts}) > 1:
            raise ValueError("lines(): expected polylines all of one m")
        coords = np.concatenate(parts) if parts else np.zeros((0, 4))
        counts = np.array([len(p) for p in parts], dtype=np.int64)
    if len(counts) == 0 or (counts == 0).any():
        raise ValueError("lines(): expected one or more polylines of one or more vertices")
    closed = np.broadcast_to(np.asarray(closed, dtype=bool), counts.shape)
    starts = np.cumsum(counts) - counts
    sizes = counts + closed
    # Each polyline's own vertices in order, and its first again where closed.
    indices = np.arange(int(sizes.sum())) - np.repeat(np.cumsum(sizes) - sizes - starts, sizes)
    indices[(np.cumsum(sizes) - 1)[closed]] = starts[closed]
    return Shape(coords, sizes, indices, _colors(colors, len(counts), "lines(): colors"))


def points(coords, colors=None):
    """A Shape of points: coords an array of shape (n, m); colors one
    colour for all, or one for each point, RGB or RGBA from 0 to 1. Raises
    ValueError."""
    coords = _vertices(coords, "points()")
    n = len(coords)
    return Shape(coords, np.ones(n, dtype=np.int64), np.arange(n), _colors(colors, n, "points(): colors"))


def _checked(shape):
    shape.vertices = _vertices(shape.vertices, "the shape's vertices")
    sizes, indices = np.asarray(shape.sizes), np.asarray(shape.indices)
    if len(sizes) == 0 or (sizes < 1).any() or sizes.sum() != len(indices):
        raise ValueError("the shape: expected one or more items of one or more vertices, their indices all given")
    if len(indices) and not (0 <= indices.min() and indices.max() < len(shape.vertices)):
        raise ValueError(f"the shape: an index is not one of its {len(shape.vertices)} vertices")
    if shape.colors is not None and np.shape(shape.colors) != (len(sizes), 4):
        raise ValueError(f"the shape: expected one RGBA colour for each of its {len(sizes)} items")
    return sizes, indices


def _rows(values, format):
    """The rows of a 2-D array as lines of text, a block at a time."""
    line = " ".join([format] * values.shape[1]) + "\n"
    for start in range(0, len(values), ROWS):
        block = values[start:start + ROWS]
        yield (line * len(block) % tuple(block.ravel().tolist())).encode()


def _items(shape, sizes, indices):
    """The items' lines: the vertex count, the indices, the colour; a run of
    items of one size goes out as the rows of one array."""
    ends = np.cumsum(sizes)
    breaks = np.flatnonzero(np.diff(sizes)) + 1
    for first, stop in zip(np.concatenate([[0], breaks]), np.concatenate([breaks, [len(sizes)]])):
        size = int(sizes[first])
        rows = indices[ends[first] - size:ends[stop - 1]].reshape(-1, size)
        table = np.hstack([np.full((len(rows), 1), size), rows]).astype(object)
        format = " ".join(["%d"] * (size + 1))
        if shape.colors is not None:
            table = np.hstack([table, np.asarray(shape.colors[first:stop], dtype=object)])
            format += " %.4g %.4g %.4g %.4g"
        for start in range(0, len(table), ROWS):
            block = table[start:start + ROWS]
            yield ((format + "\n") * len(block) % tuple(block.ravel().tolist())).encode()


def _write(path, shape, key, counts):
    sizes, indices = _checked(shape)
    header = f"{key} {shape.m}\n{len(shape.vertices)} {len(sizes)}{counts}\n".encode()
    vertices = shape.vertices.astype(np.float32).astype(np.float64)
    write_whole(path, [header, *_rows(vertices, "%.9g"), *_items(shape, sizes, indices)])


def write_skel(path, shape):
    """Writes the shape as an nSKEL file, its items as polylines, aside and
    renamed into place (as write_klein writes). Raises ValueError for a
    shape the viewer cannot read, OSError when the file cannot be written."""
    _write(path, shape, "nSKEL", "")


def write_off(path, shape):
    """Writes the shape as an nOFF file, its items as polygons; as
    write_skel."""
    _write(path, shape, "nOFF", " 0")


def write_shape(path, shape):
    """Writes the shape as what it holds: polygons as nOFF, polylines as nSKEL."""
    (write_off if shape.polygons else write_skel)(path, shape)


def shape_list(coords):
    """coords as a list of shapes for the viewer when it is one: a Shape
    alone, or a list or tuple of Shapes, paths of files (KLEIN or OOGL) and
    surfaces as arrays of shape (n, m). None for anything else, which is one
    surface."""
    if isinstance(coords, Shape):
        return [coords]
    if not isinstance(coords, (list, tuple)) or not coords:
        return None
    one = (Shape, str, bytes, os.PathLike)
    if all(isinstance(c, one) or (isinstance(c, np.ndarray) and c.ndim == 2) for c in coords):
        return list(coords)
    return None
