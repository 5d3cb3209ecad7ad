"""KLEIN files written and read by the package, checked byte by byte and by
the viewer's own reader, to every kind of path."""
import os
import stat
import threading

import numpy as np
import pytest

from conftest import VIEWER, needs, run
from plexorama import read_klein, write_klein
from plexorama.klein import write_whole


def random_surface(n, m, seed=1):
    rng = np.random.default_rng(seed)
    return rng.uniform(-1, 1, (n, m)), rng.normal(size=(n, m))


@pytest.mark.parametrize("n, m", [(0, 4), (3, 4), (6, 5), (3, 255), (300, 10)])
def test_round_trip_keeps_every_float32(tmp_path, n, m):
    coords, normals = random_surface(n, m)
    path = tmp_path / "s.klein"
    write_klein(path, coords, normals)
    got_coords, got_normals = read_klein(path)
    assert got_coords.dtype == np.float32 and got_coords.shape == (n, m)
    np.testing.assert_array_equal(got_coords, coords.astype(np.float32))
    np.testing.assert_array_equal(got_normals, normals.astype(np.float32))


def test_layout_is_header_then_coordinates_then_normals(tmp_path):
    coords = np.arange(15, dtype=np.float64).reshape(3, 5) / 8
    normals = -coords
    path = tmp_path / "s.klein"
    write_klein(path, coords, normals)
    data = path.read_bytes()
    assert data[:15] == b"KLEIN\0\x05" + (3).to_bytes(8, "little")
    assert len(data) == 15 + 2 * 4 * 15
    np.testing.assert_array_equal(np.frombuffer(data[15:75], "<f4"), coords.reshape(-1))
    np.testing.assert_array_equal(np.frombuffer(data[75:], "<f4"), normals.reshape(-1))
    assert oct(os.stat(path).st_mode & 0o777) != oct(0o600), "left private by the temporary file"
    assert os.listdir(tmp_path) == ["s.klein"]


def test_no_normals_given_computes_unit_ones(tmp_path):
    coords = np.array([[0, 0, 0, 0], [1, 0, 0, 0], [0, 1, 0, 0]], dtype=float)
    write_klein(tmp_path / "s.klein", coords)
    _, normals = read_klein(tmp_path / "s.klein")
    np.testing.assert_allclose(np.abs(normals), [[0, 0, 1, 0]] * 3)


def bad(rows, m, row, value):
    a = np.zeros((rows, m))
    a[row, 1] = value
    return a


@pytest.mark.parametrize("coords, normals, message", [
    (np.zeros((4, 4)), None, "4 vertices is not a whole number of triangles"),
    (np.zeros((3, 3)), None, "3 coordinates per vertex; expected 4 to 255"),
    (np.zeros((3, 256)), None, "256 coordinates per vertex"),
    (np.zeros(12), None, "expected an array of shape (n, m)"),
    (bad(6, 4, 4, np.nan), None, "coords: row 4 is not finite"),
    (bad(6, 4, 2, np.inf), None, "coords: row 2 is not finite"),
    (bad(6, 4, 5, 1e39), None, "coords as float32: row 5 is not finite"),
    (np.zeros((3, 4)), bad(3, 4, 1, -np.inf), "normals: row 1 is not finite"),
    (np.zeros((3, 4)), np.zeros((3, 5)), "normals: shape (3, 5) differs"),
])
def test_write_refuses(tmp_path, coords, normals, message):
    path = tmp_path / "s.klein"
    with pytest.raises(ValueError) as error:
        write_klein(path, coords, normals)
    assert message in str(error.value)
    assert os.listdir(tmp_path) == []


def header(m, n):
    return b"KLEIN\x07" + bytes([m]) + n.to_bytes(8, "little")


@pytest.mark.parametrize("data, message", [
    (b"", "not a KLEIN file"),
    (b"KLEI", "not a KLEIN file"),
    (b"klein" + bytes(200), "not a KLEIN file"),
    (b"KLEIN\0\4\3", "truncated: the header needs 15 bytes, found 8"),
    (header(4, 3) + bytes(95), "truncated: expected 111 bytes, found 110"),
    (header(3, 3) + bytes(72), "3 coordinates per vertex"),
    (header(255, 2**32 - 1) + bytes(8), "too large"),
    (None, "not a regular file"),
])
def test_read_refuses(tmp_path, data, message):
    path = tmp_path / "s.klein"
    if data is None:
        os.mkfifo(path)  # would wait for a writer if opened the usual way
    else:
        path.write_bytes(data)
    with pytest.raises(ValueError, match=message):
        read_klein(path)


