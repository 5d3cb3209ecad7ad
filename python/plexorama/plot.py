"""plexorama-plot: a surface from formulas on the command line, written as a
KLEIN file, drawn as a picture or a clip, or shown in the viewer."""
import argparse
import os
import shutil
import sys
import textwrap

import numpy as np

from .command import DEFAULT_MAX_SIZE, parse_size, program_name, run_to_signal, summary
from .formula import FUNCTIONS
from .klein import MAX_DIM, open_regular, write_whole
from .sampling import (DEFAULT_STEPS, MAX_STEPS, SurfaceError, UsageError, make_curve, make_surface, parse_steps,
                       plan_curve, plan_surface, summary_curve)
from .shapes import write_skel
from .triangles import klein_chunks
from .options import NOT_VIEW_STATE, given, lecture_view
from .viewer import draw, print_view, show

# Options whose values are formulas, ranges or numbers that may start with '-'.
FORMULA_OPTIONS = ("--complex", "--complex-pair", "--curve", "--u", "--v", "--t", "--radius", "--slice")
PICTURE_SIZES = (16, 8192)
CLIPS = (".mp4", ".webm", ".gif")
# The viewer's options, passed on to it as given: name, value, help.
VIEWER_OPTIONS = [
    ("--swap", "x|y|z", "start the turn that I, O or P starts"),
    ("--turn", "PLANE=DEGREES,...", "turn the shown coordinates in four dimensions (xw=90 shows w as x)"),
    ("--basis", "F11,...,F4m", "show the surface through the frame of R^m with these rows (x, y, z, w)"),
    ("--tour", "grand[=SEED]|little", "tour through frames of R^m"),
    ("--tour-speed", "DEG", "the tour turns DEG degrees a second"),
    ("--zoom", "F", "magnify the picture F times, 0.125 to 8"),
    ("--light", "file|shape", "light with the normals written (the default) or with the shape as drawn"),
    ("--spin", "PLANE[=DEGREES_PER_SECOND]", "keep turning in PLANE; a clip is one full turn that loops"),
    ("--color", "fixed|w", "colour as ever, or by the hidden coordinate w"),
    ("--slice", "C[,DELTA]", "show only what lies near the hyperplane w = C"),
    ("--eye4", "D", "look from an eye on the w axis at distance D"),
    ("--wire", "on|off", "draw the wireframe or not"),
    ("--frames", "N", "draw N frames, then close; a picture or a clip ends after N"),
]

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
  --curve F           a curve: its coordinates in t, three to {MAX_DIM}, over
                      --t A:B[:N], closed with --wrap t; -o writes nSKEL

A formula holds numbers (2, 0.5, 1e-3, and 2j, imaginary), the variables
(u and v; z or w; t), the constants pi, e and i, the operators + - * / and **
(or ^), brackets, and the functions
{textwrap.fill(", ".join(FUNCTIONS) + ".", 76, initial_indent="  ", subsequent_indent="  ")}
Values are complex where they must be (sqrt(-1) is i); a coordinate in u and
v, or t, must be real where it is sampled (take real(), imag() or abs() of it).
Formulas are read, never run as Python: anything else is an error naming
its column. A formula list that starts with '-' follows '--'.

Ranges are A:B or A:B:N, with A and B formulas in numbers and constants
and N the grid steps (2 to {MAX_STEPS}): N + 1 samples from A to B, or N
from A on when the direction wraps (its end is its start). A disc is
sampled in polar coordinates, --steps N steps along the radius and 2N round
the circle. A surface whose KLEIN file would pass --max-size (2G unless
given) is refused before anything is computed.

The viewer's options --swap, --turn, --basis, --tour, --tour-speed,
--zoom, --light, --spin, --color, --slice, --eye4, --gizmo, --wire,
--frames, --view and --record go on to it as they are, checked by it before
anything is computed; --coords is its --show, since --show here opens its
window. A picture or a clip is lit by the shape, tilted a little and turned
a little toward w, and anti-aliased where the viewer can, unless the options
say otherwise or --view is given; --plain draws the viewer's first view.

