"""What the package's programs share: the name they were run as, and the
line that sums up a surface they wrote."""
import os
import sys

import numpy as np

from .surface import VIEW_RADIUS, fits


def program_name(default):
    """The name the program was run as; default when it was run as a module
    (python3 -m), whose name is that of its file."""
    name = os.path.basename(sys.argv[0]) if sys.argv and sys.argv[0] else ""
    return default if name in ("", "-", "-c") or name.endswith(".py") else name


def summary(path, coords, remedy, note=""):
    """One line: what path now holds, and whether it fits the view (if not,
    how far out it reaches and the remedy)."""
    n, m = coords.shape
    if fits(coords):
        verdict = "fits the view"
    else:
        radius = float(np.sqrt((np.asarray(coords, dtype=np.float64) ** 2).sum(axis=1)).max())
        verdict = (f"does not fit the view (farthest vertex {radius:.3g} from the origin, "
                   f"beyond {VIEW_RADIUS}): {remedy}")
    return f"{path}: {n} vertices, {n // 3} triangles, m = {m}{note}, {verdict}"
