"""The sample surfaces and shapes, written by the build for the viewer to show.

Usage: plexorama-make-samples DIR [--resolution N] [--fibres K] [--points K],
or python3 -m plexorama.samples. Writes into DIR the surfaces klein-bottle,
clifford-torus, complex-square, veronese and torus-10d (.klein), each on a
grid of N x N cells (2 to 4096, default 32), centred and scaled into the
view's ball; the two linked-tori-a and -b (.klein), fitted together; the six
regular 4-polytopes (.off); hopf.skel, K fibres (default 60) of 2N vertices;
torus-knot.skel; and cloud-10d.skel, K points (default 100000) near a flat
torus in R^10."""
import os
import sys

import numpy as np

from .command import program_name
from .curves import hopf, hues, torus_knot
from .klein import write_klein
from .polytopes import POLYTOPES, polytope
from .shapes import points, write_off, write_skel
from .surface import VIEW_RADIUS, fit, grid_surface

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


# Two tubes round the circles of a Hopf link, each tube turning through its
# circle's radial direction and a mix of the two axes the circle leaves, so
# that both are tori of R^4 and not of a 3-D space alone.
LINK_SHIFT, LINK_TUBE, LINK_TILT = 0.5, 0.3, np.pi / 4


def linked_tori(u, v, second):
    """Torus a about a unit circle in the xy-plane round (-0.5, 0, 0, 0); torus
    b about one in the xz-plane round (0.5, 0, 0, 0), through the first."""
    ring = 1 + LINK_TUBE * np.cos(v)
    across = LINK_TUBE * np.sin(v)
    off_x = (LINK_SHIFT if second else -LINK_SHIFT) + ring * np.cos(u)
    in_plane, off_plane = ring * np.sin(u), across * np.cos(LINK_TILT)
    w = across * np.sin(LINK_TILT)
    return (off_x, off_plane, in_plane, w) if second else (off_x, in_plane, off_plane, w)


DEFAULT_FIBRES = 60
DEFAULT_POINTS = 100_000
CLOUD_NOISE = 0.05
CLOUD_SEED = 10


def cloud_10d(count):
    """count points of the flat torus of torus_10d at random, moved by noise,
    fitted, coloured by their first angle."""
    rng = np.random.default_rng(CLOUD_SEED)
    u, v = rng.uniform(0, TAU, (2, count))
    coords = np.stack(torus_10d(u, v), axis=1)
    coords += rng.normal(0, CLOUD_NOISE * np.sqrt(len(MODES)), coords.shape)
    return points(fit(coords), colors=hues(u / TAU))


def write_shapes(folder, n, fibres=DEFAULT_FIBRES, count=DEFAULT_POINTS):
    """Writes the samples that are not one surface into folder, curves of
    2n vertices and surfaces of n x n cells."""
    u = v = _closed(n)
    tori = [grid_surface(lambda U, V, k=k: linked_tori(U, V, k), u, v, wrap_u=True, wrap_v=True) for k in (0, 1)]
    fitted = fit(np.concatenate([coords for coords, _ in tori]))
    for (coords, normals), name, part in zip(tori, "ab", np.split(fitted, 2)):
        write_klein(os.path.join(folder, f"linked-tori-{name}.klein"), part, normals)
    for name in POLYTOPES:
        write_off(os.path.join(folder, name + ".off"), polytope(name))
    write_skel(os.path.join(folder, "hopf.skel"), hopf(fibres, samples=2 * n))
    # On the clifford-torus sample, which is fitted to the view's radius.
    write_skel(os.path.join(folder, "torus-knot.skel"), torus_knot(2, 3, samples=16 * n, radius=VIEW_RADIUS))
    write_skel(os.path.join(folder, "cloud-10d.skel"), cloud_10d(count))


def sample_surface(name, n=DEFAULT_RESOLUTION):
    """(coords, normals) of the named sample on n x n cells, fitted."""
    for file, f, us, vs, gluing in SAMPLES:
        if file == name:
            coords, normals = grid_surface(f, us(n), vs(n), **gluing)
            return fit(coords), normals
    raise KeyError(name)


USAGE = ("usage: {} DIR [--resolution N] [--fibres K] [--points K]  (N: grid steps, 2 to 4096, default 32; "
         "K: 1 to 10000000)\n")
HELP = f"""
Writes the sample surfaces klein-bottle, clifford-torus, complex-square,
veronese and torus-10d (.klein) into DIR, each on a grid of N x N cells,
centred and scaled into the view's ball, and linked-tori-a and -b (.klein),
two linked tori of R^4 fitted together. Writes the regular 4-polytopes
{", ".join(POLYTOPES)} (.off); hopf.skel, --fibres fibres of the Hopf map
(default {DEFAULT_FIBRES}), great circles of 2N vertices; torus-knot.skel, a
trefoil on the Clifford torus; and cloud-10d.skel, --points points (default
{DEFAULT_POINTS}) near a flat torus in R^10.
"""
# The options that take a whole number: name, least, most, default.
COUNTS = {"--resolution": (2, 4096, DEFAULT_RESOLUTION), "--fibres": (1, 10**7, DEFAULT_FIBRES),
          "--points": (1, 10**7, DEFAULT_POINTS)}


def main(argv=None):
    args = sys.argv[1:] if argv is None else argv
    prog = program_name("plexorama-make-samples")
    if args and args[0] in ("-h", "--help"):
        sys.stdout.write(USAGE.format(prog) + HELP)
        return 0
    folder, counts = None, {option: default for option, (_, _, default) in COUNTS.items()}
    k = 0
    while k < len(args):
        arg = args[k]
        if arg in COUNTS and k + 1 < len(args):
            k += 1
            value, (low, high, _) = args[k], COUNTS[arg]
            if not (value.isascii() and value.isdigit() and low <= int(value) <= high):
                sys.stderr.write(USAGE.format(prog))
                return 2
            counts[arg] = int(value)
        elif folder is None and arg and not arg.startswith("-"):
            folder = arg
        else:
            sys.stderr.write(USAGE.format(prog))
            return 2
        k += 1
    if folder is None:
        sys.stderr.write(USAGE.format(prog))
        return 2
    n = counts["--resolution"]
    try:
        os.makedirs(folder, exist_ok=True)
        for file, *_ in SAMPLES:
            write_klein(os.path.join(folder, file + ".klein"), *sample_surface(file, n))
        write_shapes(folder, n, counts["--fibres"], counts["--points"])
    except OSError as error:
        sys.stderr.write(f"{prog}: {error.filename or folder}: {error.strerror}\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
