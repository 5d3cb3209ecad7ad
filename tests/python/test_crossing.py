"""double_curve against the viewer's own search (plexorama --info --view) in
views of no special place, and the points of the surface it lifts to."""
import numpy as np
import pytest

from conftest import SAMPLES, VIEWER, needs, run
from plexorama import double_curve, read_klein
from plexorama.samples import sample_surface
from plexorama.viewer import print_view

# The Veronese sample's equator holds copies of vertices a rounding apart,
# which the two searches, nudged apart differently, may join differently.
CHECKED = ["klein-bottle", "clifford-torus", "complex-square", "torus-10d"]


def some_frame(m, seed):
    q, _ = np.linalg.qr(np.random.default_rng(seed).normal(size=(m, 4)))
    return q.T


def lengths(lines):
    return sum(np.linalg.norm(np.diff(line, axis=0), axis=1).sum() for line in lines)


@needs(VIEWER, "the viewer")
@needs(SAMPLES, "the samples")
@pytest.mark.parametrize("name", CHECKED)
@pytest.mark.parametrize("eye", [None, 4.0])
def test_the_curve_is_the_viewers(name, eye, tmp_path):
    path = f"{SAMPLES}/{name}.klein"
    coords, _ = read_klein(path)
    view = print_view(path, None, {"frame": some_frame(coords.shape[1], len(name)), "eye4": eye})
    (tmp_path / "some.view").write_text(view)
    status, out, err = run(VIEWER, "--info", "--view", str(tmp_path / "some.view"), path)
    assert (status, err) == (0, ""), err
    figures = dict(line.split(": ", 1) for line in out.split("double curve\n")[1].splitlines())
    lines = double_curve(coords, view)
    assert len(lines) == int(figures["components"])
    # Both nudge the shadow off ties alike but for the last, least nudge,
    # which may move where a curve ends by as much.
    assert lengths(lines) == pytest.approx(float(figures["length"]), rel=1e-5, abs=1e-6)


def test_lifts_lie_above_their_points():
    coords, normals = sample_surface("klein-bottle", 24)
    frame = some_frame(4, 1)
    lines = double_curve((coords, normals), {"frame": frame, "eye4": 5}, lifted=True)
    assert lines
    for points, upper, lower in lines:
        assert points.shape[1] == 3 and upper.shape == lower.shape == (len(points), 4)
        for sheet in (upper, lower):
            shown = sheet @ frame.astype(np.float32).T
            seen = shown[:, :3] / (1 - shown[:, 3:] / 5)
            np.testing.assert_allclose(seen, points, atol=1e-4)
        assert ((upper @ frame[3]) >= (lower @ frame[3]) - 1e-9).all()


def test_two_squares_cross_in_their_line():
    grid = np.linspace(-1, 1, 4)
    cells = [(i, j) for i in range(3) for j in range(3)]
    corners = [(0, 0), (1, 0), (1, 1), (0, 0), (1, 1), (0, 1)]
    square = np.array([[grid[i + a], grid[j + b]] for i, j in cells for a, b in corners])
    zero, one = np.zeros(len(square)), np.ones(len(square))
    flat = np.column_stack([square[:, 0], square[:, 1], zero, zero])
    upright = np.column_stack([square[:, 0], zero, square[:, 1], one])
    [(points, upper, lower)] = double_curve(np.vstack([flat, upright]), lifted=True)
    assert lengths([points]) == pytest.approx(2, abs=1e-4)
    np.testing.assert_allclose(points[:, 1:], 0, atol=1e-4)
    np.testing.assert_allclose(upper[:, 3], 1)
    np.testing.assert_allclose(lower[:, 3], 0)


def test_a_view_given_as_a_path_as_text_or_as_a_dict_is_one_view(tmp_path):
    coords, _ = sample_surface("klein-bottle", 12)
    keys = {"show": (2, 1, 4, 3), "turn4": np.eye(4)[[0, 2, 1, 3]], "eye4": 4}
    text = "plexorama-view 3\nshow = 2 1 4 3\nturn4 = " + " ".join(map(str, keys["turn4"].ravel())) + "\neye4 = 4\n"
    (tmp_path / "given.view").write_text(text)
    given = (keys, text, tmp_path / "given.view", str(tmp_path / "given.view"))
    curves = [double_curve(coords, view) for view in given]
    assert curves[0]
    for curve in curves[1:]:
        assert len(curve) == len(curves[0])
        for line, first in zip(curve, curves[0]):
            np.testing.assert_array_equal(line, first)


@pytest.mark.parametrize("view, fault", [
    ("plexorama-view 3\nshow = 1 2 3 9\n", "show needs 4 distinct coordinates"),
    ("plexorama-view 3\nframe = 1 0 0\n", "frame needs 16 finite numbers"),
    ("plexorama-view 3\neye4 = far\n", "eye4 holds a value that is not a number"),
    ({"turn4": [1, 0]}, "turn4 needs 16 finite numbers"),
])
def test_views_it_cannot_read(view, fault):
    coords, _ = sample_surface("klein-bottle", 4)
    with pytest.raises(ValueError, match=fault):
        double_curve(coords, view)


@needs(VIEWER, "the viewer")
@needs(SAMPLES, "the samples")
@pytest.mark.parametrize("view, status, line", [
    (None, 0, None),
    ("plexorama-view 3\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4\n", 0, None),
    ("plexorama-view 3\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 5\n", 2,
     "coordinate 5 is past the surface's 4"),
    ("plexorama-view 3\nzoom = 2\n", 2, "the key 'q' is missing"),
])
def test_info_reads_a_whole_view(view, status, line, tmp_path):
    path = f"{SAMPLES}/klein-bottle.klein"
    given = []
    if view is not None:
        (tmp_path / "given.view").write_text(view)
        given = ["--view", str(tmp_path / "given.view")]
    done, out, err = run(VIEWER, "--info", *given, path)
    assert done == status
    assert ("double curve\n" in out) == (view is not None and status == 0)
    assert (line or "") in err and (line is None) == (err == "")
