"""The sample surfaces, written by the build for the viewer to show.

Usage: plexorama-make-samples DIR [--resolution N], or python3 -m plexorama.samples
Writes klein-bottle, clifford-torus, complex-square, veronese and torus-10d
(.klein) into DIR, each on a grid of N x N cells (2 to 4096, default 32),
centred and scaled into the view's ball."""
import os
import sys

import numpy as np

from .command import program_name
from .klein import write_klein
from .surface import fit, grid_surface

TAU = 2 * np.pi
# At 32 steps the Klein bottle draws a frame (filled and as lines, 512 x 512)
# in about 6.5 ms on llvmpipe on a quiet machine, within half of the 16.7 ms
# a frame has at 60 per second, with its grid lines well apart; 40 steps
# took 6.6 to 13 ms and 64 steps 19 to 23 ms.
DEFAULT_RESOLUTION = 32


def klein_bottle(u, v):
    """A tube about a circle whose cross-section turns half a revolution
    through the third and fourth axes per lap, so that it closes up inside
    out: (2 pi, v) is the point (0, -v), the twisted gluing of grid_surface."""
    a = 1 + 0.5 * np.cos(v)
    return (a * np.cos(u), a * np.sin(u), 0.5 * np.sin(v) * np.cos(u / 2),
            0.5 * np.sin(v) * np.sin(u / 2))


def clifford_torus(u, v):
    return np.cos(u), np.sin(u), np.cos(v), np.sin(v)


DISC = 1.2


def complex_square(u, v):
    """(z, z^2) for z = u e^(iv) over the disc |z| <= DISC."""
    x, y = u * np.cos(v), u * np.sin(v)
    return x, y, x * x - y * y, 2 * x * y


def veronese(u, v):
    """The sphere's image under (x, y, z) -> (sqrt2 xy, sqrt2 yz, sqrt2 zx,
    x^2, y^2, z^2), which meets x and -x, so the upper hemisphere (u the
    polar angle) covers it once. The first three coordinates show Steiner's
    Roman surface."""
    x, y, z = np.sin(u) * np.cos(v), np.sin(u) * np.sin(v), np.cos(u)
    r = np.sqrt(2)
    return r * x * y, r * y * z, r * z * x, x * x, y * y, z * z


# A flat torus through five Fourier modes, one cos/sin pair each, so that
# every digit key of the viewer has a coordinate to pick.
MODES = ((1, 0), (0, 1), (1, 1), (1, -1), (2, 1))


def torus_10d(u, v):
    out = []
    for a, b in MODES:
        out += [np.cos(a * u + b * v), np.sin(a * u + b * v)]
    return out


def _closed(n):
    return np.linspace(0, TAU, n, endpoint=False)


# file, f, u samples and v samples from the resolution n, how grid_surface
# glues the grid's ends.
SAMPLES = (
    ("klein-bottle", klein_bottle, _closed, _closed, dict(twist_u=True, wrap_v=True)),
    ("clifford-torus", clifford_torus, _closed, _closed, dict(wrap_u=True, wrap_v=True)),
    ("complex-square", complex_square, lambda n: np.linspace(0, DISC, n + 1), _closed, dict(wrap_v=True)),
    ("veronese", veronese, lambda n: np.linspace(0, np.pi / 2, n + 1), _closed, dict(wrap_v=True)),
    ("torus-10d", torus_10d, _closed, _closed, dict(wrap_u=True, wrap_v=True)),
)


def sample_surface(name, n=DEFAULT_RESOLUTION):
    """(coords, normals) of the named sample on n x n cells, fitted."""
    for file, f, us, vs, gluing in SAMPLES:
        if file == name:
            coords, normals = grid_surface(f, us(n), vs(n), **gluing)
            return fit(coords), normals
    raise KeyError(name)


USAGE = "usage: {} DIR [--resolution N]  (N: grid steps, 2 to 4096, default 32)\n"
HELP = """
Writes the sample surfaces klein-bottle, clifford-torus, complex-square,
veronese and torus-10d (.klein) into DIR, each on a grid of N x N cells,
centred and scaled into the view's ball.
"""


def main(argv=None):
    args = sys.argv[1:] if argv is None else argv
    prog = program_name("plexorama-make-samples")
    if args and args[0] in ("-h", "--help"):
        sys.stdout.write(USAGE.format(prog) + HELP)
        return 0
    folder, n = None, DEFAULT_RESOLUTION
    k = 0
    while k < len(args):
        arg = args[k]
        if arg == "--resolution" and k + 1 < len(args):
            k += 1
            value = args[k]
            if not (value.isascii() and value.isdigit() and 2 <= int(value) <= 4096):
                sys.stderr.write(USAGE.format(prog))
                return 2
            n = int(value)
        elif folder is None and arg and not arg.startswith("-"):
            folder = arg
        else:
            sys.stderr.write(USAGE.format(prog))
            return 2
        k += 1
    if folder is None:
        sys.stderr.write(USAGE.format(prog))
        return 2
    try:
        os.makedirs(folder, exist_ok=True)
        for file, *_ in SAMPLES:
            write_klein(os.path.join(folder, file + ".klein"), *sample_surface(file, n))
    except OSError as error:
        sys.stderr.write(f"{prog}: {error.filename or folder}: {error.strerror}\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
