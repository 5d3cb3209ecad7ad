"""What the package's programs share: the name they were run as, the line
that sums up a surface they wrote, sizes, and ending on a signal."""
import os
import re
import signal
import sys
import threading

import numpy as np

from .surface import FIT_TOLERANCE, VIEW_RADIUS
from .triangles import klein_size, reach

# The most the programs write unless told: well above a 1024 x 1024 grid of
# 8 coordinates (400 MB), well below what would exhaust a common machine.
DEFAULT_MAX_SIZE = "2G"
SIZE = re.compile(r"([0-9]+(?:\.[0-9]*)?)([kMGT]?)B?", re.IGNORECASE)


def program_name(default):
    """The name the program was run as; default when it was run as a module
    (python3 -m), whose name is that of its file."""
    name = os.path.basename(sys.argv[0]) if sys.argv and sys.argv[0] else ""
    return default if name in ("", "-", "-c") or name.endswith(".py") else name


def summary(path, parts, remedy, note=""):
    """One line: what path now holds (the Triangles parts), and whether it
    fits the view (if not, how far out it reaches and the remedy)."""
    n, m = sum(t.n for t in parts), parts[0].m
    radius = reach(parts)
    if np.isfinite(radius) and radius <= VIEW_RADIUS * (1 + FIT_TOLERANCE):
        verdict = "fits the view"
    else:
        verdict = (f"does not fit the view (farthest vertex {radius:.3g} from the origin, "
                   f"beyond {VIEW_RADIUS}): {remedy}")
    return f"{path}: {n} vertices, {n // 3} triangles, m = {m}{note}, {verdict}"


def megabytes(size):
    """A size in bytes as people read it: "612 MB", "12.8 GB"."""
    for unit, scale in (("GB", 1e9), ("MB", 1e6), ("kB", 1e3)):
        if size >= scale:
            return f"{size / scale:.3g} {unit}"
    return f"{size} bytes"


def parse_size(text):
    """Bytes from a size such as 2G, 500M, 1.5GB or 4096 (powers of 1000);
    raises ValueError."""
    match = SIZE.fullmatch(text.strip())
    if not match:
        raise ValueError(f"expected a size such as 500M or 2G, found {text!r}")
    return int(float(match.group(1)) * 1000 ** " KMGT".index(match.group(2).upper() or " "))


def too_large(what, n, m, limit):
    """The line refusing a surface of n vertices of m coordinates, whose
    KLEIN file would pass limit bytes."""
    return (f"{what} would take {megabytes(klein_size(n, m))} ({n} vertices of {m} coordinates), past the "
            f"limit of {megabytes(limit)}: give --max-size to allow more")


class Interrupted(BaseException):
    """A signal that ends the program, raised where it was when it came."""

    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


def run_to_signal(body):
    """Returns body(); SIGINT, SIGTERM and SIGHUP (unless ignored) unwind it
    as an exception instead, so that files being written are removed on
    the way, and then end the process by the same signal, as if uncaught."""
    if threading.current_thread() is not threading.main_thread():
        return body()

    def stop(signum, frame):
        raise Interrupted(signum)
    caught = [s for s in (signal.SIGTERM, signal.SIGHUP) if signal.getsignal(s) == signal.SIG_DFL]
    for s in caught:
        signal.signal(s, stop)
    try:
        return body()
    except KeyboardInterrupt:
        signum = signal.SIGINT
    except Interrupted as error:
        signum = error.signum
    finally:
        for s in caught:
            signal.signal(s, signal.SIG_DFL)
    signal.signal(signum, signal.SIG_DFL)
    os.kill(os.getpid(), signum)
    return 128 + signum
