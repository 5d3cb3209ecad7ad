"""What plexorama-plot samples: surfaces and curves given by formulas, over
ranges and discs, checked before a value is written, and refused when
their files would pass the size allowed."""
import numpy as np

from .command import megabytes, too_large
from .formula import FormulaError, evaluate, parse
from .klein import MAX_DIM
from .shapes import lines
from .surface import VIEW_RADIUS, FIT_TOLERANCE, fit, fit_parts, grid_cells, grid_parts, sample_grid
from .triangles import klein_size

MAX_STEPS = 1024
DEFAULT_STEPS = 32
# An imaginary part this small beside the value is rounding, not a value.
REAL_TOLERANCE = 1e-9
FLOAT32_MAX = float(np.finfo(np.float32).max)


class UsageError(Exception):
    """A command line that cannot be followed: one line, exit status 2."""


class SurfaceError(Exception):
    """Formulas that give no surface, or outputs that fail: one line, exit
    status 1."""


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
    """(start, stop, steps) from A:B or A:B:N, A and B apart by a finite
    length."""
    parts = text.split(":")
    if len(parts) not in (2, 3):
        raise UsageError(f"{option} {text}: expected A:B or A:B:N")
    if len(parts) == 3:
        steps = parse_steps(parts[2], f"{option} {text}: N")
    start, stop = _constant(parts[0], f"{option} {text}: A"), _constant(parts[1], f"{option} {text}: B")
    if start == stop:
        raise UsageError(f"{option} {text}: expected A and B apart, found an empty range")
    if not np.isfinite(stop - start):
        raise UsageError(f"{option} {text}: expected a range of finite length")
    return start, stop, steps


def parse_steps(text, where):
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
    """(f, r, angle, gluing, m, check) for sample_grid over the disc of z or w."""
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

    def check(R, A):
        x, y = R * np.cos(A), R * np.sin(A)
        _check(formulas, values(R, A)[-count:], lambda k: f"{variable} = {x[k]:.4g}{y[k]:+.4g}i", real=False)
    return coordinates, r, angle, dict(wrap_v=True), 4, check


def _parametric_surface(args):
    """(f, u, v, gluing, m, check) for sample_grid from formulas in u and v."""
    if not args.formulas:
        raise UsageError("expected FORMULAS, --complex F or --complex-pair Z,F (see --help)")
    formulas = _parse(args.formulas, ("u", "v"), "FORMULAS")
    if not 3 <= len(formulas) <= MAX_DIM:
        raise UsageError(f"FORMULAS: expected 3 to {MAX_DIM} coordinates, found {len(formulas)}")
    wrap = set(args.wrap.split(",")) if args.wrap else set()
    if not wrap <= {"u", "v"}:
        raise UsageError(f"--wrap {args.wrap}: expected u, v or u,v")
    if args.twist in wrap:
        raise UsageError(f"--wrap {args.wrap} and --twist {args.twist}: expected one way to join the ends of "
                         f"{args.twist}")
    for joined in sorted(wrap | {args.twist} - {None}):
        if not getattr(args, joined):
            option = "--wrap" if joined in wrap else "--twist"
            raise UsageError(f"{option} {joined}: expected --{joined} A:B too, the range whose ends it joins")
    gluing = dict(wrap_u="u" in wrap, wrap_v="v" in wrap, twist_u=args.twist == "u", twist_v=args.twist == "v")
    u = _samples(*_range(args.u or "0:1", "--u", args.steps), gluing["wrap_u"] or gluing["twist_u"])
    v = _samples(*_range(args.v or "0:1", "--v", args.steps), gluing["wrap_v"] or gluing["twist_v"])

    def values(U, V):
        return [evaluate(g, {"u": U, "v": V}, U.shape) for _, g in formulas]

    def coordinates(U, V):
        return [np.real(value) for value in values(U, V)]

    def check(U, V):
        _check(formulas, values(U, V), lambda k: f"u = {U[k]:.4g}, v = {V[k]:.4g}", real=True)
    return coordinates, u, v, gluing, len(formulas), check


