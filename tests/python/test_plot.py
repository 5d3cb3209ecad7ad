"""plexorama-plot: the formulas it reads and refuses, its command line, and
its surfaces against the same surfaces made with numpy directly."""
import os
import resource
import subprocess
import sys

import numpy as np
import pytest

from plexorama import grid_surface, read_klein
from plexorama.formula import FormulaError, evaluate, parse
import plexorama.plot
from plexorama.plot import main
from plexorama.options import lecture_view, view_options

U, V = np.float64(2), np.float64(3)

# text, its value at u = 2, v = 3
ACCEPTED = [
    ("u + v*2", 8),
    ("-u**2", -4),                       # the power binds before the sign
    ("2^3^2", 512),                      # and right to left
    ("2**-1", 0.5),
    ("(u - v) / 2 / 2", -0.25),          # division left to right
    ("1e-3*u + .5 + 5.", 5.502),
    ("2j * i", -2),
    ("e**(i*pi)", -1),
    ("sqrt(-4)", 2j),                    # complex where it must be
    ("(-8)**(1/3)", 1 + np.sqrt(3) * 1j),
    ("abs(3 + 4*i)", 5),
    ("log(e**u) + log10(100) + log2(8)", 7),
    ("arccosh(cosh(u)) + arccosh(0.5)", 2 + np.pi / 3 * 1j),
    ("real(conj(u + i*v)) + imag(conj(u + i*v))", -1),
    ("arg(-1) + arctan(1) * 4", 2 * np.pi),
    ("  sin ( u ) ** 2 + cos(u)^2 ", 1),
    ("u+" * 4000 + "u", 8002),           # a long chain needs no deep stack
    ("(" * 100 + "u" + ")" * 100, 2),
]


@pytest.mark.parametrize("text, value", ACCEPTED, ids=[t[:24] for t, _ in ACCEPTED])
def test_formulas_read(text, value):
    [(written, f)] = parse(text, ("u", "v"))
    assert written == text.strip()
    assert complex(evaluate(f, {"u": U, "v": V}, ())) == pytest.approx(value, rel=1e-12)


FUNCTION = "a function (sin, cos, tan, arcsin"
ATOM = "a number, a variable (u, v), pi, e, i, a function or '('"

# text, column, what the error says was expected
REFUSED = [
    ("().__class__", 2, ATOM),
    ("u.__class__", 2, "an operator, ',' or the end"),
    ("__import__('os').system('touch pwned')", 1, FUNCTION),
    ("open('/etc/passwd')", 1, FUNCTION),
    ("exec('1')", 1, FUNCTION),
    ("__builtins__", 1, ATOM),
    ("import os", 1, ATOM),
    ("lambda: 0", 1, ATOM),
    ("'os'", 1, ATOM),
    ("u[0]", 2, "an operator, ',' or the end"),
    ("u if v else 1", 3, "an operator, ',' or the end"),
    ("{}", 1, ATOM),
    ("z", 1, ATOM),                      # not a variable of this mode
    ("2u", 2, "an operator, ',' or the end"),
    ("sin u", 5, "'(' after 'sin'"),
    ("sin(u", 6, "an operator or ')'"),
    ("u,,v", 3, ATOM),
    ("", 1, ATOM),
    ("1e999", 1, "a number within float64 range"),
    ("\x00", 1, ATOM),
    ("(" * 101 + "u" + ")" * 101, 101, "at most 100 nested brackets, signs and powers"),
    ("-" * 101 + "u", 101, "at most 100 nested brackets, signs and powers"),
    ("u**" * 101 + "u", 302, "at most 100 nested brackets, signs and powers"),
    ("u" * 10001, 10001, "at most 10000 characters"),
]


@pytest.mark.parametrize("text, column, expected", REFUSED, ids=[repr(t[:24]) for t, _, _ in REFUSED])
def test_formulas_refused(text, column, expected):
    with pytest.raises(FormulaError) as error:
        parse(text, ("u", "v"))
    assert error.value.column == column
    assert str(error.value).startswith(f"column {column}: expected {expected}")
    assert "\n" not in str(error.value)