examples:
  plexorama-plot 'cos(u), sin(u), cos(v), sin(v)' --u 0:2*pi:64 --v 0:2*pi:64 --wrap u,v -o torus.klein
  plexorama-plot --complex 'z**2' --fit --output square.png
  plexorama-plot --complex-pair 'w**2, w' --fit --show
  plexorama-plot --complex 'z**2' --fit --spin xw --record square.mp4
  plexorama-plot --curve 'cos(2*t), sin(2*t), cos(3*t), sin(3*t)' --t 0:2*pi:256 --wrap t -o trefoil.skel

Exit status: 0 when done; 1 when a formula gives no surface, a file cannot
be written or the viewer fails; 2 for a usage error, found before anything
is computed (an option the viewer refuses among them)."""


def _arguments(prog):
    parser = argparse.ArgumentParser(prog=prog, description=DESCRIPTION,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("formulas", nargs="?", metavar="FORMULAS", help="the coordinates in u and v")
    parser.add_argument("--complex", metavar="F", help="the graph of F(z) over a disc")
    parser.add_argument("--complex-pair", metavar="Z,F", help="the points (Z(w), F(w)) for w over a disc")
    parser.add_argument("--curve", metavar="F", help="a curve: its coordinates in t")
    parser.add_argument("--t", metavar="A:B[:N]", help="the range of t (default 0:1)")
    parser.add_argument("--u", metavar="A:B[:N]", help="the range of u (default 0:1)")
    parser.add_argument("--v", metavar="A:B[:N]", help="the range of v (default 0:1)")
    parser.add_argument("--wrap", metavar="u,v|t", help="join the end of u (or v, or both; or t) to its start")
    parser.add_argument("--twist", choices=("u", "v"),
                        help="join the end of u (or v) to its start with the other reversed, as a "
                             "Klein bottle or a Moebius band closes up")
    parser.add_argument("--radius", default="1", metavar="R|R0:R1",
                        help="the disc's radius, or an annulus between two (default 1)")
    parser.add_argument("--steps", default=str(DEFAULT_STEPS), metavar="N",
                        help=f"grid steps where a range or the disc gives none (default {DEFAULT_STEPS})")
    parser.add_argument("--fit", action="store_true", help="centre the surface and scale it into the view")
    parser.add_argument("--max-size", default=DEFAULT_MAX_SIZE, metavar="SIZE",
                        help=f"the largest surface to make, as a KLEIN file: 500M, 8G (default {DEFAULT_MAX_SIZE})")
    parser.add_argument("-o", dest="klein", metavar="OUT.klein",
                        help="write the surface as a KLEIN file (a curve as an nSKEL file)")
    parser.add_argument("--output", metavar="FILE.png", help="draw a picture of the surface")
    parser.add_argument("--record", metavar="OUT",
                        help="record a clip (OUT.mp4, .webm or .gif) or PNG files (OUT with %%d), as the viewer does")
    parser.add_argument("--size", default="512", metavar="N",
                        help="the picture's or the clip's size, 16 to 8192 (default 512)")
    parser.add_argument("--show", action="store_true", help="show the surface in the viewer")
    parser.add_argument("--view", metavar="FILE", help="the viewer's view file (plexorama --save-view)")
    parser.add_argument("--coords", metavar="A,B,C,D",
                        help="the coordinates shown as x, y, z and hidden as w (the viewer's --show)")
    for option, value, what in VIEWER_OPTIONS:
        parser.add_argument(option, metavar=value, help=what)
    parser.add_argument("--gizmo", action="store_true", help="show where the four axes point")
    parser.add_argument("--plain", action="store_true",
                        help="draw the picture or the clip in the viewer's first view, not the lecture's")
    return parser


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


def _check_command(args, m):
    """Refuses, before anything is computed, what the surface's outputs
    cannot be: the files, the picture's size, the coordinates shown (of m)."""
    names = (("-o", args.klein), ("--output", args.output), ("--record", args.record), ("--view", args.view))
    for option, name in names:
        if name == "":
            raise UsageError(f"{option}: expected a file name, found ''")
    if args.output and not args.output.endswith(".png"):
        raise UsageError(f"--output {args.output}: expected a name ending in .png, the picture being PNG")
    if args.record and "%" not in args.record:
        if not args.record.endswith(CLIPS):
            raise UsageError(f"--record {args.record}: expected a name ending in .mp4, .webm or .gif, "
                             "or one with %d for numbered PNG files")
        if not shutil.which("ffmpeg"):
            raise SurfaceError(f"--record {args.record}: a clip needs ffmpeg: install the Debian package ffmpeg")
    low, high = PICTURE_SIZES
    if not (args.size.isascii() and args.size.isdigit() and low <= int(args.size) <= high):
        raise UsageError(f"--size {args.size}: expected a picture size from {low} to {high}")
    if args.coords is not None:
        shown = args.coords.split(",")
        if len(shown) != 4 or not all(c.isascii() and c.isdigit() and 1 <= int(c) <= m for c in shown) \
                or len({int(c) for c in shown}) != 4:
            raise UsageError(f"--coords {args.coords}: expected four different coordinates A,B,C,D from 1 to {m}")
    if args.view:
        try:
            open_regular(args.view).close()
        except OSError as error:
            raise UsageError(f"--view {args.view}: cannot read: {error.strerror}") from None
        except ValueError:
            raise UsageError(f"--view {args.view}: cannot read: not a regular file") from None


