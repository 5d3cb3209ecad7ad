"""Surfaces sampled on a parameter grid, and fitting them into the view."""
import numpy as np

from .klein import MAX_DIM, MIN_DIM
from .normals import _shown_normals, fill_degenerate, reversal
from .triangles import Triangles, corners, reach, used_points

# The viewer's fixed camera sees about -1.8 to 1.8 across at depth 0 and
# depths -3 to 3; a surface within this radius of the origin stays whole
# in view however it is turned.
VIEW_RADIUS = 1.5

# Allowance for float32 rounding of a surface scaled to VIEW_RADIUS exactly.
FIT_TOLERANCE = 1e-6

# Steps of the central differences taken of f: truncation (h^2) and rounding
# (1e-16 / h, 1e-16 / h^2 for the mixed one) meet near these.
STEP = 1e-5
MIXED_STEP = 1e-4

# Grid points sampled at once, times m: 2^18 float64 values are 2 MB, and a
# chunk's samples and tangents are a few dozen of those.
CHUNK_VALUES = 1 << 18


def _sample(f, U, V):
    values = [np.broadcast_to(np.asarray(c, dtype=np.float64), U.shape) for c in f(U, V)]
    return np.stack(values, axis=-1)


def _glued(I, J, nu, nv, twist_u, twist_v, closed_u, closed_v):
    """Grid indices one past the last row or column, as the gluing takes them
    back to the first: a twisted end meets the first row reversed."""
    past = I == nu
    if twist_u:
        J = np.where(past, reversal(nv, closed_v)[J], J)
    I = np.where(past, 0, I)
    past = J == nv
    if twist_v:
        I = np.where(past, reversal(nu, closed_u)[I], I)
    return I, np.where(past, 0, J)


def grid_cells(nu, nv, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False):
    """How many cells a grid of nu x nv points has, across u and across v."""
    closed_u = (wrap_u or twist_u) and nu > 1
    closed_v = (wrap_v or twist_v) and nv > 1
    return max(nu if closed_u else nu - 1, 0), max(nv if closed_v else nv - 1, 0)