def plot(tmp_path, capsys, *args):
    """Runs plexorama-plot in tmp_path; returns (status, stdout, stderr)."""
    cwd = os.getcwd()
    os.chdir(tmp_path)
    try:
        status = main(list(args))
    finally:
        os.chdir(cwd)
    out = capsys.readouterr()
    return status, out.out, out.err


TORUS = ["cos(u), sin(u), cos(v), sin(v)", "--u", "0:2*pi:8", "--v", "0:2*pi:8", "--wrap", "u,v"]
UNFIT = ", does not fit the view"

# command line, exit status, the line written (after "plexorama-plot: " on
# standard error), files left
COMMANDS = [
    ([*TORUS, "-o", "t.klein"], 0, "t.klein: 384 vertices, 128 triangles, m = 4, fits the view", ["t.klein"]),
    (["u, v, u*v", "--fit", "-o", "t.klein"], 0, "t.klein: 6144 vertices, 2048 triangles, m = 4, fits the view", ["t.klein"]),
    (["--complex", "-z", "--steps", "4", "-o", "t.klein"], 0, "t.klein: 192 vertices, 64 triangles, m = 4, fits the view",
     ["t.klein"]),
    (["--complex", "1/z", "--radius", "0.5:2", "--steps", "4", "-o", "t.klein"], 0,
     "t.klein: 192 vertices, 64 triangles, m = 4, does not fit the view (farthest vertex 2.06 from the origin, "
     "beyond 1.5): plot with --fit", ["t.klein"]),
    (["log(u), u, v", "-o", "t.klein"], 1, "'log(u)' is not finite at u = 0, v = 0", []),
    (["u, 9**9**9, v", "-o", "t.klein"], 1, "'9**9**9' is not finite at u = 0, v = 0", []),
    (["u, v, exp(1000*u)", "-o", "t.klein"], 1, "'exp(1000*u)' is not finite at u = 0.7188, v = 0", []),
    (["u, v, exp(100*u)", "-o", "t.klein"], 1, "'exp(100*u)' is beyond float32's range (3.4e+38) at u = 0.9062, v = 0",
     []),
    (["sqrt(u - 1), u, v", "-o", "t.klein"], 1,
     "'sqrt(u - 1)' is complex at u = 0, v = 0: take real(), imag() or abs() of it", []),
    (["--complex", "1/z", "-o", "t.klein"], 1, "'1/z' is not finite at z = 0+0i", []),
    (["u, v, u", "-o", "missing/t.klein"], 1, "missing/t.klein: cannot write: No such file or directory", []),
    (["__import__('os').system('touch pwned'), u, v", "-o", "t.klein"], 2,
     "FORMULAS: column 1: expected a function (sin, cos, tan, arcsin, arccos, arctan, sinh, cosh, tanh, arcsinh, "
     "arccosh, arctanh, exp, log, log2, log10, sqrt, abs, real, imag, conj, arg), found '__import__'", []),
    (["u, v", "-o", "t.klein"], 2, "FORMULAS: expected 3 to 255 coordinates, found 2", []),
    (["u, v, u", "--u", "0:2*pj", "-o", "t.klein"], 2,
     "--u 0:2*pj: B: column 3: expected a number, pi, e, i, a function or '(', found 'pj'", []),
    (["u, v, u", "--v", "0:1:1", "-o", "t.klein"], 2, "--v 0:1:1: N: expected grid steps from 2 to 1024, found '1'", []),
    (["u, v, u", "--u", "0:i", "-o", "t.klein"], 2, "--u 0:i: B: expected one finite real number, found 'i'", []),
    (["u, v, u", "--wrap", "w", "-o", "t.klein"], 2, "--wrap w: expected u, v or u,v", []),
    (["--complex", "z, z", "-o", "t.klein"], 2, "--complex: expected one formula F, found 2", []),
    (["--complex-pair", "w**2", "-o", "t.klein"], 2, "--complex-pair: expected two formulas Z, F, found 1", []),
    (["--complex", "z**2", "--u", "0:1", "-o", "t.klein"], 2,
     "FORMULAS, --u, --v, --wrap and --twist are for formulas in u and v, not with --complex or --complex-pair", []),
    (["--complex", "z**2", "--radius", "1:0", "-o", "t.klein"], 2, "--radius 1:0: expected 0 <= R0 < R", []),
    (["-o", "t.klein"], 2, "expected FORMULAS, --complex F or --complex-pair Z,F (see --help)", []),
    (["u, v, u"], 1, "no display to show the surface on (DISPLAY is not set): write it with -o OUT.klein "
     "or draw it with --output FILE.png", []),
    # What cannot be done is refused before anything is computed or written.
    (["--complex", "z", "--complex-pair", "w, w", "-o", "t.klein"], 2,
     "--complex and --complex-pair: expected one of them, found both", []),
    (["u, v, u", "--u", "0:0:64", "-o", "t.klein"], 2, "--u 0:0:64: expected A and B apart, found an empty range", []),
    (["u, v, u", "--u", "-1e308:1e308", "-o", "t.klein"], 2, "--u -1e308:1e308: expected a range of finite length",
     []),
    (["u, v, u", "--wrap", "u,v", "--u", "0:1", "-o", "t.klein"], 2,
     "--wrap v: expected --v A:B too, the range whose ends it joins", []),
    (["u, v, u", "--twist", "u", "--wrap", "u", "--u", "0:1", "-o", "t.klein"], 2,
     "--wrap u and --twist u: expected one way to join the ends of u", []),
    (["u, v, u", "-o", "t.klein", "--output", "m.jpg"], 2,
     "--output m.jpg: expected a name ending in .png, the picture being PNG", []),
    (["u, v, u", "-o", "t.klein", "--record", "m.avi"], 2,
     "--record m.avi: expected a name ending in .mp4, .webm or .gif, or one with %d for numbered PNG files", []),
    (["u, v, u", "-o", ""], 2, "-o: expected a file name, found ''", []),
    (["u, v, u", "-o", "t.klein", "--coords", "1,3,2"], 2,
     "--coords 1,3,2: expected four different coordinates A,B,C,D from 1 to 4", []),
    (["u, v, u", "--output", "m.png", "--size", "8"], 2, "--size 8: expected a picture size from 16 to 8192", []),
    (["u, v, u", "--output", "m.png", "--view", "missing.view"], 2,
     "--view missing.view: cannot read: No such file or directory", []),
    # Curves: nSKEL files of one polyline.
    (["--curve", "cos(t), sin(t), t, 0", "--t", "0:2*pi:8", "--wrap", "t", "-o", "c.skel"], 0,
     "c.skel: a curve of 8 vertices, closed, m = 4, does not fit the view (farthest vertex 5.59 from the origin, "
     "beyond 1.5): plot with --fit", ["c.skel"]),
    (["--curve", "t, t*t, t**3", "--fit", "-o", "c.skel"], 0, "c.skel: a curve of 33 vertices, m = 4, fits the view",
     ["c.skel"]),
    (["--curve", "t, 1/t, t", "--t", "-1:1:4", "-o", "c.skel"], 1, "'1/t' is not finite at t = 0", []),
    (["--curve", "t, t", "-o", "c.skel"], 2, "--curve: expected 3 to 255 coordinates, found 2", []),
    (["--curve", "t, t, t", "--wrap", "t", "-o", "c.skel"], 2,
     "--wrap t: expected --t A:B too, the range whose ends it joins", []),
    (["--curve", "t, t, t", "--wrap", "u", "-o", "c.skel"], 2, "--wrap u: expected t, the curve's parameter", []),
    (["--curve", "t, t, u", "-o", "c.skel"], 2, "--curve: column 7: expected a number, a variable (t), pi, e, i, "
     "a function or '(', found 'u'", []),
    (["u, v, u", "--curve", "t, t, t", "-o", "c.skel"], 2,
     "FORMULAS, --complex, --complex-pair, --u, --v and --twist are for surfaces, not with --curve", []),
    (["u, v, u", "--t", "0:1", "-o", "t.klein"], 2, "--t 0:1: the range of t is for --curve", []),
    (["u, v, u, u", "--u", "0:1:1024", "--v", "0:1:1024", "-o", "t.klein", "--max-size", "100M"], 2,
     "the surface would take 201 MB (6291456 vertices of 4 coordinates), past the limit of 100 MB: give --max-size "
     "to allow more", []),
]


