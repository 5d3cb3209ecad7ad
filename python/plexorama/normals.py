"""The normal the viewer is given for each vertex.

A surface in R^m has at every point a normal space of m - 2 dimensions, not
one normal line; the viewer lights with the three normal components of the
shown coordinates. The choice here makes the first view (coordinates 1, 2, 3
shown) lit like the 3-D surface it looks like: the normal is the 3-D normal
of the shown projection, (c1, c2, c3, 0, ..., 0). That vector is already
orthogonal to the whole tangent plane in R^m, since it is orthogonal to the
shown part of every tangent and the hidden part meets zeros.

Fallback: where the shown projection is degenerate (a fold, a pinch point,
or a tangent plane seen edge-on, with the projected area below DEGENERATE of
the true one), the normal is the given hint (on a grid, the mean of the
neighbours' normals, signs aligned) made orthogonal to the tangent plane; if
there is no hint or it lies in the tangent plane, it is the shown coordinate
axis farthest from the tangent plane, made orthogonal to it. Both give a
unit vector orthogonal to the tangent plane.
"""
import numpy as np

# Projected over true area of a tangent parallelogram below which the shown
# projection counts as degenerate; its normal would be rounding noise.
DEGENERATE = 1e-4


def _dot(a, b):
    return np.einsum("...k,...k->...", a, b)


def _shown_normals(tu, tv):
    """Returns the lifted 3-D normals (zero where degenerate) and the mask of
    the vertices where the shown projection is not degenerate."""
    area2 = _dot(tu, tu) * _dot(tv, tv) - _dot(tu, tv) ** 2
    c = np.cross(tu[:, :3], tv[:, :3])
    length = np.sqrt(_dot(c, c))
    shown = length > DEGENERATE * np.sqrt(np.maximum(area2, 0))
    shown &= length > 0
    normals = np.zeros(tu.shape)
    normals[shown, :3] = c[shown] / length[shown, None]
    return normals, shown


def _tangent_basis(tu, tv):
    """An orthonormal basis a, b of each tangent plane; rows of b (and of a)
    are zero where the tangents span fewer than two dimensions."""
    lu, lv = np.sqrt(_dot(tu, tu)), np.sqrt(_dot(tv, tv))
    first = np.where((lu >= lv)[:, None], tu, tv)
    second = np.where((lu >= lv)[:, None], tv, tu)
    scale = np.maximum(lu, lv)
    a = np.where((scale > 0)[:, None], first / np.where(scale > 0, scale, 1)[:, None], 0)
    b = second - _dot(second, a)[:, None] * a
    lb = np.sqrt(_dot(b, b))
    keep = lb > 1e-9 * scale
    b = np.where(keep[:, None], b / np.where(keep, lb, 1)[:, None], 0)
    return a, b


def _fallback(tu, tv, hint):
    a, b = _tangent_basis(tu, tv)

    def off_plane(x):
        return x - _dot(x, a)[..., None] * a - _dot(x, b)[..., None] * b

    axes = off_plane(np.eye(tu.shape[1])[:3, None, :])
    lengths = np.sqrt(_dot(axes, axes))
    best = np.argmax(lengths, axis=0)
    rows = np.arange(tu.shape[0])
    chosen = axes[best, rows] / lengths[best, rows][:, None]
    if hint is not None:
        h = off_plane(hint)
        lh = np.sqrt(_dot(h, h))
        usable = lh > 0.1 * np.sqrt(_dot(hint, hint))
        chosen[usable] = h[usable] / lh[usable, None]
    return chosen


def surface_normals(tu, tv, hint=None):
    """Unit normals for tangent pairs tu, tv (arrays of shape (k, m))
    by the choice described in this module; hint (shape (k, m)), where
    given, guides the fallback at degenerate rows."""
    tu = np.asarray(tu, dtype=np.float64)
    tv = np.asarray(tv, dtype=np.float64)
    if tu.shape[-1] < 3:
        return np.zeros(tu.shape)  # a surface in the plane has no normal
    normals, shown = _shown_normals(tu, tv)
    if not shown.all():
        rest = ~shown
        normals[rest] = _fallback(tu[rest], tv[rest], None if hint is None else np.asarray(hint)[rest])
    return normals


