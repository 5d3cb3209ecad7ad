"""plexorama-convert on small files of every form it reads, and on hostile
ones: each refused with one exact line and no file left behind; large
surfaces from small files in memory in proportion to what is written."""
import os
import resource
import subprocess
import sys

import numpy as np
import pytest

from conftest import run_module
from plexorama import read_klein

SQUARE4 = "4 1 0\n0 0 0 0\n1 0 0 0\n1 1 0 1\n0 1 0 1\n4 0 1 2 3\n"
GRID5 = "5\n3 2\n" + "".join(f"{u} {v} {u * v} {u - v} 1\n" for v in range(2) for u in range(3))


def convert(tmp_path, text, *options):
    source = tmp_path / "in.off"
    source.write_bytes(text.encode("latin-1") if isinstance(text, str) else text)
    out = tmp_path / "out.klein"
    status, stdout, stderr = run_module("plexorama.convert", str(source), str(out), *options)
    return status, stdout, stderr, out, source


# text, vertices written, m, first vertex
FORMS = [
    ("4OFF\n" + SQUARE4, 6, 4, [0, 0, 0, 0]),
    ("4OFF # comment\n" + SQUARE4.replace("4 1 0", "4 2 0").replace("4 0 1 2 3", "3 0 1 2 255 0 0 # red\n3 0 2 3 0.5 0.5 0.5 1"),
     6, 4, [0, 0, 0, 0]),
    ("nOFF\n5\n3 1 0\n1 2 3 4 5\n0 0 0 0 0\n0 1 0 0 0\n3 2 1 0\n", 3, 5, [0, 1, 0, 0, 0]),
    ("4nOFF\n4\n3 1 0\n2 2 2 2 2\n0 0 0 0 1\n4 0 0 4 4\n3 0 1 2\n", 3, 4, [1, 1, 1, 1]),
    ("CN4OFF\n3 1 0\n" + "".join(f"{k} 0 {k % 2} 1  0 0 1  1 0 0 1\n" for k in range(3)) + "3 0 1 2\n",
     3, 4, [0, 0, 0, 1]),
    ("STC4OFF\n3 1 0\n" + "".join(f"{k} {k * k} 0 1  1 0 0 1  0.5 0.5\n" for k in range(3)) + "3 0 1 2\n",
     3, 4, [0, 0, 0, 1]),
    ("4MESH\n2 2\n0 0 0 0\n1 0 0 0\n0 1 0 1\n1 1 0 1\n", 6, 4, [0, 0, 0, 0]),
    ("nMESH\n" + GRID5, 12, 5, [0, 0, 0, 0, 1]),
    ("unMESH\n" + GRID5, 18, 5, [0, 0, 0, 0, 1]),
    ("uvnMESH\n" + GRID5, 36, 5, [0, 0, 0, 0, 1]),
    ("UCNnMESH\n2\n2 2\n" + "".join(f"{k % 2} {k // 2}  0 1  1 1 1 1  0 0 0\n" for k in range(4)),
     6, 2, None),
    ("LIST\n{ appearance { shading flat material { ambient 1 1 1 } }\n  4OFF\n" + SQUARE4 + "}\n"
     "{ 4MESH 2 2 0 0 0 0 1 0 0 0 0 1 0 1 1 1 0 1 }\n", 12, 4, [0, 0, 0, 0]),
    ("LIST LIST { LIST { 4OFF " + SQUARE4 + " } }", 6, 4, [0, 0, 0, 0]),
]


@pytest.mark.parametrize("text, vertices, m, first", FORMS, ids=[f[0].split()[0] + str(k) for k, f in enumerate(FORMS)])
def test_reads_every_form(tmp_path, text, vertices, m, first):
    status, stdout, stderr, out, _ = convert(tmp_path, text)
    if m < 4:
        assert status == 1 and "expected vertices of at least 3 coordinates" in stderr
        return
    assert (status, stderr) == (0, ""), stderr
    coords, normals = read_klein(out)
    assert coords.shape == (vertices, m)
    np.testing.assert_array_equal(coords[0], first)
    np.testing.assert_allclose(np.linalg.norm(normals, axis=1), 1, atol=1e-6)
    assert stdout.startswith(f"{out}: {vertices} vertices, {vertices // 3} triangles, m = {m}, ")


