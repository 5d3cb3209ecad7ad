"""Shapes beside surfaces: the polytopes and curves against their
definitions, and the nSKEL and nOFF files written as the viewer's own
reader (plexorama --info) counts them."""
import os

import numpy as np
import pytest

from conftest import SAMPLES, VIEWER, needs, run
from plexorama import hopf, lines, picture, points, polytope, torus_knot, write_off, write_skel
from plexorama.polytopes import _edges


def info(path):
    status, out, err = run(VIEWER, "--info", str(path))
    assert (status, err) == (0, ""), err
    return dict(line.split(": ", 1) for line in out.splitlines())


# name: vertices, edges, 2-faces written (their corners each)
POLYTOPES = {
    "5-cell": (5, 10, 10, 3),
    "tesseract": (16, 32, 24, 4),
    "16-cell": (8, 24, 32, 3),
    "24-cell": (24, 96, 96, 3),
    "120-cell": (600, 1200, 0, 0),
    "600-cell": (120, 720, 0, 0),
}


@pytest.mark.parametrize("name", POLYTOPES)
def test_polytopes_are_regular_on_the_unit_sphere_and_read_whole(tmp_path, name):
    vertices, edges, faces, corners = POLYTOPES[name]
    shape = polytope(name)
    points_ = shape.vertices
    np.testing.assert_allclose(np.linalg.norm(points_, axis=1), 1, atol=1e-12)
    np.testing.assert_allclose(points_.mean(axis=0), 0, atol=1e-12)
    pairs = _edges(points_)
    lengths = np.linalg.norm(points_[pairs[:, 0]] - points_[pairs[:, 1]], axis=1)
    assert len(pairs) == edges and np.ptp(lengths) < 1e-9
    # Every vertex meets as many edges: the figure is the same at each.
    assert len(set(np.bincount(pairs.ravel()).tolist())) == 1
    if faces:
        rows = shape.indices.reshape(-1, corners)
        joined = {tuple(sorted(p)) for p in pairs.tolist()}
        assert len(rows) == faces
        assert all(tuple(sorted((r[k], r[(k + 1) % corners]))) in joined for r in rows.tolist() for k in range(corners))
    if VIEWER:
        write_off(tmp_path / "p.off", shape)
        figures = info(tmp_path / "p.off")
        assert (figures["vertices"], figures["segments"]) == (str(vertices), str(edges))
        assert figures["faces"] == f"{faces}, as {faces * (corners - 2)} triangles"


def test_hopf_fibres_are_great_circles_over_their_base_points():
    shape = hopf(fibres=23, circles=4, samples=16)
    assert list(shape.sizes) == [17] * 23 and shape.colors.shape == (23, 4)
    fibres = shape.vertices.reshape(23, 16, 4)
    np.testing.assert_allclose(np.linalg.norm(fibres, axis=2), 1, atol=1e-12)
    z1, z2 = fibres[..., 0] + 1j * fibres[..., 1], fibres[..., 2] + 1j * fibres[..., 3]
    base = np.stack([np.real(2 * z1 * np.conj(z2)), np.imag(2 * z1 * np.conj(z2)), abs(z1) ** 2 - abs(z2) ** 2], axis=2)
    # One base point a fibre, every one on S^2, on four circles of latitude.
    np.testing.assert_allclose(base, np.repeat(base[:, :1], 16, axis=1), atol=1e-12)
    np.testing.assert_allclose(np.linalg.norm(base[:, 0], axis=1), 1, atol=1e-12)
    assert len(np.unique(np.round(base[:, 0, 2], 9))) == 4
    assert len(np.unique(np.round(base[:, 0], 9), axis=0)) == 23
    # A great circle: its points span a plane through the origin.
    assert all(np.linalg.matrix_rank(f, tol=1e-9) == 2 for f in fibres)


def test_lines_points_and_what_they_refuse():
    knot = torus_knot(2, 3, samples=12)
    assert knot.indices[-1] == 0 and len(knot.indices) == 13
    shape = lines([np.zeros((2, 5)), np.ones((3, 5))], closed=[False, True], colors=[1, 0, 0])
    assert shape.indices.tolist() == [0, 1, 2, 3, 4, 2] and shape.colors.tolist() == [[1, 0, 0, 1]] * 2
    for make, what in [
        (lambda: lines([]), "one or more polylines"),
        (lambda: lines([np.zeros((2, 4)), np.zeros((2, 5))]), "all of one m"),
        (lambda: lines(np.zeros((2, 2))), "m from 3 to 255"),
        (lambda: points([[0, 0, 0, np.nan]]), "row 0 is not finite"),
        (lambda: points([[0, 0, 0, 1e39]]), "row 0 is not finite as float32"),
        (lambda: points(np.zeros((2, 4)), colors=[2, 0, 0]), "values from 0 to 1"),
        (lambda: points(np.zeros((2, 4)), colors=np.zeros((3, 3))), "one for each of the 2"),
    ]:
        with pytest.raises(ValueError, match=what):
            make()


@needs(VIEWER, "the viewer")
def test_written_shapes_read_as_the_viewer_reads_them(tmp_path):
    rng = np.random.default_rng(3)
    cloud = rng.normal(size=(7, 6))
    write_skel(tmp_path / "p.skel", points(cloud, colors=rng.uniform(size=(7, 3))))
    figures = info(tmp_path / "p.skel")
    assert (figures["m"], figures["points"], figures["segments"]) == ("6 coordinates per vertex", "7", "0")
    for k in range(6):
        low, high = figures[f"coordinate {k + 1}"].removeprefix("min ").split(" max ")
        assert (np.float32(low), np.float32(high)) == (np.float32(cloud[:, k].min()), np.float32(cloud[:, k].max()))
    write_skel(tmp_path / "k.skel", torus_knot(3, 5, samples=100))
    assert info(tmp_path / "k.skel")["segments"] == "100"


@needs(VIEWER, "the viewer")
@needs(SAMPLES, "the samples")
@pytest.mark.parametrize("name, vertices, segments, points_", [
    ("120-cell.off", 600, 1200, 0),
    ("hopf.skel", 60 * 64, 60 * 64, 0),
    ("cloud-10d.skel", 100_000, 0, 100_000),
])
def test_samples_read_whole(name, vertices, segments, points_):
    figures = info(os.path.join(SAMPLES, name))
    assert (figures["vertices"], figures["segments"], figures["points"]) == tuple(map(str, (vertices, segments, points_)))
    assert figures["fits the view"].startswith("yes")


@needs(VIEWER, "the viewer")
def test_a_list_of_one_surface_draws_as_the_surface(tmp_path):
    triangle = np.array([[0, 0, 0, 0], [1, 0, 0, 0], [0, 1, 0, 0]], dtype=float)
    assert picture([triangle], size=32).data == picture(triangle, size=32).data
    # The viewer's refusal names the shape as the list holds it.
    with pytest.raises(RuntimeError, match="^plexorama: shape 2: m = 5, not the m = 4 of the shapes shown with it$"):
        picture([triangle, np.eye(3, 5)], size=32)