@pytest.mark.parametrize("args, status, line, files", COMMANDS, ids=[str(k) for k in range(len(COMMANDS))])
def test_command_line(tmp_path, capsys, monkeypatch, args, status, line, files):
    monkeypatch.delenv("DISPLAY", raising=False)
    got, out, err = plot(tmp_path, capsys, *args)
    assert got == status, err
    assert (out, err) == ((line + "\n", "") if status == 0 else ("", f"plexorama-plot: {line}\n"))
    assert sorted(os.listdir(tmp_path)) == files


def read(tmp_path, capsys, *args):
    status, _, err = plot(tmp_path, capsys, *args, "-o", "s.klein")
    assert status == 0, err
    return read_klein(tmp_path / "s.klein")


def moebius(u, v):
    return ((1 + v * np.cos(u / 2)) * np.cos(u), (1 + v * np.cos(u / 2)) * np.sin(u), v * np.sin(u / 2),
            v * np.sin(u))


def test_formulas_make_the_surface_numpy_makes(tmp_path, capsys):
    closed = np.linspace(0, 2 * np.pi, 8, endpoint=False)
    rows = [
        (TORUS, lambda u, v: (np.cos(u), np.sin(u), np.cos(v), np.sin(v)), closed, closed,
         dict(wrap_u=True, wrap_v=True)),
        (["cos(u)*(1 + v*cos(u/2)), sin(u)*(1 + v*cos(u/2)), v*sin(u/2), v*sin(u)", "--u", "0:2*pi:8", "--v",
          "-0.4:0.4:4", "--twist", "u"], moebius, closed, np.linspace(-0.4, 0.4, 5), dict(twist_u=True)),
        # Three coordinates are a surface in R^3, shown with w = 0.
        (["u, v, u*v", "--v", "-1:1:4"], lambda u, v: (u, v, u * v, 0 * u), np.linspace(0, 1, 33),
         np.linspace(-1, 1, 5), {}),
    ]
    for args, f, u, v, gluing in rows:
        coords, normals = read(tmp_path, capsys, *args)
        expected = grid_surface(f, u, v, **gluing)
        np.testing.assert_allclose(coords, expected[0], atol=1e-6, err_msg=args[0])
        np.testing.assert_allclose(normals, expected[1], atol=1e-5, err_msg=args[0])
    # grid_surface itself takes no surface in R^3, and says how to add w.
    calls = []
    with pytest.raises(ValueError, match=r"^f gives 3 coordinates, .*: add w as coordinate 4 \(0 \* U gives w = 0"):
        grid_surface(lambda u, v: calls.append(u) or (u, v, u * v), np.linspace(0, 1, 9), np.linspace(0, 1, 9))
    assert len(calls) == 1, "refused at its first call"