def test_polygons_become_fans_with_unit_normals_in_their_plane(tmp_path):
    text = "4OFF\n5 1 0\n0 0 0 0\n2 0 0 0\n2 1 0 0\n1 2 0 0\n0 1 0 0\n5 0 1 2 3 4\n"
    status, _, _, out, _ = convert(tmp_path, text)
    coords, normals = read_klein(out)
    fans = coords.reshape(3, 3, 4)
    np.testing.assert_array_equal(fans[:, 0], [[0, 0, 0, 0]] * 3)
    np.testing.assert_array_equal(fans[:, 1:, :2].reshape(-1, 2), [[2, 0], [2, 1], [2, 1], [1, 2], [1, 2], [0, 1]])
    np.testing.assert_allclose(np.abs(normals), [[0, 0, 1, 0]] * 9)


def test_wrapped_mesh_closes_up(tmp_path):
    ring = "".join(f"{np.cos(a):.9f} {np.sin(a):.9f} {z} 0\n" for z in (0, 1) for a in np.arange(6) * np.pi / 3)
    status, _, _, out, _ = convert(tmp_path, "4uMESH\n6 2\n" + ring)
    coords, normals = read_klein(out)
    assert coords.shape == (36, 4)
    # Radial normals all round, the closing cell's too.
    radial = coords[:, :2] / np.linalg.norm(coords[:, :2], axis=1)[:, None]
    np.testing.assert_allclose(np.abs(np.einsum("ij,ij->i", normals[:, :2], radial)), 1, atol=1e-6)


def test_fit_centres_and_scales_into_the_view(tmp_path):
    text = "4OFF\n3 1 0\n10 10 10 10\n14 10 10 10\n10 14 10 10\n3 0 1 2\n"
    status, stdout, _, _, _ = convert(tmp_path, text)
    assert status == 0 and stdout.rstrip().endswith(
        "does not fit the view (farthest vertex 22.3 from the origin, beyond 1.5): convert with --fit")
    status, stdout, _, out, _ = convert(tmp_path, text, "--fit")
    coords, _ = read_klein(out)
    assert stdout.rstrip().endswith(", fits the view")
    np.testing.assert_allclose((coords.min(0) + coords.max(0)) / 2, 0, atol=1e-7)
    assert np.linalg.norm(coords, axis=1).max() == pytest.approx(1.5)


def test_klein_input_is_fitted(tmp_path):
    first = tmp_path / "first.klein"
    (tmp_path / "in.off").write_text("4OFF\n3 1 0\n0 0 0 9\n4 0 0 9\n0 4 0 9\n3 0 1 2\n")
    assert run_module("plexorama.convert", str(tmp_path / "in.off"), str(first))[0] == 0
    status, stdout, _ = run_module("plexorama.convert", str(first), str(tmp_path / "fitted.klein"), "--fit")[:3]
    assert status == 0 and stdout.rstrip().endswith("fits the view")
    np.testing.assert_array_equal(read_klein(tmp_path / "fitted.klein")[1], read_klein(first)[1])


def test_points_and_lines_are_skipped_with_a_warning(tmp_path):
    text = ("LIST\n4OFF\n" + SQUARE4 + "VECT\n2 3 1\n2 -1\n1 0\n0 0 0 1 1 1 2 2 2\n1 0 0 1\n"
            "4nSKEL 3\n2 1\n0 0 0 1 1 1 1 1\n2 0 1 0.5 0.5 0.5\n")
    status, stdout, stderr, out, source = convert(tmp_path, text)
    assert status == 0
    assert stderr == f"plexorama-convert: {source}: skipped what is not a surface: VECT (line 9), 4nSKEL (line 15)\n"
    assert read_klein(out)[0].shape == (6, 4)


