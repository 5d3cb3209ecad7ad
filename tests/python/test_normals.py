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


# name, f, u, v, wrap_u, wrap_v
SURFACES = [
    ("torus in R^3", torus3, closed(24), closed(16), True, True),
    ("graph in R^5", tilted, np.linspace(-1, 1, 9), np.linspace(-1, 1, 7), False, False),
    ("edge-on cylinder", edge_on, closed(12), np.linspace(-1, 1, 5), True, False),
    ("disc with a pole", polar_disc, np.linspace(0, 1, 6), closed(12), False, True),
] + [(name, f, us(12), vs(12), wu, wv) for name, f, us, vs, wu, wv in SAMPLES]


def tangents(f, u, v, h=3e-6):
    """The test's own derivatives, at another step than the package's."""
    def at(a, b):
        return np.stack(np.broadcast_arrays(*f(a, b)), -1).astype(float)
    return (at(u + h, v) - at(u - h, v)) / (2 * h), (at(u, v + h) - at(u, v - h)) / (2 * h)


def triangle_parameters(u, v, wrap_u, wrap_v):
    """The (u, v) of every vertex of grid_surface's triangle list, in order."""
    return grid_surface(lambda a, b: (a, b, a, b), u, v, wrap_u, wrap_v)[0][:, :2].T


@pytest.mark.parametrize("name, f, u, v, wrap_u, wrap_v", SURFACES, ids=[s[0] for s in SURFACES])
def test_grid_normals_are_unit_and_orthogonal_to_every_tangent(name, f, u, v, wrap_u, wrap_v):
    coords, normals = grid_surface(f, u, v, wrap_u, wrap_v)
    assert coords.shape == normals.shape
    np.testing.assert_allclose(np.linalg.norm(normals, axis=1), 1, atol=1e-12)
    pu, pv = triangle_parameters(u, v, wrap_u, wrap_v)
    for t in tangents(f, pu, pv):
        length = np.linalg.norm(t, axis=1)
        real = length > 1e-6  # not along a grid line that collapses to a point
        cosine = np.abs(np.einsum("ij,ij->i", normals, t))[real] / length[real]
        assert cosine.max() < 1e-5, name


def test_normals_of_a_surface_in_r3_are_its_3d_normals():
    u, v = closed(24), closed(16)
    _, normals = grid_surface(torus3, u, v, True, True)
    pu, pv = triangle_parameters(u, v, True, True)
    expected = torus3_normal(pu, pv)
    np.testing.assert_allclose(np.abs(np.einsum("ij,ij->i", normals, expected)), 1, atol=1e-9)


@pytest.mark.parametrize("name, f, u, v, wrap_u, wrap_v", SURFACES, ids=[s[0] for s in SURFACES])
def test_first_view_sees_the_3d_normal_of_its_projection(name, f, u, v, wrap_u, wrap_v):
    """Lit in the first view as the 3-D surface it looks like: wherever the
    shown projection is regular, the shown part of the normal is the normal
    of the projected surface and the hidden part is 0."""
    _, normals = grid_surface(f, u, v, wrap_u, wrap_v)
    pu, pv = triangle_parameters(u, v, wrap_u, wrap_v)
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


@pytest.mark.parametrize("name, f, u, v, wrap_u, wrap_v",
                         [s for s in SURFACES if s[4] or s[5]], ids=[s[0] for s in SURFACES if s[4] or s[5]])
def test_coincident_vertices_share_their_normal(name, f, u, v, wrap_u, wrap_v):
    """Across wrapped seams, glued edges and poles the normal does not jump
    (up to sign: the lighting does not see the sign)."""
    coords, normals = grid_surface(f, u, v, wrap_u, wrap_v)
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
