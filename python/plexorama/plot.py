"""plexorama-plot: a surface from formulas on the command line, written as a
KLEIN file, drawn as a picture or shown in the viewer."""
import argparse
import os
import sys
import textwrap

import numpy as np

from .command import program_name, summary
from .formula import FUNCTIONS, FormulaError, evaluate, parse
from .klein import MAX_DIM, write_klein
from .normals import triangle_normals
from .surface import fit, grid_surface
from .triangles import whole
from .viewer import picture, show

# Options whose values are formulas or ranges, which may start with '-'.
FORMULA_OPTIONS = ("--complex", "--complex-pair", "--u", "--v", "--radius")
MAX_STEPS = 1024
DEFAULT_STEPS = 32
# An imaginary part this small beside the value is rounding, not a value.
REAL_TOLERANCE = 1e-9
FLOAT32_MAX = float(np.finfo(np.float32).max)

DESCRIPTION = f"""\
Makes a surface from formulas and writes it as a KLEIN file (-o), draws a
picture of it (--output) or shows it in the viewer (--show, also when
neither file is asked for).

  FORMULAS            the coordinates in u and v, separated by commas, three
                      (shown with w = 0) to {MAX_DIM}
  --complex F         the graph of a complex function F of z over a disc:
                      the points (Re z, Im z, Re F, Im F)
  --complex-pair Z,F  the points (Re Z, Im Z, Re F, Im F) for w over a disc;
                      'w**2, w' is the Riemann surface of the square root

A formula holds numbers (2, 0.5, 1e-3, and 2j, imaginary), the variables
(u and v; z or w), the constants pi, e and i, the operators + - * / and **
(or ^), brackets, and the functions
{textwrap.fill(", ".join(FUNCTIONS) + ".", 76, initial_indent="  ", subsequent_indent="  ")}
Values are complex where they must be (sqrt(-1) is i); a coordinate in u and
v must be real where it is sampled (take real(), imag() or abs() of it).
Formulas are read, never run as Python: anything else is an error naming
its column. A formula list that starts with '-' follows '--'.

Ranges are A:B or A:B:N, with A and B formulas in numbers and constants
and N the grid steps (2 to {MAX_STEPS}): N + 1 samples from A to B, or N
from A on when the direction wraps (its end is its start). A disc is
sampled in polar coordinates, --steps N steps along the radius and 2N round
the circle.

examples:
  plexorama-plot 'cos(u), sin(u), cos(v), sin(v)' --u 0:2*pi:64 --v 0:2*pi:64 --wrap u,v -o torus.klein
  plexorama-plot --complex 'z**2' --fit --output square.png
  plexorama-plot --complex-pair 'w**2, w' --fit --show"""


class UsageError(Exception):
    """A command line that cannot be followed: one line, exit status 2."""


class SurfaceError(Exception):
    """Formulas that give no surface: one line, exit status 1."""


def _parse(text, variables, where):
    try:
        return parse(text, variables)
    except FormulaError as error:
        raise UsageError(f"{where}: {error}") from None


def _constant(text, where):
    """The value of a formula in no variable, which must be one real number."""
    formulas = _parse(text, (), where)
    value = complex(evaluate(formulas[0][1], {}, ()))
    if len(formulas) > 1 or value.imag or not np.isfinite(value.real):
        raise UsageError(f"{where}: expected one finite real number, found {text.strip()!r}")
    return value.real


def _range(text, option, steps):
    """(start, stop, steps) from A:B or A:B:N."""
    parts = text.split(":")
    if len(parts) not in (2, 3):
        raise UsageError(f"{option} {text}: expected A:B or A:B:N")
    if len(parts) == 3:
        steps = _steps(parts[2], f"{option} {text}: N")
    return _constant(parts[0], f"{option} {text}: A"), _constant(parts[1], f"{option} {text}: B"), steps


def _steps(text, where):
    if not (text.isascii() and text.isdigit() and 2 <= int(text) <= MAX_STEPS):
        raise UsageError(f"{where}: expected grid steps from 2 to {MAX_STEPS}, found {text!r}")
    return int(text)


def _samples(start, stop, steps, closed):
    return np.linspace(start, stop, steps, endpoint=False) if closed else np.linspace(start, stop, steps + 1)


