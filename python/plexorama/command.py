"""What the package's programs share: the line that sums up a surface they
wrote."""
import numpy as np

from .surface import VIEW_RADIUS, fits


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
