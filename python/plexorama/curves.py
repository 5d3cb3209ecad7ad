"""Curves on the unit 3-sphere of R^4, as Shapes of closed polylines: the
fibres of the Hopf map and torus knots on the Clifford torus. Both lie
unprojected on the sphere; the viewer's 4-D perspective with its eye at the
sphere's radius shows them as stereographic projection does.

    hopf(fibres, circles, samples)   fibres over points of circles of S^2
    torus_knot(p, q, samples)        the (p, q) torus knot
    hues(h, lightness)               RGB colours round the colour wheel
"""
import numpy as np

from .shapes import lines

TAU = 2 * np.pi


def hues(h, lightness=0.5):
    """RGB colours (rows, 0 to 1) of hue h (turns, 0 to 1, one per row) at
    full saturation, from black (lightness 0) to white (1)."""
    h = np.asarray(h, dtype=np.float64)[:, None]
    lightness = np.broadcast_to(np.asarray(lightness, dtype=np.float64), h.shape[:1])[:, None]
    # The hexagon of HSL: each channel a trapezoid in the hue, 120 degrees apart.
    channel = np.clip(np.abs((6 * h + np.array([0, 4, 2])) % 6 - 3) - 1, 0, 1)
    chroma = 1 - np.abs(2 * lightness - 1)
    return lightness + chroma * (channel - 0.5)


def hopf(fibres=60, circles=5, samples=64):
    """The fibres of the Hopf map S^3 -> S^2 over `fibres` base points spread
    evenly round `circles` circles of latitude of S^2 (the first circles
    take one more where they do not divide evenly): each fibre a great
    circle of the unit 3-sphere, `samples` vertices and closed, coloured by
    its base point (hue by longitude, lightness by latitude)."""
    if not (fibres >= 1 and circles >= 1 and samples >= 3):
        raise ValueError("hopf(): expected 1 or more fibres and circles, and 3 or more samples")
    circle = np.repeat(np.arange(circles), [len(part) for part in np.array_split(np.arange(fibres), circles)])
    on_circle = np.arange(fibres) - np.searchsorted(circle, circle)
    per_circle = np.bincount(circle, minlength=circles)[circle]
    # The base point at polar angle theta and longitude phi; the fibre over
    # it is (cos(theta/2) e^(it), sin(theta/2) e^(i(t - phi))) in C^2, whose
    # image 2 z1 conj(z2), |z1|^2 - |z2|^2 is that point.
    theta = np.pi * (circle + 1) / (circles + 1)
    phi = TAU * on_circle / per_circle
    t = np.linspace(0, TAU, samples, endpoint=False)
    a, b = np.cos(theta / 2)[:, None], np.sin(theta / 2)[:, None]
    u = t[None] - phi[:, None]
    fibre = np.stack([a * np.cos(t), a * np.sin(t), b * np.cos(u), b * np.sin(u)], axis=2)
    return lines(fibre, closed=True, colors=hues(phi / TAU, 0.3 + 0.4 * (circle + 1) / (circles + 1)))


def torus_knot(p=2, q=3, samples=512, radius=1.0):
    """The (p, q) torus knot on the Clifford torus of the 3-sphere of that
    radius, radius (cos pt, sin pt, cos qt, sin qt) / sqrt 2 for t round a
    circle: `samples` vertices, closed."""
    if samples < 3:
        raise ValueError("torus_knot(): expected 3 or more samples")
    t = np.linspace(0, TAU, samples, endpoint=False)
    knot = np.stack([np.cos(p * t), np.sin(p * t), np.cos(q * t), np.sin(q * t)], axis=1) * (radius / np.sqrt(2))
    return lines(knot, closed=True)