def _write(path, what):
    try:
        what()
    except OSError as error:
        raise SurfaceError(f"{path}: cannot write: {error.strerror}") from None


def _viewer(run):
    """What the viewer run does; its refusal of an option is a usage error."""
    try:
        return run()
    except ValueError as error:
        raise UsageError(str(error)) from None
    except RuntimeError as error:
        raise SurfaceError(str(error)) from None


def _check_viewer(view, m):
    """Refuses, before anything is computed, the view options that the
    viewer refuses for a surface of m coordinates: it is asked for the view
    they give on a stand-in of one triangle."""
    state = {name: value for name, value in view.items() if name not in NOT_VIEW_STATE}
    if state:
        _viewer(lambda: print_view(np.eye(3, m), None, state, explain=False))


def _plot(args, prog):
    showing = args.show or not (args.klein or args.output or args.record)
    args.steps = parse_steps(args.steps, "--steps")
    try:
        limit = parse_size(args.max_size)
    except ValueError as error:
        raise UsageError(f"--max-size: {error}") from None
    curve = args.curve is not None
    plan = (plan_curve if curve else plan_surface)(args)
    m = max(plan[-2], 4)
    _check_command(args, m)
    if showing and not os.environ.get("DISPLAY"):
        raise SurfaceError("no display to show the surface on (DISPLAY is not set): "
                           "write it with -o OUT.klein or draw it with --output FILE.png")
    view = dict(view=args.view, show=args.coords, gizmo=args.gizmo,
                **{option[2:].replace("-", "_"): getattr(args, option[2:].replace("-", "_"))
                   for option, _, _ in VIEWER_OPTIONS})
    view = {name: value for name, value in view.items() if given(value)}
    if showing or args.output or args.record:
        _check_viewer(view, m)
    drawn = view if args.plain or not (args.output or args.record) else _viewer(lambda: lecture_view(view))
    parts = (make_curve if curve else make_surface)(plan, args.fit, limit)
    surface = parts
    if args.klein:
        _write(args.klein, lambda: write_skel(args.klein, parts) if curve else write_whole(args.klein,
                                                                                            klein_chunks(parts)))
        surface = args.klein
    for target in ({"output": args.output}, {"record": args.record}):
        if all(target.values()):
            for line in _viewer(lambda: draw(surface, None, args.size, target, drawn, explain=False)):
                sys.stderr.write(line + "\n")
    written = args.klein or args.output or args.record or f"the {'curve' if curve else 'surface'}"
    print((summary_curve if curve else summary)(written, parts, "plot with --fit"), flush=True)
    if showing:
        name = args.formulas or args.complex or args.complex_pair or args.curve
        _viewer(lambda: show(surface, name=name, **view))


def main(argv=None):
    prog = program_name("plexorama-plot")
    args = _arguments(prog).parse_args(_joined(sys.argv[1:] if argv is None else argv))

    def body():
        try:
            with np.errstate(all="ignore"):
                _plot(args, prog)
        except UsageError as error:
            sys.stderr.write(f"{prog}: {error}\n")
            return 2
        except (SurfaceError, ValueError, RuntimeError) as error:
            sys.stderr.write(f"{prog}: {error}\n")
            return 1
        except MemoryError:
            sys.stderr.write(f"{prog}: out of memory\n")
            return 1
        return 0
    return run_to_signal(body)


if __name__ == "__main__":
    sys.exit(main())
