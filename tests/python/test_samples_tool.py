"""make-samples: its command line, and the five samples it writes."""
import os

import numpy as np
import pytest

from conftest import MORE_SAMPLES, SAMPLE_NAMES, run_module
from plexorama import fits, read_klein


@pytest.mark.parametrize("args, status", [
    ([], 2),
    (["{out}", "--resolution"], 2),
    (["{out}", "--resolution", "1"], 2),
    (["{out}", "--resolution", "4097"], 2),
    (["{out}", "--resolution", "8x"], 2),
    (["{out}", "--resolution", "-8"], 2),
    (["{out}", "--fibres", "0"], 2),
    (["{out}", "--points", "10000001"], 2),
    (["{out}", "--resolution", "2", "--fibres", "3", "--points", "5"], 0),
    (["{out}", "--frobnicate"], 2),
    (["{out}", "{out}"], 2),
    (["{file}"], 1),
    (["{out}", "--resolution", "2"], 0),
    (["--help"], 0),
    (["-h", "{out}"], 0),
])
def test_command_line(tmp_path, args, status):
    (tmp_path / "file").write_text("not a directory")
    out = tmp_path / "out"
    args = [a.format(out=out, file=tmp_path / "file") for a in args]
    got, stdout, stderr = run_module("plexorama.samples", *args)
    assert got == status
    assert (stderr == "") == (status == 0), stderr
    if status == 2:
        assert stderr.startswith("usage: plexorama-make-samples DIR")
    if status == 0 and args[0] in ("-h", "--help"):
        assert stdout.startswith("usage: plexorama-make-samples DIR") and "klein-bottle" in stdout
        assert not out.exists()
    elif status == 0:
        assert sorted(os.listdir(out)) == sorted([name + ".klein" for name in SAMPLE_NAMES] + MORE_SAMPLES)


def test_samples_are_centred_inside_the_view_and_sized_by_the_resolution(tmp_path):
    assert run_module("plexorama.samples", str(tmp_path), "--resolution", "5", "--points", "10")[0] == 0
    dims = {}
    for name in SAMPLE_NAMES:
        coords, normals = read_klein(tmp_path / (name + ".klein"))
        assert coords.shape[0] == 6 * 5 * 5, name
        dims[name] = coords.shape[1]
        assert fits(coords), name
        centre = (coords.min(axis=0) + coords.max(axis=0)) / 2
        np.testing.assert_allclose(centre, 0, atol=1e-6, err_msg=name)
        assert np.linalg.norm(coords, axis=1).max() == pytest.approx(1.5, rel=1e-6), name
        np.testing.assert_allclose(np.linalg.norm(normals, axis=1), 1, atol=1e-6, err_msg=name)
    assert dims == {"klein-bottle": 4, "clifford-torus": 4, "complex-square": 4, "veronese": 6,
                    "torus-10d": 10}