def _check(formulas, values, at, real):
    """Refuses values that are not finite, beyond what a KLEIN file holds, or
    complex where they must be real, naming the formula and the first
    parameters where it fails."""
    for (text, _), value in zip(formulas, values):
        finite = np.isfinite(value)
        with np.errstate(all="ignore"):
            size = np.abs(np.where(finite, value, 0))
            faults = [(~finite, "is not finite"),
                      (size > FLOAT32_MAX, f"is beyond float32's range ({FLOAT32_MAX:.3g})")]
            if real:
                faults.append((np.abs(np.imag(value)) > REAL_TOLERANCE * (1 + size), "is complex"))
        for bad, what in faults:
            if bad.any():
                k = np.unravel_index(np.argmax(bad), bad.shape)
                advice = ": take real(), imag() or abs() of it" if what == "is complex" else ""
                raise SurfaceError(f"{text!r} {what} at {at(k)}{advice}")


def _disc(radius, steps):
    """The radii and angles of the disc, from --radius R or R0:R1."""
    where = f"--radius {radius}"
    parts = ["0", *radius.split(":")][-2:] if radius.count(":") < 2 else None
    if parts is None:
        raise UsageError(f"{where}: expected R or R0:R1")
    inner, outer = _constant(parts[0], f"{where}: R0"), _constant(parts[1], f"{where}: R")
    if not 0 <= inner < outer:
        raise UsageError(f"{where}: expected 0 <= R0 < R")
    return _samples(inner, outer, steps, False), _samples(0, 2 * np.pi, 2 * steps, True)


def _complex_surface(args):
    """(f, r, angle, gluing, m) for grid_surface over the disc of z or w."""
    if args.formulas or args.u or args.v or args.wrap or args.twist:
        raise UsageError("FORMULAS, --u, --v, --wrap and --twist are for formulas in u and v, "
                         "not with --complex or --complex-pair")
    variable, option, count = ("z", "--complex", 1) if args.complex else ("w", "--complex-pair", 2)
    formulas = _parse(args.complex or args.complex_pair, (variable,), option)
    if len(formulas) != count:
        raise UsageError(f"{option}: expected {'one formula F' if count == 1 else 'two formulas Z, F'}, "
                         f"found {len(formulas)}")
    r, angle = _disc(args.radius, args.steps)

    def values(R, A):
        """The complex numbers whose parts are the coordinates."""
        point = R * np.exp(1j * A)
        found = [evaluate(g, {variable: point}, R.shape) for _, g in formulas]
        return [point, *found] if count == 1 else found

    def coordinates(R, A):
        return [part(value) for value in values(R, A) for part in (np.real, np.imag)]
    R, A = np.meshgrid(r, angle, indexing="ij")
    x, y = R * np.cos(A), R * np.sin(A)
    _check(formulas, values(R, A)[-count:], lambda k: f"{variable} = {x[k]:.4g}{y[k]:+.4g}i", real=False)
    return coordinates, r, angle, dict(wrap_v=True), 4


def _parametric_surface(args):
    """(f, u, v, gluing, m) for grid_surface from formulas in u and v."""
    if not args.formulas:
        raise UsageError("expected FORMULAS, --complex F or --complex-pair Z,F (see --help)")
    formulas = _parse(args.formulas, ("u", "v"), "FORMULAS")
    if not 3 <= len(formulas) <= MAX_DIM:
        raise UsageError(f"FORMULAS: expected 3 to {MAX_DIM} coordinates, found {len(formulas)}")
    wrap = set(args.wrap.split(",")) if args.wrap else set()
    if not wrap <= {"u", "v"}:
        raise UsageError(f"--wrap {args.wrap}: expected u, v or u,v")
    gluing = dict(wrap_u="u" in wrap, wrap_v="v" in wrap, twist_u=args.twist == "u", twist_v=args.twist == "v")
    u = _samples(*_range(args.u or "0:1", "--u", args.steps), gluing["wrap_u"] or gluing["twist_u"])
    v = _samples(*_range(args.v or "0:1", "--v", args.steps), gluing["wrap_v"] or gluing["twist_v"])

    def values(U, V):
        return [evaluate(g, {"u": U, "v": V}, U.shape) for _, g in formulas]

    def coordinates(U, V):
        return [np.real(value) for value in values(U, V)]
    U, V = np.meshgrid(u, v, indexing="ij")
    _check(formulas, values(U, V), lambda k: f"u = {U[k]:.4g}, v = {V[k]:.4g}", real=True)
    return coordinates, u, v, gluing, len(formulas)