@pytest.mark.parametrize("args, relation", [
    (["--complex", "z**2"], lambda z, f: f - z * z),
    (["--complex-pair", "w**2, w"], lambda z, f: z - f * f),        # the Riemann surface of the root
    (["--complex-pair", "exp(w), w", "--radius", "1:2"], lambda z, f: z - np.exp(f)),
])
def test_complex_surfaces_hold_their_points(tmp_path, capsys, args, relation):
    coords, normals = read(tmp_path, capsys, *args, "--steps", "6")
    assert coords.shape == (6 * 6 * 12, 4)
    z, f = coords[:, 0] + 1j * coords[:, 1], coords[:, 2] + 1j * coords[:, 3]
    assert np.abs(relation(z.astype(complex), f.astype(complex))).max() < 1e-5
    np.testing.assert_allclose(np.linalg.norm(normals, axis=1), 1, atol=1e-6)


def test_the_viewer_s_options_go_on_to_it(tmp_path, capsys):
    viewer = os.environ.get("PLEXORAMA")
    if not viewer:
        pytest.skip("the viewer not given")
    options = ["--turn", "yw=30", "--color", "w", "--light", "shape", "--gizmo", "--opacity", "0.6"]
    # Each row: plexorama-plot's options, the viewer's for the same picture.
    for args, direct in [(["--plain", "--coords", "1,3,4,2", *options], ["--show", "1,3,4,2", *options]),
                         (["--color", "w"], view_options(lecture_view({"color": "w"})))]:
        status, _, err = plot(tmp_path, capsys, *TORUS, "-o", "t.klein", "--output", "t.png", "--size", "64", *args)
        assert (status, err) == (0, "")
        subprocess.run((["xvfb-run", "-a"] if not os.environ.get("DISPLAY") else []) + [
            viewer, *direct, "--size", "64", "--output", str(tmp_path / "direct.png"), str(tmp_path / "t.klein")],
            check=True, timeout=60, capture_output=True)
        assert (tmp_path / "t.png").read_bytes() == (tmp_path / "direct.png").read_bytes(), args
    assert sorted(os.listdir(tmp_path)) == ["direct.png", "t.klein", "t.png"]