TRIANGLE3 = "3 1 0\n0 0 0\n2 0 0\n0 2 0\n3 0 1 2\n"
VECT = "VECT\n1 2 0\n2\n0\n0 0 0 1 1 1\n"
SKEL = "SKEL\n2 1\n0 0 0\n1 1 1\n2 0 1\n"

# Faults once found by hand. Each row: text, exit status, and the line
# written: on standard error after "plexorama-convert: IN", or on standard
# output after "OUT: ", up to the verdict on fitting the view.
MENDED = [
    # A brace closing an object on the line of its last face (or polyline)
    # is a brace, not that face's colour.
    ("LIST { 4OFF\n" + SQUARE4.rstrip() + " }\n", 0, "6 vertices, 2 triangles, m = 4"),
    ("{ 4OFF\n" + SQUARE4.rstrip() + " 255 0 0 }\n", 0, "6 vertices, 2 triangles, m = 4"),
    ("LIST { 4OFF\n" + SQUARE4 + "} { SKEL 2 1 0 0 0 1 1 1 2 0 1 }\n", 0, "6 vertices, 2 triangles, m = 4"),
    # A vertex line short of a value, or with one too many, is named, where
    # reading on would take the next line's values and fail far below, or
    # not at all.
    ("4OFF\n3 1 0\n0 0 0 0\n1 0 0\n0 1 0 1\n3 0 1 2\n", 1,
     ":4: expected 4 values on the line of vertex 1 (one vertex a line, as above), found 3"),
    ("4OFF\n4 2 0\n0 0 0 0\n1 0 0 0\n1 1 0\n0 1 0 1\n3 0 1 2\n3 0 2 3\n", 1,
     ":5: expected 4 values on the line of vertex 2 (one vertex a line, as above), found 3"),
    ("4OFF\n4 2 0\n0 0 0 0\n1 0 0 0 1\n1 1 0 1\n0 1 0 1\n3 0 1 2\n3 0 2 3\n", 1,
     ":4: expected 4 values on the line of vertex 1 (one vertex a line, as above), found 5"),
    ("C4OFF\n3 1 0\n0 0 0 0 1 0 0 1\n1 0 0 0 1 0 0\n0 1 0 1 1 0 0 1\n3 0 1 2\n", 1,
     ":4: expected 8 values on the line of vertex 1 (one vertex a line, as above), found 7"),
    # So is the first vertex's line, when the lines below it hold one vertex each.
    ("4OFF\n3 1 0\n0 0 0\n1 0 0 0\n0 1 0 1\n3 0 1 2\n", 1,
     ":3: expected 4 values on the line of vertex 0 (one vertex a line, as below), found 3"),
    ("4OFF\n4 2 0\n0 0 0 0 1\n1 0 0 0\n1 1 0 1\n0 1 0 1\n3 0 1 2\n3 0 2 3\n", 1,
     ":3: expected 4 values on the line of vertex 0 (one vertex a line, as below), found 5"),
    ("4MESH\n2 2\n0 0 0\n1 0 0 0\n0 1 0 1\n1 1 0 1\n", 1,
     ":3: expected 4 values on the line of vertex 0 (one vertex a line, as below), found 3"),
    ("4MESH\n2 2\n0 0 0 0\n1 0 0\n0 1 0 1\n1 1 0 1\n", 1,
     ":4: expected 4 values on the line of vertex 1 (one vertex a line, as above), found 3"),
    ("4OFF 3 1 0 0 0 0 0 1 0 0 0\n0 1 0 1 3 0 1 2\n", 0, "3 vertices, 1 triangles, m = 4"),
    # Plain 3-D OFF and MESH (with or without the key word) are read in R^4 with w = 0.
    ("OFF\n" + TRIANGLE3, 0, "3 vertices, 1 triangles, m = 4 (3-D vertices, w = 0)"),
    (TRIANGLE3, 0, "3 vertices, 1 triangles, m = 4 (3-D vertices, w = 0)"),
    ("MESH\n2 2\n0 0 0\n1 0 0\n0 1 0\n1 1 1\n", 0, "6 vertices, 2 triangles, m = 4 (3-D vertices, w = 0)"),
    ("LIST OFF\n" + TRIANGLE3 + "4OFF\n" + SQUARE4, 0, "9 vertices, 3 triangles, m = 4 (3-D vertices, w = 0)"),
    ("LIST OFF\n" + TRIANGLE3 + "nOFF 5\n3 1 0\n" + "0 0 0 0 0\n" * 3 + "3 0 1 2\n", 1,
     ":7: expected 4 coordinates per vertex like the surface on line 1, found 5"),
    # Lines and points alone are nothing to draw, and said so.
    (VECT, 1, ": holds only VECT/SKEL objects: nothing to draw"),
    ("LIST " + VECT + SKEL, 1, ": holds only VECT/SKEL objects: nothing to draw"),
]


