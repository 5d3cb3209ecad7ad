"""The normal choice: unit, orthogonal to the tangent plane, smooth, and in
R^3 x {0} the surface's own 3-D normal."""
import numpy as np
import pytest

from plexorama import grid_surface, surface_normals, triangle_normals
from plexorama.samples import SAMPLES, sample_surface

TAU = 2 * np.pi


def closed(n):
    return np.linspace(0, TAU, n, endpoint=False)


def torus3(u, v):
    """A torus in R^3 x {0}; its outward normal is known."""
    return (2 + np.cos(v)) * np.cos(u), (2 + np.cos(v)) * np.sin(u), np.sin(v), 0 * u, 0 * u


def torus3_normal(u, v):
    return np.stack([np.cos(v) * np.cos(u), np.cos(v) * np.sin(u), np.sin(v), 0 * u, 0 * u], -1)


def tilted(u, v):
    """A graph in R^5 whose hidden coordinates move with the shown ones."""
    return u, v, u * v, np.sin(u + v), u * u - v


def edge_on(u, v):
    """Its tangent plane holds the third axis: the first view sees it edge-on."""
    return np.cos(u), np.sin(u), v, v * v


def polar_disc(u, v):
    x, y = u * np.cos(v), u * np.sin(v)
    return x, y, x * x - y * y, 2 * x * y


def moebius(u, v):
    """A Moebius band in R^4: (2 pi, v) is the point (0, -v)."""
    return ((1 + v * np.cos(u / 2)) * np.cos(u), (1 + v * np.cos(u / 2)) * np.sin(u), v * np.sin(u / 2),
            v * np.sin(u))


# name, f, u, v, how grid_surface glues the ends
SURFACES = [
    ("torus in R^3", torus3, closed(24), closed(16), dict(wrap_u=True, wrap_v=True)),
    ("graph in R^5", tilted, np.linspace(-1, 1, 9), np.linspace(-1, 1, 7), {}),
    ("edge-on cylinder", edge_on, closed(12), np.linspace(-1, 1, 5), dict(wrap_u=True)),
    ("disc with a pole", polar_disc, np.linspace(0, 1, 6), closed(12), dict(wrap_v=True)),
    ("Moebius band", moebius, closed(24), np.linspace(-0.4, 0.4, 5), dict(twist_u=True)),
    ("Moebius band along v", lambda u, v: moebius(v, u), np.linspace(-0.4, 0.4, 5), closed(24),
     dict(twist_v=True)),
] + [(name, f, us(12), vs(12), gluing) for name, f, us, vs, gluing in SAMPLES]


def tangents(f, u, v, h=3e-6):
    """The test's own derivatives, at another step than the package's."""
    def at(a, b):
        return np.stack(np.broadcast_arrays(*f(a, b)), -1).astype(float)
    return (at(u + h, v) - at(u - h, v)) / (2 * h), (at(u, v + h) - at(u, v - h)) / (2 * h)


def triangle_parameters(u, v, gluing):
    """The (u, v) of every vertex of grid_surface's triangle list, in order."""
    return grid_surface(lambda a, b: (a, b, a, b), u, v, **gluing)[0][:, :2].T


@pytest.mark.parametrize("name, f, u, v, gluing", SURFACES, ids=[s[0] for s in SURFACES])
def test_grid_normals_are_unit_and_orthogonal_to_every_tangent(name, f, u, v, gluing):
    coords, normals = grid_surface(f, u, v, **gluing)
    assert coords.shape == normals.shape
    np.testing.assert_allclose(np.linalg.norm(normals, axis=1), 1, atol=1e-12)
    pu, pv = triangle_parameters(u, v, gluing)
    for t in tangents(f, pu, pv):
        length = np.linalg.norm(t, axis=1)
        real = length > 1e-6  # not along a grid line that collapses to a point
        cosine = np.abs(np.einsum("ij,ij->i", normals, t))[real] / length[real]
        assert cosine.max() < 1e-5, name


