"""The double curve of a surface's shadow, in numpy: where two triangles that
share no vertex (vertices equal in all m coordinates are one) cross in R^3
as a view shows them, joined into polylines, with the two points of the
surface above each point, the upper (larger w) and the lower.

It follows the viewer's own search (plexorama --info --view), written apart
so that each checks the other: the shadow is nudged off ties a picture
cannot show (each vertex along a fixed direction by 2^-17 of the reach in
proportion to its w, and by 2^-30 in a direction of its own), and pairs of
triangles lying in one plane give no curve.
"""
import os

import numpy as np

from .options import is_view_text, read_view, written_view

ALONG_W = 2.0 ** -17
OWN = 2.0 ** -30
SHEET = np.array([2.0, 3.0, 6.0]) / 7
FLAT = 2.0 ** -21
NEAR = 2.0 ** -40
FARTHEST = 1e30
# Pairs of boxes a triangle may meet on the average, and some to spare;
# past them the shadow piles many sheets on one another (as the viewer's).
TRIES_EACH, SPARE_TRIES = 256, 1 << 24


def _surface(X):
    """The coordinates as the viewer reads them: float32, as float64."""
    if isinstance(X, tuple):
        X = X[0]
    coords = np.asarray(X, dtype=np.float32)
    if coords.ndim != 2 or len(coords) % 3 or not 4 <= coords.shape[1] <= 255:
        raise ValueError(f"double_curve(): expected an array of shape (n, m), n a multiple of 3 and m from 4 "
                         f"to 255, found shape {coords.shape}")
    return coords.astype(np.float64)


def _fields(view):
    """The keys of a view (None, a view file's path, its text or a dict) and
    their words."""
    if view is None:
        return {}
    if not isinstance(view, str) and not isinstance(view, os.PathLike) and not hasattr(view, "items"):
        raise TypeError(f"double_curve(): view is a view file's path, its text or a dict, not {type(view).__name__}")
    text = written_view(view) if hasattr(view, "items") else view if is_view_text(view) else read_view(view)
    lines = text.splitlines()
    if not lines or not lines[0].startswith("plexorama-view "):
        raise ValueError("double_curve(): not a view file")
    fields = {}
    for line in lines[1:]:
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        key, equals, words = line.partition("=")
        if not equals:
            raise ValueError(f"double_curve(): a line is not 'key = values': {line!r}")
        fields[key.strip()] = words.split()
    return fields


def _numbers(fields, key, count):
    try:
        values = [float(word) for word in fields[key]]
    except ValueError:
        raise ValueError(f"double_curve(): {key} holds a value that is not a number") from None
    if len(values) != count or not np.isfinite(values).all():
        raise ValueError(f"double_curve(): {key} needs {count} finite numbers")
    return np.array(values)


def _view(view, coords):
    """The frame of R^m composed with the 4-D turn (4, m), and the 4-D eye's
    distance or 0."""
    fields = _fields(view)
    m = coords.shape[1]
    if "frame" in fields:
        frame = _numbers(fields, "frame", 4 * m).reshape(4, m)
    else:
        show = fields.get("show", "1 2 3 4".split())
        show = [int(word) for word in show if word.isascii() and word.isdigit()]
        if len(show) != 4 or len(set(show)) != 4 or not all(1 <= k <= m for k in show):
            raise ValueError(f"double_curve(): show needs 4 distinct coordinates from 1 to {m}")
        turn = _numbers(fields, "turn4", 16).reshape(4, 4) if "turn4" in fields else np.eye(4)
        frame = turn @ np.eye(m)[np.array(show) - 1]
    frame = frame.astype(np.float32).astype(np.float64)
    eye = fields.get("eye4", ["off"])
    if eye == ["off"]:
        return frame, 0.0
    distance = _numbers(fields, "eye4", 1)[0]
    if distance <= 0:
        with np.errstate(all="ignore"):
            shown = coords @ frame.T
            lengths = np.einsum("ij,ij->i", shown, shown)
        distance = 3 * np.sqrt(lengths[np.isfinite(lengths)].max(initial=0))
    return frame, float(distance)