def plan_surface(args):
    """(f, u, v, gluing, m, check): what the command line asks to sample,
    checked but not yet computed."""
    if args.complex is not None and args.complex_pair is not None:
        raise UsageError("--complex and --complex-pair: expected one of them, found both")
    if args.t:
        raise UsageError(f"--t {args.t}: the range of t is for --curve")
    return (_complex_surface if args.complex or args.complex_pair else _parametric_surface)(args)


def make_surface(plan, fit, limit):
    """The parts (Triangles) of the surface planned, refused when its KLEIN
    file would pass limit bytes before anything is computed."""
    f, u, v, gluing, m, check = plan
    cells_u, cells_v = grid_cells(len(u), len(v), **gluing)
    n, dim = 6 * cells_u * cells_v, max(m, 4)
    if klein_size(n, dim) > limit or n * dim >= 2**32:
        raise UsageError(too_large("the surface", n, dim, limit))
    points, normals = sample_grid(f, u, v, check=check, **gluing)
    if m == 3:
        points, normals = (np.pad(a, ((0, 0), (0, 0), (0, 1))) for a in (points, normals))
    parts = [grid_parts(points, normals, **gluing)]
    if fit:
        fit_parts(parts)
    return parts


def plan_curve(args):
    """(values, t, closed, m, check) for make_curve from --curve F in t."""
    if args.formulas or args.complex or args.complex_pair or args.u or args.v or args.twist:
        raise UsageError("FORMULAS, --complex, --complex-pair, --u, --v and --twist are for surfaces, "
                         "not with --curve")
    formulas = _parse(args.curve, ("t",), "--curve")
    if not 3 <= len(formulas) <= MAX_DIM:
        raise UsageError(f"--curve: expected 3 to {MAX_DIM} coordinates, found {len(formulas)}")
    if args.wrap not in (None, "t"):
        raise UsageError(f"--wrap {args.wrap}: expected t, the curve's parameter")
    closed = args.wrap == "t"
    if closed and not args.t:
        raise UsageError("--wrap t: expected --t A:B too, the range whose ends it joins")
    t = _samples(*_range(args.t or "0:1", "--t", args.steps), closed)

    def values(T):
        return [evaluate(g, {"t": T}, T.shape) for _, g in formulas]

    def check(T):
        _check(formulas, values(T), lambda k: f"t = {T[k]:.4g}", real=True)
    return values, t, closed, len(formulas), check


# An nSKEL file's bytes for a value at most: a float as %.9g and its blank.
CURVE_VALUE_BYTES = 16


def make_curve(plan, fit_it, limit):
    """The curve planned as a Shape of one polyline, refused when its nSKEL
    file might pass limit bytes before anything is computed."""
    values, t, closed, m, check = plan
    dim = max(m, 4)
    size = len(t) * (dim + 1) * CURVE_VALUE_BYTES
    if size > limit:
        raise UsageError(f"the curve might take {megabytes(size)} ({len(t)} vertices of {dim} coordinates), past the "
                         f"limit of {megabytes(limit)}: give --max-size to allow more")
    check(t)
    points = np.stack([np.broadcast_to(np.real(value), t.shape) for value in values(t)], axis=1)
    points = np.pad(points, ((0, 0), (0, dim - m)))
    return lines(fit(points) if fit_it else points, closed=closed)


def summary_curve(path, shape, remedy):
    """One line: what path now holds (a curve), and whether it fits the view."""
    radius = np.sqrt(np.einsum("ij,ij->i", shape.vertices, shape.vertices)).max()
    verdict = "fits the view" if radius <= VIEW_RADIUS * (1 + FIT_TOLERANCE) else (
        f"does not fit the view (farthest vertex {radius:.3g} from the origin, beyond {VIEW_RADIUS}): {remedy}")
    closed = ", closed" if shape.sizes[0] > len(shape.vertices) else ""
    return f"{path}: a curve of {len(shape.vertices)} vertices{closed}, m = {shape.m}, {verdict}"