def make_surface(args):
    """(coords, normals) of the surface the command line asks for."""
    f, u, v, gluing, m = (_complex_surface if args.complex or args.complex_pair else _parametric_surface)(args)
    # The tangents are taken just beside the samples, where a formula may
    # fail; such a normal is replaced by its triangle's.
    with np.errstate(all="ignore"):
        coords, normals = grid_surface(f, u, v, **gluing)
        bad = ~np.isfinite(normals).all(axis=1)
        if bad.any():
            normals[bad] = triangle_normals(coords)[bad]
    if m == 3:
        coords, normals = np.pad(coords, ((0, 0), (0, 1))), np.pad(normals, ((0, 0), (0, 1)))
    if args.fit:
        coords = fit(coords)
    return coords, normals


def _arguments(prog):
    parser = argparse.ArgumentParser(prog=prog, description=DESCRIPTION,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("formulas", nargs="?", metavar="FORMULAS", help="the coordinates in u and v")
    parser.add_argument("--complex", metavar="F", help="the graph of F(z) over a disc")
    parser.add_argument("--complex-pair", metavar="Z,F", help="the points (Z(w), F(w)) for w over a disc")
    parser.add_argument("--u", metavar="A:B[:N]", help="the range of u (default 0:1)")
    parser.add_argument("--v", metavar="A:B[:N]", help="the range of v (default 0:1)")
    parser.add_argument("--wrap", metavar="u,v", help="join the end of u (or v, or both) to its start")
    parser.add_argument("--twist", choices=("u", "v"),
                        help="join the end of u (or v) to its start with the other reversed, as a "
                             "Klein bottle or a Moebius band closes up")
    parser.add_argument("--radius", default="1", metavar="R|R0:R1",
                        help="the disc's radius, or an annulus between two (default 1)")
    parser.add_argument("--steps", default=str(DEFAULT_STEPS), metavar="N",
                        help=f"grid steps where a range or the disc gives none (default {DEFAULT_STEPS})")
    parser.add_argument("--fit", action="store_true", help="centre the surface and scale it into the view")
    parser.add_argument("-o", dest="klein", metavar="OUT.klein", help="write the surface as a KLEIN file")
    parser.add_argument("--output", metavar="FILE.png", help="draw a picture of the surface")
    parser.add_argument("--size", default=512, type=int, metavar="N", help="the picture's size (default 512)")
    parser.add_argument("--show", action="store_true", help="show the surface in the viewer")
    parser.add_argument("--view", metavar="FILE", help="the viewer's view file (plexorama --save-view)")
    parser.add_argument("--coords", metavar="A,B,C,D", help="the coordinates shown as x, y, z and w")
    return parser


def _write(path, what):
    try:
        what()
    except OSError as error:
        raise SurfaceError(f"{path}: cannot write: {error.strerror}") from None


def _joined(argv):
    """The command line with each formula or range joined to its option, so
    that one starting with '-' (--v -1:1, --complex -z) is not taken for an
    option."""
    out = []
    for arg in argv:
        if out and out[-1] in FORMULA_OPTIONS and "--" not in out:
            out[-1] += "=" + arg
        else:
            out.append(arg)
    return out


def main(argv=None):
    prog = program_name("plexorama-plot")
    args = _arguments(prog).parse_args(_joined(sys.argv[1:] if argv is None else argv))
    showing = args.show or not (args.klein or args.output)
    try:
        args.steps = _steps(args.steps, "--steps")
        if showing and not os.environ.get("DISPLAY"):
            raise SurfaceError("no display to show the surface on (DISPLAY is not set): "
                               "write it with -o OUT.klein or draw it with --output FILE.png")
        coords, normals = make_surface(args)
        view = dict(view=args.view, show=args.coords)
        if args.klein:
            _write(args.klein, lambda: write_klein(args.klein, coords, normals))
        print(summary(args.klein or args.output or "the surface", [whole(coords, normals)], "plot with --fit"),
              flush=True)
        if args.output:
            shot = picture(coords, normals, args.size, **view)
            _write(args.output, lambda: shot.save(args.output))
        if showing:
            show(coords, normals, **view)
    except UsageError as error:
        sys.stderr.write(f"{prog}: {error}\n")
        return 2
    except (SurfaceError, ValueError, RuntimeError) as error:
        sys.stderr.write(f"{prog}: {error}\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
