"""plexorama-convert IN OUT.klein [--fit]: Geomview OOGL surfaces (or a KLEIN
file) to a KLEIN file for the viewer, or to a one-file page (OUT.html)."""
import argparse
import sys

from .command import DEFAULT_MAX_SIZE, megabytes, parse_size, program_name, run_to_signal, summary, too_large
from .html import check_page_size, page_name, page_view, read_template, write_page
from .klein import MAGIC, MIN_DIM, open_regular, read_klein, write_whole
from .oogl import OoglError, read_oogl
from .surface import VIEW_RADIUS, fit_parts
from .triangles import klein_chunks, klein_size, whole

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
from disk with no server and no network, at the view of --view FILE if
given (a view file of any version, which the viewer checks)."""


def _error(prog, message, status=1):
    sys.stderr.write(f"{prog}: {message}\n")
    return status


def _combine(path, result):
    """The parts of one triangle list from the surfaces read, or a reason it
    cannot be."""
    if result.skipped and not result.surfaces:
        return None, f"{path}: holds only VECT/SKEL objects: nothing to draw"
    members = [s for s in result.surfaces if s.triangles.n]
    if not members:
        line = result.surfaces[0].line if result.surfaces else None
        return None, f"{path}:{line or 'end'}: expected a surface with at least one triangle, found none"
    first = members[0]
    m = first.triangles.m
    for s in members[1:]:
        if s.triangles.m != m:
            return None, (f"{path}:{s.line}: expected {m} coordinates per vertex like the surface "
                          f"on line {first.line}, found {s.triangles.m}")
    if m < MIN_DIM:
        return None, (f"{path}:{first.line}: expected vertices of at least 3 coordinates "
                      f"(OFF, 4OFF, nOFF with NDIM 3 or more, ...), found {m}")
    n = sum(s.triangles.n for s in members)
    if n * m >= 2**32:
        return None, f"{path}:{first.line}: expected fewer than 2^32 values, found {n * m}"
    return [s.triangles for s in members], None


def _read(prog, path, limit):
    """(parts, note) of the surface in path, or (None, status) once the
    reason it cannot be read is written."""
    try:
        with open_regular(path) as f:
            size = f.seek(0, 2)
            if size > limit:
                return None, _error(prog, f"{path}: {megabytes(size)} to read, past the limit of "
                                          f"{megabytes(limit)}: give --max-size to allow more")
            f.seek(0)
            klein = f.read(len(MAGIC)) == MAGIC
            f.seek(0)
            data = None if klein else f.read()
    except OSError as error:
        return None, _error(prog, f"{path}: cannot read: {error.strerror}")
    except ValueError:
        return None, _error(prog, f"{path}: cannot read: not a regular file")
    if klein:
        try:
            return ([whole(*read_klein(path))], ""), None
        except (OSError, ValueError) as error:
            return None, _error(prog, str(error))
    try:
        result = read_oogl(data)
    except OoglError as error:
        return None, _error(prog, f"{path}:{error}")
    parts, reason = _combine(path, result)
    if reason:
        return None, _error(prog, reason)
    if result.skipped:
        names = ", ".join(f"{key} (line {line})" for key, line in result.skipped)
        sys.stderr.write(f"{prog}: {path}: skipped what is not a surface: {names}\n")
    return (parts, " (3-D vertices, w = 0)" if any(s.lifted for s in result.surfaces) else ""), None


def _convert(prog, args, limit):
    read, status = _read(prog, args.input, limit)
    if read is None:
        return status
    parts, note = read
    n, m = sum(t.n for t in parts), parts[0].m
    if klein_size(n, m) > limit:
        return _error(prog, too_large(f"{args.input}: the surface", n, m, limit))
    if args.fit:
        fit_parts(parts)
    page = args.output.lower().endswith(".html")
    view = ""
    if page and args.view is not None:
        try:
            check_page_size(n, m)
        except ValueError as error:
            return _error(prog, f"{args.output}: {error}")
        try:
            view = page_view(parts, {"view": args.view}, prog, explain=False)
        except OSError as error:
            return _error(prog, f"--view {args.view}: cannot read: {error.strerror}", 2)
        except ValueError as error:
            return _error(prog, str(error), 2)
        except RuntimeError as error:
            return _error(prog, str(error))
    try:
        if page:
            check_page_size(n, m)
            write_page(args.output, read_template(), parts, page_name(args.output), view)
        else:
            write_whole(args.output, klein_chunks(parts))
    except FileNotFoundError as error:
        return _error(prog, f"{args.output}: cannot write: {error.strerror or error}")
    except OSError as error:
        return _error(prog, f"{args.output}: cannot write: {error.strerror}")
    except ValueError as error:
        return _error(prog, f"{args.output}: {error}")
    print(summary(args.output, parts, "convert with --fit", note))
    return 0


def main(argv=None):
    prog = program_name("plexorama-convert")
    parser = argparse.ArgumentParser(prog=prog, description=DESCRIPTION,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("input", metavar="IN", help="OOGL file (or a KLEIN file)")
    parser.add_argument("output", metavar="OUT.klein", help="KLEIN file to write, or OUT.html: a one-file page")
    parser.add_argument("--fit", action="store_true",
                        help=f"centre the surface and scale it into the ball of radius {VIEW_RADIUS} "
                             "that the view shows whole")
    parser.add_argument("--max-size", default=DEFAULT_MAX_SIZE, metavar="SIZE",
                        help="the largest file to read and surface to write, such as 500M or 8G "
                             f"(default {DEFAULT_MAX_SIZE})")
    parser.add_argument("--view", metavar="FILE",
                        help="the view a page opens at: a view file of any version (plexorama --save-view)")
    args = parser.parse_args(argv)
    try:
        limit = parse_size(args.max_size)
    except ValueError as error:
        parser.error(f"--max-size: {error}")
    if args.view is not None and not args.output.lower().endswith(".html"):
        parser.error("--view: a view is for a page (OUT.html), not a KLEIN file")

    def body():
        try:
            return _convert(prog, args, limit)
        except MemoryError:
            return _error(prog, "out of memory")
    return run_to_signal(body)


if __name__ == "__main__":
    sys.exit(main())