def test_normals_of_a_surface_in_r3_are_its_3d_normals():
    u, v = closed(24), closed(16)
    _, normals = grid_surface(torus3, u, v, True, True)
    pu, pv = triangle_parameters(u, v, dict(wrap_u=True, wrap_v=True))
    expected = torus3_normal(pu, pv)
    np.testing.assert_allclose(np.abs(np.einsum("ij,ij->i", normals, expected)), 1, atol=1e-9)


@pytest.mark.parametrize("name, f, u, v, gluing", SURFACES, ids=[s[0] for s in SURFACES])
def test_first_view_sees_the_3d_normal_of_its_projection(name, f, u, v, gluing):
    """Lit in the first view as the 3-D surface it looks like: wherever the
    shown projection is regular, the shown part of the normal is the normal
    of the projected surface and the hidden part is 0."""
    _, normals = grid_surface(f, u, v, **gluing)
    pu, pv = triangle_parameters(u, v, gluing)
    tu, tv = tangents(f, pu, pv)
    shown = np.cross(tu[:, :3], tv[:, :3])
    length = np.linalg.norm(shown, axis=1)
    regular = length > 1e-3 * np.linalg.norm(tu, axis=1) * np.linalg.norm(tv, axis=1)
    cosine = np.abs(np.einsum("ij,ij->i", normals[regular, :3], shown[regular])) / length[regular]
    assert cosine.min() > 1 - 1e-9, name
    np.testing.assert_array_equal(normals[regular, 3:], 0)


def test_veronese_first_view_is_lit_as_steiners_roman_surface():
    """An independent formulation: the Roman surface is the zero set of
    X^2 Y^2 + Y^2 Z^2 + Z^2 X^2 - k X Y Z, so its normal is that gradient."""
    coords, normals = sample_surface("veronese", 32)
    X, Y, Z = coords[:, :3].T
    k = np.median((X * X * Y * Y + Y * Y * Z * Z + Z * Z * X * X)[X * Y * Z != 0] / (X * Y * Z)[X * Y * Z != 0])
    gradient = np.stack([2 * X * (Y * Y + Z * Z) - k * Y * Z, 2 * Y * (X * X + Z * Z) - k * X * Z,
                         2 * Z * (X * X + Y * Y) - k * X * Y], -1)
    length = np.linalg.norm(gradient, axis=1)
    clear = length > 1e-2  # away from the double lines and pinch points
    assert clear.mean() > 0.8
    cosine = np.abs(np.einsum("ij,ij->i", normals[clear, :3], gradient[clear])) / length[clear]
    assert cosine.min() > 1 - 1e-9


@pytest.mark.parametrize("name, f, u, v, gluing", [s for s in SURFACES if s[4]], ids=[s[0] for s in SURFACES if s[4]])
def test_coincident_vertices_share_their_normal(name, f, u, v, gluing):
    """Across wrapped seams, glued edges and poles the normal does not jump
    (up to sign: the lighting does not see the sign)."""
    coords, normals = grid_surface(f, u, v, **gluing)
    keys = np.round(coords, 9)
    _, first, group = np.unique(keys, axis=0, return_index=True, return_inverse=True)
    agree = np.abs(np.einsum("ij,ij->i", normals, normals[first[group.reshape(-1)]]))
    assert agree.min() > 1 - 1e-8, name


@pytest.mark.parametrize("tu, tv, why", [
    ([[0, 0, 1, 0]], [[0, 0, 0, 1]], "the shown projection is a line"),
    ([[0, 0, 0, 1, 0]], [[0, 0, 0, 0, 1]], "the shown projection is a point"),
    ([[1, 2, 0, 1]], [[2, 4, 0, 2]], "parallel tangents: a degenerate triangle"),
    ([[0, 0, 0, 0]], [[0, 0, 0, 0]], "no tangent at all"),
])
def test_degenerate_cases_still_give_a_unit_normal(tu, tv, why):
    normal = surface_normals(np.array(tu, float), np.array(tv, float))
    assert np.linalg.norm(normal) == pytest.approx(1), why
    for t in (tu, tv):
        assert abs(np.dot(normal[0], t[0])) < 1e-12, why