def _shadow(coords, frame, eye):
    """The welded vertices (ids of the corners), each one's place in the
    nudged shadow, w and weight (NaN where not seen)."""
    bits = (coords.astype(np.float32) + np.float32(0)).view(np.uint32)
    _, first, ids = np.unique(bits, axis=0, return_index=True, return_inverse=True)
    ids = ids.reshape(-1)
    shown = coords[first] @ frame.T
    weight = 1 - shown[:, 3] / eye if eye > 0 else np.ones(len(shown))
    with np.errstate(all="ignore"):
        at = shown[:, :3] / weight[:, None]
        seen = (weight > 0) & np.isfinite(shown[:, 3]) & (np.abs(at) <= FARTHEST).all(axis=1)
    at[~seen] = np.nan
    w = np.where(seen, shown[:, 3], np.nan)
    if seen.any():
        reach = np.abs(at[seen]).max()
        low, high = w[seen].min(), w[seen].max()
        if high > low:
            at += (ALONG_W * reach * (w - (low + high) / 2) / ((high - low) / 2))[:, None] * SHEET
        at += OWN * reach * np.random.default_rng(0).uniform(-1, 1, at.shape)
    else:
        reach = 0.0
    return ids, at, w, weight, reach


def _meeting(lo, hi, a, b):
    """Whether the boxes of a and b meet."""
    return ((lo[a] <= hi[b]) & (lo[b] <= hi[a])).all(axis=-1)


