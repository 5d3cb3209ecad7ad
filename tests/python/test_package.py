"""The package builds offline with Debian's setuptools, as the README says."""
import os
import shutil
import sys
import zipfile

from conftest import run

SOURCE = os.path.join(os.path.dirname(__file__), "..", "..", "python")


def test_wheel_builds_without_the_network(tmp_path):
    # Built from a copy: setuptools leaves build/ and egg-info/ beside the sources.
    source = tmp_path / "python"
    shutil.copytree(SOURCE, source, ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    status, out, err = run(sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps",
                           "--no-index", "-w", str(tmp_path / "wheels"), str(source), timeout=120)
    assert status == 0, err
    [wheel] = os.listdir(tmp_path / "wheels")
    names = zipfile.ZipFile(tmp_path / "wheels" / wheel).namelist()
    for module in ("__init__", "klein", "normals", "surface", "oogl", "convert", "samples", "formula", "plot",
                   "viewer"):
        assert f"plexorama/{module}.py" in names
    entry_points = [n for n in names if n.endswith("entry_points.txt")]
    assert entry_points
    text = zipfile.ZipFile(tmp_path / "wheels" / wheel).read(entry_points[0]).decode()
    assert "plexorama-convert = plexorama.convert:main" in text
    assert "plexorama-plot = plexorama.plot:main" in text