def test_triangle_normals_are_the_cross_product_in_r3():
    rng = np.random.default_rng(3)
    coords = np.zeros((30, 4))
    coords[:, :3] = rng.normal(size=(30, 3))
    normals = triangle_normals(coords)
    corners = coords.reshape(10, 3, 4)
    cross = np.cross(corners[:, 1, :3] - corners[:, 0, :3], corners[:, 2, :3] - corners[:, 0, :3])
    cross /= np.linalg.norm(cross, axis=1)[:, None]
    np.testing.assert_allclose(normals[:, :3], np.repeat(cross, 3, axis=0), atol=1e-12)
    np.testing.assert_array_equal(normals[:, 3], 0)


@pytest.mark.parametrize("name", ["clifford-torus", "complex-square", "torus-10d"])
def test_sample_normals_turn_smoothly_along_the_mesh(name):
    """Neighbouring normals (up to sign) turn by the step times a bounded
    rate, folds of the shown projection included. (The Klein bottle and the
    Roman surface pinch at points where no smooth choice exists.)"""
    n = 48
    coords, normals = sample_surface(name, n)
    triangles = normals.reshape(-1, 3, normals.shape[1])
    cosines = np.abs(np.einsum("tij,tkj->tik", triangles, triangles)).min(axis=(1, 2))
    turned = np.arccos(np.clip(cosines, -1, 1))
    smooth = turned < 16.0 / n
    assert smooth.all(), f"{name}: {np.sum(~smooth)} triangles turn fast"


def boundary_loops(edges):
    """How many closed loops the edges (pairs of vertex ids) form."""
    parent = {}

    def root(a):
        while parent.setdefault(a, a) != a:
            a = parent[a]
        return a
    for a, b in edges:
        parent[root(a)] = root(b)
    return len({root(a) for a in parent})


# name, f, u, v, gluing, loops of the boundary: none for the Klein bottle,
# one for the Moebius band (an untwisted band, a cylinder, has two).
TWISTED = [(*s, 1) for s in SURFACES if "Moebius" in s[0]] + [(*s, 0) for s in SURFACES if s[0] == "klein-bottle"]


@pytest.mark.parametrize("name, f, u, v, gluing, loops", TWISTED, ids=[s[0] for s in TWISTED])
def test_twisted_gluing_closes_up_without_a_seam(name, f, u, v, gluing, loops):
    coords, normals = grid_surface(f, u, v, **gluing)
    _, ids = np.unique(np.round(coords, 9), axis=0, return_inverse=True)
    triangles = ids.reshape(-1, 3)
    edges = np.sort(triangles[:, [0, 1, 1, 2, 2, 0]].reshape(-1, 2), axis=1)
    edges, uses = np.unique(edges, axis=0, return_counts=True)
    assert uses.max() == 2, name
    assert boundary_loops(edges[uses == 1]) == loops, name
    # The seam's cells are as small as the others: the ends meet where they should.
    corners = coords.reshape(-1, 3, coords.shape[1])
    sides = np.linalg.norm(corners - np.roll(corners, 1, axis=1), axis=-1)
    inner, _ = grid_surface(f, u, v)
    inner = inner.reshape(-1, 3, coords.shape[1])
    assert sides.max() <= 1.01 * np.linalg.norm(inner - np.roll(inner, 1, axis=1), axis=-1).max(), name
    # Across the seam the normals of the two sides agree up to sign, and
    # within each of the seam's triangles they have one sign, so that the
    # viewer's blend across the triangle does not cancel them.
    pu, pv = triangle_parameters(u, v, gluing)
    twisted_u = gluing.get("twist_u", False)
    along = (pu if twisted_u else pv).reshape(-1, 3)
    first, last = (u[0], u[-1]) if twisted_u else (v[0], v[-1])
    seam = (along == first).any(axis=1) & (along == last).any(axis=1)
    assert seam.sum() == 2 * (len(v) if twisted_u else len(u)) - (2 if loops else 0), name
    blended = normals.reshape(-1, 3, coords.shape[1])[seam]
    assert np.einsum("tij,tkj->tik", blended, blended).min() > np.cos(16.0 / len(u if twisted_u else v)), name