def triangle_normals(coords):
    """One normal per triangle of a triangle list (shape (n, m), three rows
    per triangle), repeated for its three vertices."""
    coords = np.asarray(coords, dtype=np.float64)
    corners = coords.reshape(-1, 3, coords.shape[1])
    tu = corners[:, 1] - corners[:, 0]
    tv = corners[:, 2] - corners[:, 0]
    return np.repeat(surface_normals(tu, tv), 3, axis=0)


def reversal(n, closed):
    """Where each of n grid samples of a direction goes when the direction is
    reversed, and where the sample past the last does (entry n): about the
    first sample when the direction closes up (v -> 2 v0 - v, so -v for
    samples from 0), end for end when it does not."""
    k = np.arange(n + 1)
    return (-k) % n if closed else n - 1 - k


def _neighbour(I, J, shape, axis, step, wrap, twist, other_closed):
    """The grid point a step back along axis from each (I, J), as np.roll
    by step would bring it there, and whether there is one: none beyond an
    open edge, and across a twisted seam the other index comes reversed."""
    count = shape[axis]
    along, other = (I, J) if axis == 0 else (J, I)
    edge = along == (0 if step == 1 else count - 1)
    if twist:
        other = np.where(edge, reversal(shape[1 - axis], other_closed)[other], other)
    valid = np.ones(along.shape, dtype=bool) if wrap or twist else ~edge
    along = (along - step) % count
    return ((along, other) if axis == 0 else (other, along)), valid


def fill_degenerate(normals, shown, where, tu, tv, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False):
    """Gives the grid points at the flat indices where (whose shown
    projection is degenerate, tangents tu and tv) the fallback normal,
    hinted by the mean of their four neighbours' normals (across wrapped
    and twisted seams too, see surface.grid_triangles). normals (shape
    (nu, nv, m)) holds the shown normals, zero at the degenerate points;
    shown (shape (nu, nv)) marks the others."""
    if not len(where):
        return
    I, J = np.divmod(where, shown.shape[1])
    closed_u, closed_v = wrap_u or twist_u, wrap_v or twist_v
    vectors, valid = [], []
    for axis, wrap, twist, other_closed in ((0, wrap_u, twist_u, closed_v), (1, wrap_v, twist_v, closed_u)):
        for step in (1, -1):
            at, ok = _neighbour(I, J, shown.shape, axis, step, wrap, twist, other_closed)
            vectors.append(normals[at])
            valid.append(shown[at] & ok)
    vectors, valid = np.stack(vectors), np.stack(valid)
    # Signs aligned to the first valid neighbour: the lifted normal may flip
    # across a fold, and the mean of opposite vectors would cancel.
    reference = vectors[np.argmax(valid, axis=0), np.arange(len(where))]
    signs = np.sign(_dot(vectors, reference[None]))
    hint = np.sum(vectors * (signs * valid)[..., None], axis=0)
    normals[I, J] = _fallback(tu, tv, hint)


def grid_normals(tu, tv, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False):
    """Normals of a grid of tangent pairs (arrays of shape (nu, nv, m)).
    Degenerate vertices take the hint of their four neighbours, across
    wrapped and twisted seams too (see grid_triangles)."""
    tu = np.asarray(tu, dtype=np.float64)
    tv = np.asarray(tv, dtype=np.float64)
    shape = tu.shape
    if shape[2] < 3:
        return np.zeros(shape)
    normals, shown = _shown_normals(tu.reshape(-1, shape[2]), tv.reshape(-1, shape[2]))
    where = np.flatnonzero(~shown)
    normals = normals.reshape(shape)
    fill_degenerate(normals, shown.reshape(shape[:2]), where, tu.reshape(-1, shape[2])[where],
                    tv.reshape(-1, shape[2])[where], wrap_u, wrap_v, twist_u, twist_v)
    return normals