@pytest.mark.parametrize("text, status, line", MENDED, ids=[str(k) for k in range(len(MENDED))])
def test_mended_faults(tmp_path, text, status, line):
    got, stdout, stderr, out, source = convert(tmp_path, text)
    assert got == status, stderr
    if status:
        assert (stdout, stderr) == ("", f"plexorama-convert: {source}{line}\n")
        return
    assert stdout.startswith(f"{out}: {line}, ")
    coords, normals = read_klein(out)
    if TRIANGLE3 in text:
        # The 3-D triangle lies in the first three coordinates, lit by its own normal.
        np.testing.assert_array_equal(coords[:3], [[0, 0, 0, 0], [2, 0, 0, 0], [0, 2, 0, 0]])
        np.testing.assert_array_equal(np.abs(normals[:3]), [[0, 0, 1, 0]] * 3)


DEEP = 200000

# text, line, what was expected and found
HOSTILE = [
    ("", "1: expected an OFF, MESH, LIST, VECT or SKEL object, found an empty file"),
    ("# only a comment\n", "1: expected an OFF, MESH, LIST, VECT or SKEL object, found an empty file"),
    ("QUAD\n0 0 0 1 0 0 1 1 0 0 1 0\n", "1: expected an OFF, MESH, LIST, VECT or SKEL object, found 'QUAD'"),
    ("NCMESH\n2 2\n", "1: expected an OFF, MESH, LIST, VECT or SKEL object, found 'NCMESH'"),
    ("4OFF BINARY\n", "1: expected an ASCII object (BINARY ones are not read), found '4OFF' BINARY"),
    ("4OFF\n1000000000 1 0\n0 0 0 0\n", "3: expected 4000000000 values of 1000000000 vertices (4 left), found the end of the file"),
    ("4OFF\n3 99999 0\n" + "0 0 0 0\n" * 3, "5: expected 99999 values of 99999 faces (0 left), found the end of the file"),
    ("4OFF\n3 1 0\n" + "0 0 0 0\n" * 3 + "1000000 0 1 2\n", "6: expected 1000000 values of face 0 (3 left), found the end of the file"),
    ("4OFF\n-3 1 0\n", "2: expected the vertex count, 0 or more, found '-3'"),
    ("4OFF\n3 -1 0\n", "2: expected the face count, 0 or more, found '-1'"),
    ("4OFF\n3 1 0\n" + "0 0 0 0\n" * 3 + "-3 0 1 2\n", "6: expected the vertex count of face 0, 0 or more, found '-3'"),
    ("4OFF\n3 1 0\n" + "0 0 0 0\n" * 3 + "3 0 1 3\n", "6: expected a vertex index from 0 to 2 (face 0), found '3'"),
    ("4OFF\n3 1 0\n" + "0 0 0 0\n" * 3 + "3 0 -1 2\n", "6: expected a vertex index from 0 to 2 (face 0), found '-1'"),
    ("4OFF\n3 1 0\n0 0 0 0\n0 nan 0 0\n0 0 0 0\n3 0 1 2\n", "4: expected a number (3 vertices), found 'nan'"),
    ("4OFF\n3 1 0\n0 0 0 0\n0 0 inf 0\n0 0 0 0\n3 0 1 2\n", "4: expected a number (3 vertices), found 'inf'"),
    ("4OFF\n3 1 0\n0 0 0 0\n0 0 1e39 0\n0 0 0 0\n3 0 1 2\n", "4: expected a number within float32 range (3 vertices), found '1e39'"),
    ("4OFF\n3 1\n", "2: expected the edge count, found the end of the file"),
    ("4OFF\nthree 1 0\n", "2: expected the vertex count, 0 or more, found 'three'"),
    ("4OFF\n" + "9" * 5000 + " 1 0\n", "2: expected the vertex count, 0 or more, found '" + "9" * 24 + "...'"),
    ("nOFF\n0\n", "2: expected the dimension of nOFF vertices, 1 to 255, found '0'"),
    ("nOFF\n300\n", "2: expected the dimension of nOFF vertices, 1 to 255, found '300'"),
    ("4nOFF\n3\n3 1 0\n0 0 0 0\n1 0 0 0\n0 1 0 1\n3 0 1 2\n", "1: expected homogeneous vertices with a divisor other than 0, found a divisor of 0"),
    ("LIST 4OFF\n" + SQUARE4 + "4nOFF 4\n3 1 0\n0 0 0 0 1\n1 0 0 0 1\n1e30 0 0 0 1e-30\n3 0 1 2\n",
     "8: expected coordinates within float32 range after the division by the last, found a vertex beyond it"),
    ("nOFF 2\n3 1 0\n0 0\n1 0\n0 1\n3 0 1 2\n", "1: expected vertices of at least 3 coordinates (OFF, 4OFF, nOFF with NDIM 3 or more, ...), found 2"),
    ("LIST 4OFF\n" + SQUARE4 + "nOFF 5\n3 1 0\n" + "0 0 0 0 0\n" * 3 + "3 0 1 2\n",
     "8: expected 4 coordinates per vertex like the surface on line 1, found 5"),
    ("4MESH\n0 2\n", "2: expected the grid size NU, 1 or more, found '0'"),
    ("4MESH\n2000 2000\n0 0 0 0\n", "3: expected 16000000 values of 2000 x 2000 vertices (4 left), found the end of the file"),
    ("Z4MESH\n2 2\n0 0 0 0\n", "1: expected a MESH key word without both Z and 4 or n, found 'Z4MESH'"),
    ("4MESH\n1 3\n0 0 0 0 1 0 0 0 2 0 0 0\n", "1: expected a surface with at least one triangle, found none"),
    ("LIST { 4OFF\n" + SQUARE4, "7: expected '}', found the end of the file"),
    ("4OFF\n" + SQUARE4 + "}\n", "8: expected an OFF, MESH, LIST, VECT or SKEL object, found '}' with no '{' open"),
    ("appearance { shading flat\n", "1: expected '}' closing the appearance block, found the end of the file"),
    ("appearance 4OFF\n", "1: expected '{' after appearance, found '4OFF'"),
    ("LIST {\n" * DEEP, f"{DEEP}: expected '}}', found the end of the file"),
    ("4OFF\x00\n", "1: expected an OFF, MESH, LIST, VECT or SKEL object, found '4OFF\\x00'"),
    (b"4OFF \xff\n", "1: expected the vertex count, 0 or more, found '\\xff'"),
]