@pytest.mark.parametrize("args, line", [
    (["--output", "u.png", "--turn", "qw=30"], "plexorama: bad turn 'qw=30'"),
    (["--output", "u.png", "--coords", "1,2,3,5", "--view", "first.view"],
     "plexorama: first.view: not a valid view file: the key 'q' is missing"),
    # Whatever the output, and whatever the option of the viewer's table.
    (["-o", "u.klein", "--zoom", "99"], "plexorama: bad zoom '99': from 0.125 to 8"),
    (["-o", "u.klein", "--basis", "1,0,0,0,0,0,1,0,0,0,0,0,1,0,0,0,0,0,1,1"],
     "plexorama: --basis: its rows are not orthonormal"),
    (["-o", "u.klein", "--frames", "-1"], "plexorama: bad frame count '-1'"),
    (["-o", "u.klein", "--opacity", "0.5", "--stereo", "anaglyph=100"], "plexorama: bad stereo 'anaglyph=100'"),
    (["-o", "u.klein", "--zom", "2"], "unknown option '--zom': did you mean --zoom?"),
    (["-o", "u.klein", "--tour-s", "2"], "unknown option '--tour-s': did you mean --tour-speed?"),
])
def test_what_the_viewer_refuses_is_refused_before_computing(tmp_path, capsys, monkeypatch, args, line):
    if not os.environ.get("PLEXORAMA"):
        pytest.skip("the viewer not given")
    monkeypatch.setattr(plexorama.plot, "make_surface", None)
    (tmp_path / "first.view").write_text("plexorama-view 3\nshow = 1 2 3 4\n")
    status, _, err = plot(tmp_path, capsys, "u, v, u, v, u", *args)
    assert status == 2 and err.startswith(f"plexorama-plot: {line}") and err.count("\n") == 1, err
    assert os.listdir(tmp_path) == ["first.view"]


def test_a_grid_too_large_for_the_memory_given_is_one_line(tmp_path):
    """Eight coordinates on a 1024 x 1024 grid write 400 MB in far less
    memory; with less than that, one line says so and no file is left."""
    limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (200_000_000,) * 2)
    done = subprocess.run([sys.executable, "-m", "plexorama.plot", "u, v, u*v, u+v, u-v, cos(u), sin(v), u*u",
                           "--u", "0:1:1024", "--v", "0:1:1024", "-o", str(tmp_path / "t.klein")],
                          capture_output=True, text=True, timeout=120, preexec_fn=limit,
                          env=dict(os.environ, OPENBLAS_NUM_THREADS="1"))
    assert (done.returncode, done.stdout, done.stderr) == (1, "", "plexorama-plot: out of memory\n")
    assert os.listdir(tmp_path) == []
