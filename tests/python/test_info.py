"""plexorama --info: its figures against numpy, on a sample and on files
made to hold every kind of fault it counts."""
import os

import numpy as np
import pytest

from conftest import SAMPLE_NAMES, SAMPLES, VIEWER, needs, run
from plexorama import fits, read_klein

pytestmark = needs(VIEWER, "the viewer")


def info(path):
    status, out, err = run(VIEWER, "--info", str(path))
    assert (status, err) == (0, ""), err
    return dict(line.split(": ", 1) for line in out.splitlines())


def write_raw(path, coords, normals):
    n, m = coords.shape
    path.write_bytes(b"KLEIN\0" + bytes([m]) + n.to_bytes(8, "little")
                     + coords.astype("<f4").tobytes() + normals.astype("<f4").tobytes())


@needs(SAMPLES, "the samples")
@pytest.mark.parametrize("name", SAMPLE_NAMES)
def test_figures_of_a_sample_match_numpy(name):
    path = os.path.join(SAMPLES, name + ".klein")
    coords, normals = read_klein(path)
    figures = info(path)
    n, m = coords.shape
    assert figures["m"] == f"{m} coordinates per vertex"
    assert figures["n"] == f"{n} vertices, {n // 3} triangles"
    for k in range(m):
        low, high = figures[f"coordinate {k + 1}"].removeprefix("min ").split(" max ")
        assert (np.float32(low), np.float32(high)) == (coords[:, k].min(), coords[:, k].max())
    assert figures["not finite"] == "0 coordinates, 0 normal components"
    assert figures["normals"].startswith("0 zero (shorter than 1e-06), 0 not of unit length")
    radius = np.linalg.norm(coords.astype(np.float64), axis=1).max()
    assert figures["fits the view"].startswith("yes, within 1.5 of the origin")
    assert float(figures["fits the view"].split("farthest vertex at ")[1].rstrip(")")) == pytest.approx(radius, rel=1e-5)
    assert fits(coords)


def test_counts_every_fault(tmp_path):
    coords = np.zeros((7, 5))
    coords[:, 0] = np.arange(7) - 3.0
    coords[2, 1] = np.nan
    coords[4, 3] = -np.inf
    coords[5, 4] = 2.5
    normals = np.zeros((7, 5))
    normals[:, 2] = 1
    normals[0] = 0                      # zero
    normals[1, 2] = 1 + 2e-4            # not of unit length
    normals[3, 2] = 1 + 5e-5            # unit within the tolerance
    normals[6, :2] = [np.nan, 0.5]      # not finite, so not unit either
    path = tmp_path / "faults.klein"
    write_raw(path, coords, normals)
    figures = info(path)
    assert figures["n"] == "7 vertices, 2 triangles (1 left over, not drawn)"
    assert figures["coordinate 1"] == "min -3 max 3"
    assert figures["coordinate 2"] == "min 0 max 0"
    assert figures["coordinate 5"] == "min 0 max 2.5"
    assert figures["not finite"] == "2 coordinates, 1 normal components"
    assert figures["normals"] == "1 zero (shorter than 1e-06), 2 not of unit length (off by more than 0.0001)"
    assert figures["fits the view"] == "no, some coordinates are not finite"


@pytest.mark.parametrize("scale, verdict", [
    (1.5, "yes"),
    (1.5 * (1 + 1e-7), "yes"),   # float rounding of a fitted surface
    (1.51, "no"),
])
def test_fits_the_ball_of_the_view(tmp_path, scale, verdict):
    coords = np.zeros((3, 4))
    coords[0, 3] = -scale
    normals = np.tile([0, 0, 1, 0], (3, 1))
    path = tmp_path / "s.klein"
    write_raw(path, coords, normals)
    line = info(path)["fits the view"]
    assert line.split(",")[0] == verdict
    if verdict == "no":
        assert line.endswith(f"to fit it: plexorama-convert {path} OUT.klein --fit")
    assert fits(coords.astype(np.float32)) == (verdict == "yes")


@pytest.mark.parametrize("data, m, n, normals", [
    (b"KLEIN\0\3" + (3).to_bytes(8, "little") + bytes(72), "3 coordinates per vertex (fewer than 4: it cannot be shown)",
     "3 vertices, 1 triangles", "3 zero"),
    # No arrays at all, however many vertices the header claims: answered at once.
    (b"KLEIN\0\0" + (2**32 - 1).to_bytes(8, "little"), "0 coordinates per vertex (fewer than 4: it cannot be shown)",
     "4294967295 vertices, 1431655765 triangles", "4294967295 zero"),
])
def test_too_few_coordinates_are_described_but_refused(tmp_path, data, m, n, normals):
    path = tmp_path / "flat.klein"
    path.write_bytes(data)
    status, out, err = run(VIEWER, "--info", str(path), timeout=10)
    assert (status, err) == (1, f"plexorama: {path}: fewer than 4 coordinates: it cannot be shown\n")
    figures = dict(line.split(": ", 1) for line in out.splitlines())
    assert (figures["m"], figures["n"], figures["normals"].split(" (")[0]) == (m, n, normals)


@pytest.mark.parametrize("data, reason", [
    (None, "cannot open: No such file or directory"),
    (b"not a surface\n", "not a KLEIN file"),
    (b"KLEIN\0\4" + (3).to_bytes(8, "little") + bytes(95), "truncated: expected 111 bytes, found 110"),
])
def test_unreadable_file_exits_1_with_the_readers_reason(tmp_path, data, reason):
    path = tmp_path / "s.klein"
    if data is not None:
        path.write_bytes(data)
    status, out, err = run(VIEWER, "--info", str(path))
    assert (status, out, err) == (1, "", f"plexorama: {path}: {reason}\n")
