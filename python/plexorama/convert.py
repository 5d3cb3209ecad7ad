"""plexorama-convert IN OUT.klein [--fit]: Geomview OOGL surfaces (or a KLEIN
file) to a KLEIN file for the viewer, or to a one-file page (OUT.html)."""
import argparse
import sys

import numpy as np

from .html import write_html
from .klein import MAGIC, MIN_DIM, open_regular, read_klein, write_klein
from .oogl import OoglError, read_oogl
from .surface import VIEW_RADIUS, fit, fits

PROG = "plexorama-convert"

DESCRIPTION = """\
Converts the surfaces of a Geomview OOGL file (ASCII) into one KLEIN file.
Read: OFF, 4OFF, nOFF, 4nOFF; MESH, 4MESH, nMESH, 4nMESH with the u and v
wrap prefixes; the C, N, ST, U and Z prefixes; LIST, { } and appearance
blocks; comments. 4OFF and 4MESH vertices are read as four Euclidean
coordinates, as N-D viewers read them (not as homogeneous 3-D points); in
the 4n forms the last of the NDIM + 1 values divides the others. Colours
and normals in the file are dropped: the viewer's normals are computed.
VECT and SKEL members (points and lines) are skipped with a warning.
Polygons are split into triangles as fans from their first vertex.
A KLEIN file as IN is copied, fitted with --fit. OUT ending in .html is a
one-file page: the viewer with the surface inside, which opens in a browser
from disk with no server and no network."""


def _error(message):
    sys.stderr.write(f"{PROG}: {message}\n")
    return 1


def _combine(path, result):
    """One triangle list from the surfaces read, or a reason it cannot be."""
    members = [s for s in result.surfaces if len(s.coords)]
    if not members:
        line = result.surfaces[0].line if result.surfaces else None
        return None, None, f"{path}:{line or 'end'}: expected a surface with at least one triangle, found none"
    first = members[0]
    m = first.coords.shape[1]
    for s in members[1:]:
        if s.coords.shape[1] != m:
            return None, None, (f"{path}:{s.line}: expected {m} coordinates per vertex like the surface "
                                f"on line {first.line}, found {s.coords.shape[1]}")
    if m < MIN_DIM:
        return None, None, (f"{path}:{first.line}: expected vertices of at least {MIN_DIM} coordinates "
                            f"(4OFF, nOFF with NDIM 4 or more, ...), found {m}")
    coords = np.concatenate([s.coords for s in members])
    normals = np.concatenate([s.normals for s in members])
    if coords.size >= 2**32:
        return None, None, f"{path}:{first.line}: expected fewer than 2^32 values, found {coords.size}"
    return coords, normals, None


def main(argv=None):
    parser = argparse.ArgumentParser(prog=PROG, description=DESCRIPTION,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("input", metavar="IN", help="OOGL file (or a KLEIN file)")
    parser.add_argument("output", metavar="OUT.klein", help="KLEIN file to write, or OUT.html: a one-file page")
    parser.add_argument("--fit", action="store_true",
                        help=f"centre the surface and scale it into the ball of radius {VIEW_RADIUS} "
                             "that the view shows whole")
    args = parser.parse_args(argv)
    path = args.input
    try:
        with open_regular(path) as f:
            data = f.read()
    except OSError as error:
        return _error(f"{path}: cannot read: {error.strerror}")
    except ValueError:
        return _error(f"{path}: cannot read: not a regular file")

    if data.startswith(MAGIC):
        try:
            coords, normals = read_klein(path)
        except (OSError, ValueError) as error:
            return _error(str(error))
    else:
        try:
            result = read_oogl(data.decode("latin-1"))
        except OoglError as error:
            return _error(f"{path}:{error}")
        except MemoryError:
            return _error(f"{path}: out of memory")
        coords, normals, reason = _combine(path, result)
        if reason:
            return _error(reason)
        if result.skipped:
            names = ", ".join(f"{key} (line {line})" for key, line in result.skipped)
            sys.stderr.write(f"{PROG}: {path}: skipped what is not a surface: {names}\n")

    if args.fit:
        coords = fit(coords)
    try:
        if args.output.lower().endswith(".html"):
            write_html(args.output, coords, normals)
        else:
            write_klein(args.output, coords, normals)
    except FileNotFoundError as error:
        return _error(f"{args.output}: cannot write: {error.strerror or error}")
    except OSError as error:
        return _error(f"{args.output}: cannot write: {error.strerror}")
    except ValueError as error:
        return _error(f"{args.output}: {error}")
    n, m = coords.shape
    if fits(coords):
        verdict = "fits the view"
    else:
        radius = float(np.sqrt((np.asarray(coords, dtype=np.float64) ** 2).sum(axis=1)).max())
        verdict = (f"does not fit the view (farthest vertex {radius:.3g} from the origin, "
                   f"beyond {VIEW_RADIUS}): convert with --fit")
    print(f"{args.output}: {n} vertices, {n // 3} triangles, m = {m}, {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