def grid_parts(points, normals, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False):
    """The triangle list of grid_triangles, as Triangles to write a chunk at
    a time."""
    nu, nv, m = points.shape
    closed_u = (wrap_u or twist_u) and nu > 1
    closed_v = (wrap_v or twist_v) and nv > 1
    cells_u, cells_v = grid_cells(nu, nv, wrap_u, wrap_v, twist_u, twist_v)

    def rows(a, b):
        first = a // 6
        I0, J0 = np.divmod(np.arange(first, -(-b // 6)), max(cells_v, 1))
        I1, J1 = I0 + 1, J0 + 1
        cell = [(I0, J0), (I1, J0), (I1, J1), (I0, J0), (I1, J1), (I0, J1)]
        cell = [_glued(I, J, nu, nv, twist_u, twist_v, closed_u, closed_v) for I, J in cell]
        return np.stack([I * nv + J for I, J in cell], axis=-1).reshape(-1)[a - 6 * first:b - 6 * first]
    return Triangles(points.reshape(-1, m), 6 * cells_u * cells_v, rows, normals.reshape(-1, m), align=True)


def grid_triangles(points, normals, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False):
    """Turns a grid of points and normals (arrays of shape (nu, nv, m)) into a
    triangle list (coords, normals), two triangles per cell: (i, j),
    (i+1, j), (i+1, j+1) and (i, j), (i+1, j+1), (i, j+1). A wrapped
    direction adds the cells that join its last row to its first; a
    twisted one joins them with the other direction reversed (see
    reversal). Each triangle's normals are given one sign, that of its
    first: the viewer lights both sides alike but blends the normals across
    a triangle, and opposite ones would cancel in the middle."""
    t = grid_parts(np.asarray(points, dtype=np.float64), np.asarray(normals, dtype=np.float64), wrap_u, wrap_v,
                   twist_u, twist_v)
    return corners(t, 0, t.n)


def sample_grid(f, u, v, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False, check=None, fewest=1):
    """The points f(U, V) at the grid of parameters u x v and their normals
    (arrays of shape (len(u), len(v), m)), as grid_surface describes,
    sampled a few rows of u at a time. check(U, V), where given, is called
    on each rows' parameters first, to refuse values there. f giving fewer
    than fewest coordinates is refused (ValueError) at its first call."""
    u = np.asarray(u, dtype=np.float64)
    v = np.asarray(v, dtype=np.float64)
    nu, nv = len(u), len(v)
    points = normals = shown = None
    where, tangents = [], []
    a, rows = 0, 1
    while True:
        U, V = np.meshgrid(u[a:a + rows], v, indexing="ij")
        if check:
            check(U, V)
        chunk = _sample(f, U, V)
        m = chunk.shape[-1]
        if m < fewest:
            raise ValueError(f"f gives {m} coordinates, and a surface for the viewer has {fewest} to {MAX_DIM}: "
                             f"add w as coordinate {m + 1} (0 * U gives w = 0 everywhere)")
        if points is None:
            points, normals = np.empty((nu, nv, m)), np.zeros((nu, nv, m))
            shown = np.ones((nu, nv), dtype=bool)
        points[a:a + len(U)] = chunk
        if m >= 3:
            tu, tv = _tangents(f, U, V, m)
            first, seen = _shown_normals(tu, tv)
            normals[a:a + len(U)] = first.reshape(chunk.shape)
            shown[a:a + len(U)] = seen.reshape(U.shape)
            where.append(np.flatnonzero(~seen) + a * nv)
            tangents.append((tu[~seen], tv[~seen]))
        a += len(U)
        if a >= nu:
            break
        rows = max(1, CHUNK_VALUES // max(nv * m, 1))
    if m >= 3:
        fill_degenerate(normals, shown, np.concatenate(where), np.concatenate([t for t, _ in tangents]),
                        np.concatenate([t for _, t in tangents]), wrap_u, wrap_v, twist_u, twist_v)
    return points, normals


def _tangents(f, U, V, m):
    """The tangents along u and v at the parameters U, V, as rows of shape
    (k, m), by central differences of f. Where a grid line collapses to a
    point (a pole), the vanishing tangent is replaced by the mixed
    derivative, the direction the grid line's neighbours run in."""
    h = STEP
    tu = ((_sample(f, U + h, V) - _sample(f, U - h, V)) / (2 * h)).reshape(U.size, m)
    tv = ((_sample(f, U, V + h) - _sample(f, U, V - h)) / (2 * h)).reshape(U.size, m)
    lu = np.linalg.norm(tu, axis=-1)
    lv = np.linalg.norm(tv, axis=-1)
    collapsed = (lu < 1e-6 * lv) | (lv < 1e-6 * lu)
    if collapsed.any():
        Uc, Vc, k = U.reshape(-1)[collapsed], V.reshape(-1)[collapsed], MIXED_STEP
        mixed = (_sample(f, Uc + k, Vc + k) - _sample(f, Uc + k, Vc - k)
                 - _sample(f, Uc - k, Vc + k) + _sample(f, Uc - k, Vc - k)) / (4 * k * k)
        short_u = (lu < lv)[collapsed]
        tu[collapsed] = np.where(short_u[:, None], mixed, tu[collapsed])
        tv[collapsed] = np.where(short_u[:, None], tv[collapsed], mixed)
    return tu, tv


def grid_surface(f, u, v, wrap_u=False, wrap_v=False, twist_u=False, twist_v=False):
    """Samples the surface f(U, V) at the grid of parameters u x v and returns
    (coords, normals) as a triangle list for write_klein.

    f maps arrays U, V of one shape to a sequence of m arrays (or scalars) of
    that shape, the coordinates, m from 4 to 255 (three are refused at
    the first call: add 0 * U as w); u and v are 1-D. With wrap_u the last u
    sample joins the first (give samples without the end point, as
    np.linspace(0, 2 * np.pi, n, endpoint=False)); likewise wrap_v.
    With twist_u the last u sample joins the first with v reversed, as a
    Klein bottle or a Moebius band closes up: the end of the u range meets
    its start at the point of -v when v wraps and starts at 0 (more
    generally 2 v0 - v), and at the v sample as far from the other end when
    v does not wrap (a v range symmetric about 0 meets itself at -v);
    likewise twist_v, with u reversed.
    Normals come per grid point from tangents of f by central differences,
    so f is evaluated up to 1e-4 beyond the samples and must be smooth
    there. Where a grid line collapses to a point (a pole), the vanishing
    tangent is replaced by the mixed derivative, the direction the grid
    line's neighbours run in. f is called on a few rows of u at a time."""
    gluing = dict(wrap_u=wrap_u, wrap_v=wrap_v, twist_u=twist_u, twist_v=twist_v)
    return grid_triangles(*sample_grid(f, u, v, fewest=MIN_DIM, **gluing), **gluing)


def fit(coords):
    """Centres coords (shape (n, m)) on the middle of their bounding box and
    scales them uniformly so that the farthest vertex lies VIEW_RADIUS from
    the origin. Normals need no change. A surface that is one point is only
    centred."""
    coords = np.asarray(coords, dtype=np.float64)
    centred = coords - (coords.min(axis=0) + coords.max(axis=0)) / 2
    radius = np.sqrt(np.einsum("ij,ij->i", centred, centred)).max(initial=0)
    return centred * (VIEW_RADIUS / radius) if radius > 0 else centred


def fits(coords):
    """Whether every vertex is finite and within VIEW_RADIUS of the origin
    (to FIT_TOLERANCE), the ball the view shows whole."""
    coords = np.asarray(coords, dtype=np.float64)
    if not np.isfinite(coords).all():
        return False
    return bool(np.sqrt(np.einsum("ij,ij->i", coords, coords)).max(initial=0)
                <= VIEW_RADIUS * (1 + FIT_TOLERANCE))


def fit_parts(parts):
    """Fits the parts (Triangles) together as fit does one array: centred on
    the middle of their bounding box and scaled so that the farthest vertex
    lies VIEW_RADIUS from the origin, as they are written."""
    low = high = None
    for chunk in used_points(parts):
        low = chunk.min(axis=0) if low is None else np.minimum(low, chunk.min(axis=0))
        high = chunk.max(axis=0) if high is None else np.maximum(high, chunk.max(axis=0))
    if low is None:
        return
    for t in parts:
        t.centre = (low + high) / 2
    radius = reach(parts)
    for t in parts:
        t.scale = VIEW_RADIUS / radius if radius > 0 else 1.0
