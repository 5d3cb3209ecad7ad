"""The six regular 4-polytopes as Shapes of polygons, centred, their
vertices on the unit 3-sphere: the 2-faces of the 5-cell, the tesseract,
the 16-cell and the 24-cell (the viewer draws their edges from them), and
the edges alone of the 120-cell and the 600-cell, whose 720 pentagons and
1,200 triangles would hide their insides.

    polytope(name)   name one of POLYTOPES
"""
import itertools

import numpy as np

from .shapes import Shape

PHI = (1 + np.sqrt(5)) / 2
POLYTOPES = ("5-cell", "tesseract", "16-cell", "24-cell", "120-cell", "600-cell")


def _even(permutation):
    inversions = sum(a > b for a, b in itertools.combinations(permutation, 2))
    return inversions % 2 == 0


def _orbit(values, even=False):
    """Every point with the values in any order (an even one with even), and
    any signs on those not 0."""
    found = set()
    for order in itertools.permutations(range(4)):
        if even and not _even(order):
            continue
        for signs in itertools.product((1, -1), repeat=4):
            found.add(tuple(round(signs[k] * values[order[k]], 12) for k in range(4)))
    return [list(point) for point in found]


def _vertices(name):
    if name == "5-cell":
        r = 1 / np.sqrt(10), 1 / np.sqrt(6), 1 / np.sqrt(3)
        return np.array([[r[0], r[1], r[2], 1], [r[0], r[1], r[2], -1], [r[0], r[1], -2 * r[2], 0],
                         [r[0], -np.sqrt(1.5), 0, 0], [-2 * np.sqrt(0.4), 0, 0, 0]])
    if name == "tesseract":
        return np.array(list(itertools.product((1, -1), repeat=4)), dtype=float)
    if name == "16-cell":
        return np.array(_orbit((1, 0, 0, 0)))
    if name == "24-cell":
        return np.array(_orbit((1, 1, 0, 0)))
    if name == "600-cell":
        return np.array(_orbit((1, 1, 1, 1)) + _orbit((2, 0, 0, 0)) + _orbit((PHI, 1, 1 / PHI, 0), even=True))
    root5 = np.sqrt(5)
    return np.array(_orbit((0, 0, 2, 2)) + _orbit((1, 1, 1, root5)) + _orbit((PHI ** -2, PHI, PHI, PHI))
                    + _orbit((1 / PHI, 1 / PHI, 1 / PHI, PHI ** 2)) + _orbit((0, PHI ** -2, 1, PHI ** 2), even=True)
                    + _orbit((0, 1 / PHI, PHI, root5), even=True) + _orbit((1 / PHI, 1, PHI, 2), even=True))


def _edges(points):
    """The pairs of vertices at the shortest distance apart."""
    distance = np.linalg.norm(points[:, None] - points[None], axis=2)
    shortest = distance[distance > 1e-9].min()
    a, b = np.nonzero(np.triu(np.abs(distance - shortest) < 1e-9 * max(1, shortest)))
    return np.stack([a, b], axis=1)


def _triangles(points, edges):
    """The triples of vertices joined pairwise by edges."""
    adjacent = np.zeros((len(points),) * 2, dtype=bool)
    adjacent[edges[:, 0], edges[:, 1]] = adjacent[edges[:, 1], edges[:, 0]] = True
    return np.array([(a, b, c) for a, b in edges for c in np.flatnonzero(adjacent[a] & adjacent[b]) if c > b])


def _squares(points):
    """The tesseract's squares, round each in order: two coordinates vary,
    the other two keep their signs."""
    index = {tuple(np.sign(p).tolist()): k for k, p in enumerate(points)}
    squares = []
    for i, j in itertools.combinations(range(4), 2):
        others = [k for k in range(4) if k not in (i, j)]
        for fixed in itertools.product((1.0, -1.0), repeat=2):
            corner = np.zeros(4)
            corner[others] = fixed
            square = []
            for a, b in ((1, 1), (1, -1), (-1, -1), (-1, 1)):
                corner[[i, j]] = a, b
                square.append(index[tuple(corner.tolist())])
            squares.append(square)
    return np.array(squares)


def polytope(name):
    """The regular 4-polytope called name (one of POLYTOPES) as a Shape of
    polygons: its 2-faces where it has fewer than 100 of them, its edges (as
    polygons of two vertices) otherwise. Raises ValueError for another name."""
    if name not in POLYTOPES:
        raise ValueError(f"polytope(): expected one of {', '.join(POLYTOPES)}, found {name!r}")
    points = _vertices(name)
    points = points / np.linalg.norm(points, axis=1, keepdims=True)
    edges = _edges(points)
    if name == "tesseract":
        items = _squares(points)
    elif name in ("5-cell", "16-cell", "24-cell"):
        items = _triangles(points, edges)
    else:
        items = edges
    return Shape(points, np.full(len(items), items.shape[1]), items.ravel(), polygons=True)
