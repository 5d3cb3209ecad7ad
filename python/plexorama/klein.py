"""KLEIN files: the viewer's surface format.

Layout, little-endian, no padding:

    offset      bytes   field
    0           5       b"KLEIN"
    5           1       ignored (written as 0)
    6           1       m, coordinates per vertex (unsigned 8 bits)
    7           8       n, vertex count (unsigned 64 bits; the viewer uses the low 32)
    15          4 m n   coordinates, float32, vertex by vertex (m per vertex)
    15 + 4 m n  4 m n   normal components, float32, in the same order

Vertices 0, 1, 2 form the first triangle, 3, 4, 5 the second, and so on.
"""
import errno
import os
import stat
import sys
import tempfile

import numpy as np

from .triangles import HEADER_SIZE, chunk_step, klein_chunks, whole

MAGIC = b"KLEIN"
MIN_DIM = 4
MAX_DIM = 255


def _check_array(name, array):
    if array.ndim != 2:
        raise ValueError(f"{name}: expected an array of shape (n, m), got shape {array.shape}")
    n, m = array.shape
    if n % 3:
        raise ValueError(f"{name}: {n} vertices is not a whole number of triangles")
    if not MIN_DIM <= m <= MAX_DIM:
        hint = f": add w as a column (np.pad({name}, ((0, 0), (0, 1))) gives w = 0)" if m < MIN_DIM else ""
        raise ValueError(f"{name}: {m} coordinates per vertex; expected {MIN_DIM} to {MAX_DIM}{hint}")
    bad = ~np.isfinite(array).all(axis=1)
    if bad.any():
        row = int(np.argmax(bad))
        raise ValueError(f"{name}: row {row} is not finite: {array[row].tolist()}")


def write_klein(path, coords, normals=None):
    """Writes coords (shape (n, m)) and normals (the same shape) as a KLEIN
    file. n must be a multiple of 3 and m from 4 to 255; every value must be
    finite (float32 after conversion). normals=None gives each triangle the
    normal of triangle_normals(). On disk: b"KLEIN", a 0 byte, m (1 byte),
    n (8 bytes), then the n x m coordinates and the n x m normal components
    as float32, vertex by vertex, all little-endian. The file is written
    aside and renamed into place, so path never holds a partly written
    surface (see write_whole)."""
    write_whole(path, klein_chunks([checked_surface(coords, normals)]))


def checked_surface(coords, normals=None):
    """The surface as Triangles to write a chunk at a time, once checked as
    write_klein checks it; raises ValueError as write_klein does."""
    coords = np.asarray(coords, dtype=np.float64)
    _check_array("coords", coords)
    step = chunk_step(coords.shape[1])
    for a in range(0, len(coords), step):
        with np.errstate(over="ignore"):
            stored = coords[a:a + step].astype("<f4")
        bad = ~np.isfinite(stored).all(axis=1)
        if bad.any():
            row = int(np.argmax(bad))
            raise ValueError(f"coords as float32: row {a + row} is not finite: {stored[row].tolist()}")
    if normals is not None:
        normals = np.asarray(normals, dtype=np.float64)
        if normals.shape != coords.shape:
            raise ValueError(f"normals: shape {normals.shape} differs from the coordinates' {coords.shape}")
        _check_array("normals", normals)
    n, m = coords.shape
    if m * n >= 2**32:
        raise ValueError(f"coords: {m} x {n} values; a KLEIN file holds fewer than 2^32")
    return whole(coords, normals)


def write_whole(path, parts):
    """Writes the byte strings of the iterable parts to path. A new file or a
    regular one is written aside and renamed into place, so that path never
    holds a partly written file; it keeps a replaced file's permissions. A
    symbolic link is followed: the file it names is written so. A named
    pipe, a device or another special file is written directly, as cp
    does; a folder is refused (IsADirectoryError)."""
    path = os.fspath(path)
    target = os.path.realpath(path) if os.path.islink(path) else path
    try:
        mode = os.stat(target).st_mode
    except FileNotFoundError:
        mode = None
    if mode is not None and stat.S_ISDIR(mode):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
    if mode is not None and not stat.S_ISREG(mode):
        with open(target, "wb") as f:
            for data in parts:
                f.write(data)
        return
    folder = os.path.dirname(os.path.abspath(target))
    handle, part = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(target) + ".",
                                    suffix=".part")
    try:
        with os.fdopen(handle, "wb") as f:
            for data in parts:
                f.write(data)
        if mode is None:
            # mkstemp makes the file private; what is written is as readable as any file.
            umask = os.umask(0)
            os.umask(umask)
            mode = 0o666 & ~umask
        os.chmod(part, stat.S_IMODE(mode))
        os.replace(part, target)
    except BaseException:
        if os.path.exists(part):
            os.unlink(part)
        raise


def open_regular(path):
    """Opens a regular file for reading; raises ValueError for anything else.
    Opening a named pipe the usual way would wait for a writer forever."""
    handle = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    if not stat.S_ISREG(os.fstat(handle).st_mode):
        os.close(handle)
        raise ValueError(f"{path}: not a regular file")
    return os.fdopen(handle, "rb")


def read_klein(path, check=True):
    """Reads a KLEIN file as the viewer does and returns (coords, normals),
    float32 arrays of shape (n, m), n the low 32 bits of the stored count.
    Raises ValueError for a file that is not KLEIN or not a regular file, ends early, holds 2^32
    values or more, or has fewer than 4 coordinates per vertex; bytes after
    the normals are ignored. With check, as write_klein it also refuses n
    not a multiple of 3 and values that are not finite, naming the first bad
    row; check=False returns what the file holds, for a look at a damaged one."""
    with open_regular(path) as f:
        header = f.read(HEADER_SIZE)
        if header[:5] != MAGIC:
            raise ValueError(f"{path}: not a KLEIN file")
        if len(header) < HEADER_SIZE:
            raise ValueError(f"{path}: truncated: the header needs {HEADER_SIZE} bytes, found {len(header)}")
        m = header[6]
        n = int.from_bytes(header[7:15], "little") & 0xFFFFFFFF
        if m < MIN_DIM:
            raise ValueError(f"{path}: {m} coordinates per vertex; the viewer needs at least {MIN_DIM}")
        if m * n >= 2**32:
            raise ValueError(f"{path}: too large: 2^32 or more values")
        expected = HEADER_SIZE + 8 * m * n
        size = os.fstat(f.fileno()).st_size
        if size < expected:
            raise ValueError(f"{path}: truncated: expected {expected} bytes, found {size}")
        # Read into a buffer of our own: the arrays are its bytes, writable
        # and not copied.
        arrays = bytearray(8 * m * n)
        found = f.readinto(arrays)
    if found < len(arrays):
        raise ValueError(f"{path}: truncated: expected {expected} bytes, found {HEADER_SIZE + found}")
    values = np.frombuffer(arrays, dtype="<f4").reshape(2, n, m)
    if sys.byteorder != "little":
        values = values.astype(np.float32)
    if check:
        for name, array in (("coords", values[0]), ("normals", values[1])):
            try:
                _check_array(name, array)
            except ValueError as error:
                raise ValueError(f"{path}: {error}") from None
    return values[0], values[1]