def _candidates(boxes, valid):
    """Pairs of triangles whose boxes meet: through a grid of cells as wide
    as most boxes, and the few boxes wider than three cells against all."""
    where = np.flatnonzero(valid)
    lo, hi = boxes[where, 0], boxes[where, 1]
    if len(where) < 2:
        return np.empty((0, 2), dtype=np.int64)
    side = max(np.median((hi - lo).max(axis=1)), 1e-300)
    first = np.floor((lo - lo.min(axis=0)) / side)
    spans = np.floor((hi - lo.min(axis=0)) / side) - first + 1
    wide = (spans > 3).any(axis=1)
    first = first.astype(np.int64)
    owners, cells = [], []
    for offset in np.ndindex(3, 3, 3):
        inside = ~wide & (spans > offset).all(axis=1)
        owners.append(np.flatnonzero(inside))
        cells.append(first[inside] + offset)
    owners, cells = np.concatenate(owners), np.concatenate(cells)
    keys = np.unique(cells, axis=0, return_inverse=True)[1].reshape(-1) if len(cells) else np.empty(0, int)
    order = np.lexsort((owners, keys))
    owners, keys = owners[order], keys[order]
    crowds = np.unique(keys, return_counts=True)[1]
    if (crowds * (crowds - 1) // 2).sum() + wide.sum() * len(where) > TRIES_EACH * len(where) + SPARE_TRIES:
        raise ValueError("double_curve(): the shadow piles too many triangles on one another")
    pairs = [np.empty((0, 2), dtype=np.int64)]
    for step in range(1, len(keys)):
        same = np.flatnonzero(keys[step:] == keys[:-step])
        if not len(same):
            break
        pairs.append(np.stack([owners[same], owners[same + step]], axis=1))
    everyone = np.arange(len(where))
    for i in np.flatnonzero(wide):
        others = everyone[((everyone > i) | ~wide) & (everyone != i)]
        others = others[_meeting(lo, hi, i, others)]
        pairs.append(np.stack([np.full(len(others), i), others], axis=1))
    pairs = np.unique(np.sort(np.concatenate(pairs), axis=1), axis=0)
    return where[pairs[_meeting(lo, hi, pairs[:, 0], pairs[:, 1])]]


def _area(a, b, c):
    """Twice the signed areas of the triangles a, b, c of points of a plane."""
    return (b[..., 0] - a[..., 0]) * (c[..., 1] - a[..., 1]) - (b[..., 1] - a[..., 1]) * (c[..., 0] - a[..., 0])


def _inside(p, t, n):
    """Weights of points p over triangles t (..., 3, 3) with normals n, on
    the plane across each normal's largest component; and whether inside."""
    k = np.abs(n).argmax(axis=-1)
    axes = np.stack([(k + 1) % 3, (k + 2) % 3], axis=-1)
    p2 = np.take_along_axis(p, axes, -1)
    t2 = np.take_along_axis(t, axes[..., None, :], -1)
    where = np.stack([_area(p2, t2[..., 1, :], t2[..., 2, :]), _area(t2[..., 0, :], p2, t2[..., 2, :]),
                      _area(t2[..., 0, :], t2[..., 1, :], p2)], axis=-1)
    whole = np.take_along_axis(n, k[..., None], -1)
    total = where.sum(axis=-1)
    inside = ((where * whole) >= 0).all(axis=-1) & (total != 0)
    with np.errstate(all="ignore"):
        return where / total[..., None], inside


def _less(a, b):
    """Whether points a come before points b, x first, then y, then z."""
    return (a[..., 0] < b[..., 0]) | ((a[..., 0] == b[..., 0]) & (
        (a[..., 1] < b[..., 1]) | ((a[..., 1] == b[..., 1]) & (a[..., 2] < b[..., 2]))))


def _ends(at, corners, first, second):
    """Where the edges of triangles first cross the planes of second, inside
    them: for each edge, the points, their weights over first and over
    second, the edges' vertices, and whether there is such a point. The
    edge's lesser end leads, so that both triangles on it find it alike."""
    t, o = at[corners[first]], at[corners[second]]
    n_o = np.cross(o[:, 1] - o[:, 0], o[:, 2] - o[:, 0])
    d = np.einsum("pkj,pj->pk", t - o[:, None, 0], n_o)
    rows = np.arange(len(t))
    ends = []
    for i in range(3):
        j = (i + 1) % 3
        swap = _less(t[:, j], t[:, i])
        p, q = np.where(swap, j, i), np.where(swap, i, j)
        dp, dq = d[rows, p], d[rows, q]
        crosses = (dp >= 0) != (dq >= 0)
        with np.errstate(all="ignore"):
            s = dp / (dp - dq)
        point = t[rows, p] + s[:, None] * (t[rows, q] - t[rows, p])
        theirs, inside = _inside(point, o, n_o)
        mine = np.zeros((len(t), 3))
        mine[rows, p], mine[rows, q] = 1 - s, s
        edge = np.sort(corners[first][:, [i, j]], axis=1)
        ends.append((point, mine, theirs, edge, crosses & inside))
    return ends


def _flat(at, corners, first, second, reach):
    """Whether the corners of each pair lie within FLAT of the reach of the
    other's plane."""
    t, o = at[corners[first]], at[corners[second]]
    n_o = np.cross(o[:, 1] - o[:, 0], o[:, 2] - o[:, 0])
    d = np.einsum("pkj,pj->pk", t - o[:, None, 0], n_o)
    return (np.abs(d) <= FLAT * reach * np.linalg.norm(n_o, axis=1)[:, None]).all(axis=1)


def _segments(at, corners, pairs, reach):
    """The segments where the pairs cross: for each, its triangles, and for
    its two ends the point, the weights over both triangles in the shadow,
    and the key of the edge and triangle it lies on and in."""
    a, b = pairs[:, 0], pairs[:, 1]
    keep = ~(_flat(at, corners, a, b, reach) & _flat(at, corners, b, a, reach))
    a, b = a[keep], b[keep]
    ends = [(*end, 0) for end in _ends(at, corners, a, b)] + [(*end, 1) for end in _ends(at, corners, b, a)]
    count = sum(end[4] for end in ends)
    segments = []
    for k in np.flatnonzero(count >= 2):
        here = [end for end in ends if end[4][k]]
        if len(here) > 2:
            far = max(((x, y) for x in range(len(here)) for y in range(x + 1, len(here))),
                      key=lambda xy: np.sum((here[xy[0]][0][k] - here[xy[1]][0][k]) ** 2))
            here = [here[far[0]], here[far[1]]]
        pair = (int(a[k]), int(b[k]))
        segment = []
        for point, mine, theirs, edge, _, whose in here:
            weights = (mine[k], theirs[k]) if whose == 0 else (theirs[k], mine[k])
            segment.append((point[k], weights, (int(edge[k, 0]), int(edge[k, 1]), pair[1 - whose])))
        segments.append((pair, segment))
    return segments


def _polylines(segments, reach):
    """The segments joined where their ends are one point: the same edge
    inside the same triangle, or, left alone, within NEAR of the reach.
    Lists of (segment, end) in order along each polyline, and whether it
    goes round."""
    partner = {}
    keys = {}
    for s, (_, ends) in enumerate(segments):
        for e, (_, _, key) in enumerate(ends):
            keys.setdefault(key, []).append((s, e))
    for ends in keys.values():
        if len(ends) == 2 and ends[0][0] != ends[1][0]:
            partner[ends[0]], partner[ends[1]] = ends[1], ends[0]
    # By place, then by where their segments go, so that ends at one place
    # pair up alike whatever the order of the triangles.
    alone = sorted(((s, e) for s in range(len(segments)) for e in range(2) if (s, e) not in partner),
                   key=lambda se: (tuple(segments[se[0]][1][se[1]][0]), tuple(segments[se[0]][1][1 - se[1]][0])))
    for i, x in enumerate(alone):
        for y in alone[i + 1:]:
            p, q = segments[x[0]][1][x[1]][0], segments[y[0]][1][y[1]][0]
            if q[0] - p[0] > NEAR * reach:
                break
            if x not in partner and y not in partner and x[0] != y[0] and (np.abs(q - p) <= NEAR * reach).all():
                partner[x], partner[y] = y, x
    walked = set()
    lines = []
    starts = [(s, e) for s in range(len(segments)) for e in range(2) if (s, e) not in partner]
    starts += [(s, 0) for s in range(len(segments))]
    for s, e in starts:
        if s in walked:
            continue
        line, at = [(s, e)], (s, e)
        while True:
            walked.add(at[0])
            out = (at[0], 1 - at[1])
            line.append(out)
            nxt = partner.get(out)
            if nxt is None or nxt[0] in walked:
                break
            at = nxt
        lines.append((line, nxt is not None))
    return lines


def _lifts(segments, corners, weight, w, item):
    """The point of a segment's end, and the weights in R^m over the upper
    and the lower sheet's triangles, with the triangles."""
    (pair, ends), e = segments[item[0]], item[1]
    point, shadow_weights, _ = ends[e]
    sheets = []
    for h in range(2):
        c = corners[pair[h]]
        alpha = shadow_weights[h] / weight[c]
        alpha = alpha / alpha.sum()
        sheets.append((float(alpha @ w[c]), pair[h], alpha))
    sheets.sort(key=lambda sheet: (-sheet[0], sheet[1]))
    return point, sheets


def _ordered(points, closed):
    """A polyline's points in the order of the shadow's own: an open one from
    its lesser end, a closed one from its least point toward the lesser of
    its neighbours, ending where it starts."""
    key = [tuple(p) for p in points[0]]
    if not closed:
        return points if key[0] <= key[-1] else [x[::-1] for x in points]
    ring = len(key) - 1
    least = min(range(ring), key=lambda k: key[k])
    order = [(least + k) % ring for k in range(ring)]
    if key[order[-1]] < key[order[1]]:
        order = [order[0]] + order[:0:-1]
    return [x[order + [order[0]]] for x in points]


def double_curve(X, view=None, lifted=False):
    """The double curve of the shadow of the surface X (coordinates of shape
    (n, m), three rows a triangle, or the (coords, normals) that
    grid_surface returns) in view (a view file's path, its text or a dict of
    its keys, as picture() takes them; None: the first view, coordinates 1
    to 4 as x, y, z and w): a list of polylines, each an array of shape
    (k, 3) of points of the shadow, a closed one ending where it starts,
    in an order of the shadow's own. With lifted, each polyline comes as
    (points, upper, lower): upper and lower of shape (k, m) are the points
    of the surface above the points, the upper the one of larger w.
    Triangles with values that are not finite, a corner at or behind the
    4-D eye, two corners alike or all on a line in the shadow are left out;
    so are pairs of triangles lying in one plane. Raises ValueError for a
    surface or view it cannot read, or a shadow that piles so many sheets
    on one another that the search would run for long."""
    coords = _surface(X)
    frame, eye = _view(view, coords)
    ids, at, w, weight, reach = _shadow(coords, frame, eye)
    corners = ids.reshape(-1, 3)
    tri = at[corners]
    valid = np.isfinite(tri).all(axis=(1, 2))
    valid &= (corners[:, 0] != corners[:, 1]) & (corners[:, 1] != corners[:, 2]) & (corners[:, 2] != corners[:, 0])
    valid &= np.cross(tri[:, 1] - tri[:, 0], tri[:, 2] - tri[:, 0]).any(axis=1)
    boxes = np.stack([tri.min(axis=1), tri.max(axis=1)], axis=1)
    pairs = _candidates(boxes, valid)
    c = corners[pairs]
    pairs = pairs[~(c[:, 0, :, None] == c[:, 1, None, :]).any(axis=(1, 2))]
    segments = _segments(at, corners, pairs, reach)
    result = []
    for line, closed in _polylines(segments, reach):
        # Round, the last end is the first point again.
        lifts = [_lifts(segments, corners, weight, w, item) for item in line[:-1 if closed else None]]
        keep = [k for k in range(len(lifts)) if k == 0 or (lifts[k][0] != lifts[k - 1][0]).any()]
        if closed and len(keep) > 1 and (lifts[keep[-1]][0] == lifts[keep[0]][0]).all():
            keep = keep[:-1]
        if len(keep) < 2:
            continue
        points = np.array([lifts[k][0] for k in keep])
        sheets = [np.array([[coords[3 * s[1]:3 * s[1] + 3].T @ s[2] for s in lifts[k][1]][h] for k in keep])
                  for h in range(2)]
        if closed:
            points, sheets = np.vstack([points, points[:1]]), [np.vstack([x, x[:1]]) for x in sheets]
        points, *sheets = _ordered([points] + sheets, closed)
        result.append((points, *sheets) if lifted else points)
    result.sort(key=lambda item: [tuple(p) for p in (item[0] if lifted else item)])
    return result