@pytest.mark.parametrize("text, error", HOSTILE, ids=[str(k) for k in range(len(HOSTILE))])
def test_refuses_with_one_line_and_leaves_no_file(tmp_path, text, error):
    status, stdout, stderr, out, source = convert(tmp_path, text)
    assert (status, stdout) == (1, "")
    assert stderr == f"plexorama-convert: {source}:{error}\n"
    assert sorted(os.listdir(tmp_path)) == ["in.off"]


@pytest.mark.parametrize("setup, error", [
    ("missing", "{source}: cannot read: No such file or directory"),
    ("unwritable", "{out}: cannot write: No such file or directory"),
    ("pipe", "{source}: cannot read: not a regular file"),
    ("directory", "{source}: cannot read: not a regular file"),
])
def test_file_errors_are_one_line(tmp_path, setup, error):
    source = tmp_path / "in.off"
    out = tmp_path / "out.klein"
    if setup == "pipe":
        os.mkfifo(source)
    if setup == "directory":
        source.mkdir()
    if setup == "unwritable":
        source.write_text("4OFF\n" + SQUARE4)
        out = tmp_path / "missing" / "out.klein"
    status, stdout, stderr = run_module("plexorama.convert", str(source), str(out))
    assert (status, stdout) == (1, "")
    assert stderr == "plexorama-convert: " + error.format(source=source, out=out) + "\n"


