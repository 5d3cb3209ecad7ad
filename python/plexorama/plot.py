"""plexorama-plot: a surface from formulas on the command line, written as a
KLEIN file, drawn as a picture or a clip, or shown in the viewer."""
import argparse
import os
import shutil
import subprocess
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
from .options import (NOT_PASSED, NOT_VIEW_STATE, ViewerMissing, find_viewer, given, lecture_view, split_options,
                      view_options, viewer_table)
from .viewer import draw, print_view, show

# Options whose values are formulas, ranges or numbers that may start with '-'.
FORMULA_OPTIONS = ("--complex", "--complex-pair", "--curve", "--u", "--v", "--t", "--radius", "--slice")
PICTURE_SIZES = (16, 8192)
CLIPS = (".mp4", ".webm", ".gif")
# plexorama-plot's own options: their names and argparse's keywords.
# Every other option is the viewer's, passed on to it.
OPTIONS = [
    (("--complex",), dict(metavar="F", help="the graph of F(z) over a disc")),
    (("--complex-pair",), dict(metavar="Z,F", help="the points (Z(w), F(w)) for w over a disc")),
    (("--curve",), dict(metavar="F", help="a curve: its coordinates in t")),
    (("--t",), dict(metavar="A:B[:N]", help="the range of t (default 0:1)")),
    (("--u",), dict(metavar="A:B[:N]", help="the range of u (default 0:1)")),
    (("--v",), dict(metavar="A:B[:N]", help="the range of v (default 0:1)")),
    (("--wrap",), dict(metavar="u,v|t", help="join the end of u (or v, or both; or t) to its start")),
    (("--twist",), dict(choices=("u", "v"), help="join the end of u (or v) to its start with the other "
                                               "reversed, as a Klein bottle or a Moebius band closes up")),
    (("--radius",), dict(default="1", metavar="R|R0:R1", help="the disc's radius, or an annulus between two "
                                                             "(default 1)")),
    (("--steps",), dict(default=str(DEFAULT_STEPS), metavar="N",
                        help=f"grid steps where a range or the disc gives none (default {DEFAULT_STEPS})")),
    (("--fit",), dict(action="store_true", help="centre the surface and scale it into the view")),
    (("--max-size",), dict(default=DEFAULT_MAX_SIZE, metavar="SIZE", help="the largest surface to make, as a "
                           f"KLEIN file: 500M, 8G (default {DEFAULT_MAX_SIZE})")),
    (("-o",), dict(dest="klein", metavar="OUT.klein", help="write the surface as a KLEIN file (a curve as an "
                                                           "nSKEL file)")),
    (("--output",), dict(metavar="FILE.png", help="draw a picture of the surface")),
    (("--record",), dict(metavar="OUT", help="record a clip (OUT.mp4, .webm or .gif) or PNG files (OUT with "
                                             "%%d), as the viewer does")),
    (("--size",), dict(default="512", metavar="N", help="the picture's or the clip's size, 16 to 8192 "
                                                       "(default 512)")),
    (("--show",), dict(action="store_true", help="show the surface in the viewer")),
    (("--view",), dict(metavar="FILE", help="the viewer's view file (plexorama --save-view)")),
    (("--coords",), dict(metavar="A,B,C,D", help="the coordinates shown as x, y, z and hidden as w (the "
                                                "viewer's --show)")),
    (("--plain",), dict(action="store_true", help="draw the picture or the clip in the viewer's first view, "
                                                 "not the lecture's")),
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

Every other option of the viewer (plexorama --help, whose table is listed
below when the viewer is installed) goes on to it as it is, checked by it
before anything is computed or written, whatever the output; --coords is
its --show, since --show here opens its window. A picture or a clip is lit
by the shape, tilted a little and turned
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


def _arguments(prog, table=None):
    """The parser of plexorama-plot's own options; with the viewer's table,
    the viewer's options passed on are listed in its help too."""
    parser = argparse.ArgumentParser(prog=prog, description=DESCRIPTION, allow_abbrev=False,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("formulas", nargs="?", metavar="FORMULAS", help="the coordinates in u and v")
    for names, keywords in OPTIONS:
        parser.add_argument(*names, **keywords)
    if table:
        passed = parser.add_argument_group("the viewer's options, passed on to it")
        for name, (value, text) in table.items():
            if f"--{name}" not in _own_options() and name not in NOT_PASSED:
                passed.add_argument(f"--{name}", help=text.replace("%", "%%"),
                                    **(dict(metavar=value) if value else dict(action="store_true")))
    return parser


def _own_options():
    """plexorama-plot's options, and whether each takes a value."""
    own = {name: keywords.get("action") != "store_true" for names, keywords in OPTIONS for name in names}
    return {**own, "-h": False, "--help": False}


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
    """Refuses, before anything is computed or written, the viewer's options
    that it refuses for a surface of m coordinates: it is asked for the view
    they give on a stand-in of one triangle. The others, which --print-view
    does not take, it reads before the --help that ends its reading."""
    state = {name: value for name, value in view.items() if name not in NOT_VIEW_STATE}
    if state:
        _viewer(lambda: print_view(np.eye(3, m), None, state, explain=False))
    others = view_options({name: value for name, value in view.items() if name in NOT_VIEW_STATE})
    if others:
        done = subprocess.run([find_viewer(), *others, "--help"], capture_output=True, text=True, timeout=30)
        if done.returncode:
            raise UsageError((done.stderr.strip().splitlines() or [f"plexorama exited with status "
                                                                   f"{done.returncode}"])[0])


def _plot(args, passed):
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
    view = dict(view=args.view, show=args.coords, **passed)
    view = {name: value for name, value in view.items() if given(value)}
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


def _viewer_table():
    """The viewer's table of options; empty without a viewer."""
    try:
        return viewer_table(find_viewer())
    except ViewerMissing:
        return {}


def main(argv=None):
    prog = program_name("plexorama-plot")
    argv = _joined(sys.argv[1:] if argv is None else argv)
    wanted = argv[:argv.index("--")] if "--" in argv else argv
    parser = _arguments(prog, _viewer_table() if {"-h", "--help"} & set(wanted) else None)
    try:
        argv, passed = split_options(argv, _own_options(), _viewer_table)
    except ValueError as error:
        sys.stderr.write(f"{prog}: {error}\n")
        return 2
    args = parser.parse_args(argv)

    def body():
        try:
            with np.errstate(all="ignore"):
                _plot(args, passed)
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