def floats(*values):
    return np.array(values, dtype="<f4").tobytes()


@pytest.mark.parametrize("data, message", [
    (header(4, 4) + bytes(128), "coords: 4 vertices is not a whole number of triangles"),
    (header(4, 3) + floats(*[0] * 5, np.nan, *[0] * 6) + bytes(48), r"coords: row 1 is not finite"),
    (header(4, 3) + bytes(48) + floats(*[0] * 11, np.inf), r"normals: row 2 is not finite"),
])
def test_read_checks_what_write_would_refuse_unless_asked_not_to(tmp_path, data, message):
    path = tmp_path / "s.klein"
    path.write_bytes(data)
    with pytest.raises(ValueError, match=message):
        read_klein(path)
    coords, normals = read_klein(path, check=False)
    assert coords.shape == normals.shape == (int.from_bytes(data[7:15], "little"), 4)


def test_read_counts_the_low_32_bits_and_ignores_what_follows(tmp_path):
    path = tmp_path / "s.klein"
    values = np.arange(24, dtype="<f4")
    path.write_bytes(header(4, 2**32 + 3) + values.tobytes() + b"trailing")
    coords, normals = read_klein(path)
    np.testing.assert_array_equal(coords.reshape(-1), values[:12])
    np.testing.assert_array_equal(normals.reshape(-1), values[12:])


@needs(VIEWER, "the viewer")
def test_viewer_reads_what_the_package_wrote(tmp_path):
    coords, normals = random_surface(9, 6, seed=7)
    coords[4, 5] = 1.25
    path = tmp_path / "s.klein"
    write_klein(path, coords, normals)
    status, out, err = run(VIEWER, "--info", str(path))
    assert (status, err) == (0, "")
    lines = out.splitlines()
    assert "m: 6 coordinates per vertex" in lines
    assert "n: 9 vertices, 3 triangles" in lines
    stored = coords.astype(np.float32)
    for k in range(6):
        low, high = lines[3 + k].split(" min ")[1].split(" max ")
        assert (np.float32(low), np.float32(high)) == (stored[:, k].min(), stored[:, k].max()), k


def _fifo(path):
    """A named pipe at path and what a reader takes from it."""
    os.mkfifo(path)
    taken = []
    reader = threading.Thread(target=lambda: taken.append(open(path, "rb").read()), daemon=True)
    reader.start()
    return lambda: (reader.join(10), taken[0])[1]


# Each row: what is at the path; what the path is afterwards; what holds
# the bytes written, or the error raised. A named pipe stands for every
# special file (a device would be replaced, as root, should this fail).
TARGETS = [
    ("missing", "file", "path"),
    ("file of mode 0640", "file of mode 0640", "path"),
    ("link to a file", "link", "target"),
    ("link to a missing file", "link", "target"),
    ("named pipe", "named pipe", "reader"),
    ("folder", "folder", IsADirectoryError),
]


@pytest.mark.parametrize("before, after, holder", TARGETS, ids=[t[0] for t in TARGETS])
def test_writes_through_links_and_into_special_files(tmp_path, before, after, holder):
    path, target = tmp_path / "out", tmp_path / "target"
    read = None
    if before == "file of mode 0640":
        path.write_bytes(b"old")
        path.chmod(0o640)
    elif before.startswith("link"):
        if before == "link to a file":
            target.write_bytes(b"old")
        path.symlink_to(target)
    elif before == "named pipe":
        read = _fifo(path)
    elif before == "folder":
        path.mkdir()
    if isinstance(holder, type):
        with pytest.raises(holder):
            write_whole(path, [b"new"])
    else:
        write_whole(path, [b"ne", b"w"])
    kinds = {"file": os.path.isfile, "link": os.path.islink, "named pipe": lambda p: stat.S_ISFIFO(os.stat(p).st_mode),
             "folder": os.path.isdir}
    assert kinds[after.split(" of ")[0]](path)
    if after.endswith("0640"):
        assert os.stat(path).st_mode & 0o777 == 0o640
    written = {"path": lambda: open(path, "rb").read(), "target": target.read_bytes, "reader": read}
    if holder in written:
        assert written[holder]() == b"new"
    assert not [name for name in os.listdir(tmp_path) if name.endswith(".part")]