def test_help_says_how_4d_vertices_are_read():
    status, stdout, _ = run_module("plexorama.convert", "--help")
    assert status == 0
    assert "4OFF and 4MESH vertices are read as four Euclidean" in stdout


def fan(corners, m=255):
    """A small file of a large surface: one polygon of many corners over
    three vertices in R^m."""
    vertices = "".join(" ".join(f"{(k * 7 + j) % 5 - 2}" for j in range(m)) + "\n" for k in range(3))
    return f"nOFF\n{m}\n3 1 0\n" + vertices + f"{corners} " + " ".join(str(k % 3) for k in range(corners)) + "\n"


# Each row: text, options, exit status, the line after "plexorama-convert: ".
LIMITS = [
    (fan(20000), ["--max-size", "100M"], 1, "{source}: the surface would take 122 MB (59994 vertices of 255 "
                                            "coordinates), past the limit of 100 MB: give --max-size to allow more"),
    ("4OFF\n" + SQUARE4, ["--max-size", "40"], 1,
     "{source}: 53 bytes to read, past the limit of 40 bytes: give --max-size to allow more"),
    ("4OFF\n" + SQUARE4, ["--max-size", "2 gigabytes"], 2,
     "error: --max-size: expected a size such as 500M or 2G, found '2 gigabytes'"),
]


@pytest.mark.parametrize("text, options, status, line", LIMITS, ids=["output", "input", "usage"])
def test_what_passes_the_limit_is_refused_before_it_is_made(tmp_path, text, options, status, line):
    got, stdout, stderr, out, source = convert(tmp_path, text, *options)
    assert (got, stdout) == (status, "")
    assert stderr.splitlines()[-1] == "plexorama-convert: " + line.format(source=source)
    assert sorted(os.listdir(tmp_path)) == ["in.off"]


def converted(tmp_path, text, address_space=None):
    """Converts text in a process of its own, limited to address_space
    bytes; returns (status, stderr, peak resident memory in bytes)."""
    (tmp_path / "in.off").write_text(text)
    report = ("import resource, sys; from plexorama.convert import main; status = main(sys.argv[1:]); "
              "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024, file=sys.stderr); sys.exit(status)")
    limit = (lambda: resource.setrlimit(resource.RLIMIT_AS, (address_space,) * 2)) if address_space else None
    done = subprocess.run([sys.executable, "-c", report, str(tmp_path / "in.off"), str(tmp_path / "out.klein")],
                          capture_output=True, text=True, timeout=120, preexec_fn=limit,
                          env=dict(os.environ, OPENBLAS_NUM_THREADS="1"))
    *lines, peak = done.stderr.splitlines() or [""]
    return done.returncode, "\n".join(lines), int(peak) if peak.isdigit() else None


def test_memory_stays_within_the_output_and_a_constant(tmp_path):
    # 200 kB of text that makes a 122 MB surface: once 6 times that in memory.
    status, stderr, peak = converted(tmp_path, fan(20000))
    assert (status, stderr) == (0, "")
    size = os.path.getsize(tmp_path / "out.klein")
    assert size == 15 + 8 * 59994 * 255
    assert peak < size + 256e6
    # Where memory runs out, one line says so and no file is left.
    status, stderr, _ = converted(tmp_path, "4MESH\n1000 1000\n" + "0 1 2 3\n" * 10**6, address_space=150_000_000)
    assert (status, stderr) == (1, "plexorama-convert: out of memory")
    assert sorted(os.listdir(tmp_path)) == ["in.off", "out.klein"]
