"""plexorama-convert IN OUT.klein [--fit]: Geomview OOGL surfaces (or a KLEIN
file) to a KLEIN file for the viewer, or to a one-file page (OUT.html)."""
import argparse
import sys

import numpy as np

from .command import program_name, summary
from .html import write_html
from .klein import MAGIC, MIN_DIM, open_regular, read_klein, write_klein
from .oogl import OoglError, read_oogl
from .surface import VIEW_RADIUS, fit

DESCRIPTION = """\
Converts the surfaces of a Geomview OOGL file (ASCII) into one KLEIN file.
Read: OFF, 4OFF, nOFF, 4nOFF; MESH, 4MESH, nMESH, 4nMESH with the u and v
wrap prefixes; the C, N, ST, U and Z prefixes; LIST, { } and appearance
blocks; comments. 4OFF and 4MESH vertices are read as four Euclidean
coordinates, as N-D viewers read them (not as homogeneous 3-D points); in
the 4n forms the last of the NDIM + 1 values divides the others. Colours
and normals in the file are dropped: the viewer's normals are computed.
Plain OFF and MESH surfaces, with 3 coordinates, are read as 4-D with w = 0.
VECT and SKEL members (points and lines) are skipped with a warning.
Polygons are split into triangles as fans from their first vertex.
A KLEIN file as IN is copied, fitted with --fit. OUT ending in .html is a
one-file page: the viewer with the surface inside, which opens in a browser
from disk with no server and no network."""


def _error(prog, message):
    sys.stderr.write(f"{prog}: {message}\n")
    return 1


def _combine(path, result):
    """One triangle list from the surfaces read, or a reason it cannot be."""
    if result.skipped and not result.surfaces:
        return None, None, f"{path}: holds only VECT/SKEL objects: nothing to draw"
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
        return None, None, (f"{path}:{first.line}: expected vertices of at least 3 coordinates "
                            f"(OFF, 4OFF, nOFF with NDIM 3 or more, ...), found {m}")
    coords = np.concatenate([s.coords for s in members])
    normals = np.concatenate([s.normals for s in members])
    if coords.size >= 2**32:
        return None, None, f"{path}:{first.line}: expected fewer than 2^32 values, found {coords.size}"
    return coords, normals, None


def main(argv=None):
    prog = program_name("plexorama-convert")
    parser = argparse.ArgumentParser(prog=prog, description=DESCRIPTION,
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
        return _error(prog, f"{path}: cannot read: {error.strerror}")
    except ValueError:
        return _error(prog, f"{path}: cannot read: not a regular file")

    note = ""
    if data.startswith(MAGIC):
        try:
            coords, normals = read_klein(path)
        except (OSError, ValueError) as error:
            return _error(prog, str(error))
    else:
        try:
            result = read_oogl(data.decode("latin-1"))
        except OoglError as error:
            return _error(prog, f"{path}:{error}")
        except MemoryError:
            return _error(prog, f"{path}: out of memory")
        coords, normals, reason = _combine(path, result)
        if reason:
            return _error(prog, reason)
        if any(s.lifted for s in result.surfaces):
            note = " (3-D vertices, w = 0)"
        if result.skipped:
            names = ", ".join(f"{key} (line {line})" for key, line in result.skipped)
            sys.stderr.write(f"{prog}: {path}: skipped what is not a surface: {names}\n")

    if args.fit:
        coords = fit(coords)
    try:
        if args.output.lower().endswith(".html"):
            write_html(args.output, coords, normals)
        else:
            write_klein(args.output, coords, normals)
    except FileNotFoundError as error:
        return _error(prog, f"{args.output}: cannot write: {error.strerror or error}")
    except OSError as error:
        return _error(prog, f"{args.output}: cannot write: {error.strerror}")
    except ValueError as error:
        return _error(prog, f"{args.output}: {error}")
    print(summary(args.output, coords, "convert with --fit", note))
    return 0


if __name__ == "__main__":
    sys.exit(main())
