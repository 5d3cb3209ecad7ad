// Polygons split into triangles. The plane is found from the corners
// themselves (the centre, the farthest corner, and the corner farthest from
// that line), so that a polygon in R^m needs no normal; the work is in
// double precision, as the corners of a face of a polytope lie within
// rounding of one plane.
#include "core/polygon.h"

#include <cmath>
#include <cstdlib>

void free_polygon(PolygonScratch* scratch)
{
    free(scratch->values);
    free(scratch->links);
    *scratch = {};
}

static int __reserve_polygon(PolygonScratch* scratch, uint32_t n, int dim)
{
    if (n <= scratch->capacity && dim <= scratch->dim)
        return 0;
    free_polygon(scratch);
    size_t capacity = n < 64 ? 64 : n;
    int wide = dim < 4 ? 4 : dim;
    scratch->values = static_cast<double*>(malloc(sizeof(double) * (3 * wide + 2 * capacity)));
    scratch->links = static_cast<uint32_t*>(malloc(sizeof(uint32_t) * 4 * capacity));
    if (!scratch->values || !scratch->links) {
        free_polygon(scratch);
        return 1;
    }
    scratch->capacity = capacity;
    scratch->dim = wide;
    return 0;
}

static inline double __cross_polygon(const double* xy, uint32_t a, uint32_t b, uint32_t c)
{
    return (xy[2 * b] - xy[2 * a]) * (xy[2 * c + 1] - xy[2 * b + 1])
        - (xy[2 * b + 1] - xy[2 * a + 1]) * (xy[2 * c] - xy[2 * b]);
}

// Projects the corners into their plane, writing x, y of each to xy.
// Returns 0 when they span no plane (all on a line or a point).
static int __plane_polygon(
    const float* coords, int dim, const uint32_t* corners, uint32_t n, double* basis, double* xy)
{
    double *centre = basis, *e1 = basis + dim, *e2 = basis + 2 * dim;
    for (int k = 0; k < dim; k++)
        centre[k] = 0;
    for (uint32_t i = 0; i < n; i++)
        for (int k = 0; k < dim; k++)
            centre[k] += coords[size_t(corners[i]) * dim + k] / double(n);
    double reach[2] = {0, 0};
    for (int axis = 0; axis < 2; axis++) {
        double* e = axis ? e2 : e1;
        for (uint32_t i = 0; i < n; i++) {
            const float* p = coords + size_t(corners[i]) * dim;
            double along = 0, length = 0;
            for (int k = 0; axis && k < dim; k++)
                along += (p[k] - centre[k]) * e1[k];
            for (int k = 0; k < dim; k++) {
                double d = p[k] - centre[k] - along * e1[k];
                length += d * d;
            }
            if (length > reach[axis]) {
                reach[axis] = length;
                for (int k = 0; k < dim; k++)
                    e[k] = p[k] - centre[k] - along * e1[k];
            }
        }
        if (!(reach[axis] > 0) || (axis && reach[1] < 1e-18 * reach[0]))
            return 0;
        for (int k = 0; k < dim; k++)
            e[k] /= std::sqrt(reach[axis]);
    }
    for (uint32_t i = 0; i < n; i++) {
        const float* p = coords + size_t(corners[i]) * dim;
        double x = 0, y = 0;
        for (int k = 0; k < dim; k++) {
            x += (p[k] - centre[k]) * e1[k];
            y += (p[k] - centre[k]) * e2[k];
        }
        xy[2 * i] = x;
        xy[2 * i + 1] = y;
    }
    return 1;
}

static void __fan_polygon(uint32_t n, uint32_t* triangles)
{
    for (uint32_t i = 0; i + 2 < n; i++) {
        triangles[3 * i] = 0;
        triangles[3 * i + 1] = i + 1;
        triangles[3 * i + 2] = i + 2;
    }
}

// Whether corner b, between a and c in the ring, is an ear: turning the
// polygon's way, with no other corner left inside its triangle or on it.
// Were a corner inside, a reflex one would be too, so only those are asked.
static bool __ear_polygon(const double* xy, const uint32_t* next, const uint32_t* reflex, uint32_t a,
    uint32_t b, uint32_t c, double sense, double tiny)
{
    if (__cross_polygon(xy, a, b, c) * sense <= tiny)
        return false;
    for (uint32_t j = next[c]; j != a; j = next[j]) {
        if (!reflex[j])
            continue;
        bool at_corner = (xy[2 * j] == xy[2 * a] && xy[2 * j + 1] == xy[2 * a + 1])
            || (xy[2 * j] == xy[2 * c] && xy[2 * j + 1] == xy[2 * c + 1]);
        if (!at_corner && __cross_polygon(xy, a, b, j) * sense >= 0
            && __cross_polygon(xy, b, c, j) * sense >= 0 && __cross_polygon(xy, c, a, j) * sense >= 0)
            return false;
    }
    return true;
}

// Ear clipping over a ring of the corners; each corner knows whether it is
// an ear and whether it turns against the polygon (reflex), and only the two
// neighbours of a clipped ear are asked again. A ring with no ear left (a
// polygon crossing itself) loses its next corner regardless, so that every
// polygon ends in n - 2 triangles.
static void __clip_polygon(
    const double* xy, uint32_t n, double sense, double tiny, uint32_t* links, uint32_t* triangles)
{
    uint32_t *prev = links, *next = links + n, *ear = links + 2 * n, *reflex = links + 3 * n;
    for (uint32_t i = 0; i < n; i++) {
        prev[i] = (i + n - 1) % n;
        next[i] = (i + 1) % n;
    }
    for (uint32_t i = 0; i < n; i++)
        reflex[i] = __cross_polygon(xy, prev[i], i, next[i]) * sense <= tiny;
    for (uint32_t i = 0; i < n; i++)
        ear[i] = __ear_polygon(xy, next, reflex, prev[i], i, next[i], sense, tiny);
    uint32_t at = 0, left = n, written = 0, passed = 0;
    while (left > 3) {
        if (!ear[at] && passed < left) {
            at = next[at];
            passed++;
            continue;
        }
        uint32_t a = prev[at], c = next[at];
        triangles[written++] = a;
        triangles[written++] = at;
        triangles[written++] = c;
        next[a] = c;
        prev[c] = a;
        left--;
        passed = 0;
        reflex[a] = __cross_polygon(xy, prev[a], a, c) * sense <= tiny;
        reflex[c] = __cross_polygon(xy, a, c, next[c]) * sense <= tiny;
        ear[a] = __ear_polygon(xy, next, reflex, prev[a], a, c, sense, tiny);
        ear[c] = __ear_polygon(xy, next, reflex, a, c, next[c], sense, tiny);
        at = c;
    }
    triangles[written++] = prev[at];
    triangles[written++] = at;
    triangles[written++] = next[at];
}

const char* split_polygon(const float* coords, int dim, const uint32_t* corners, uint32_t n,
    uint32_t* triangles, PolygonScratch* scratch)
{
    if (n == 3) {
        __fan_polygon(n, triangles);
        return nullptr;
    }
    if (__reserve_polygon(scratch, n, dim))
        return "out of memory";
    double* xy = scratch->values + 3 * scratch->dim;
    if (!__plane_polygon(coords, dim, corners, n, scratch->values, xy)) {
        __fan_polygon(n, triangles);
        return nullptr;
    }
    double area = 0, scale = 0;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t j = (i + 1) % n;
        area += xy[2 * i] * xy[2 * j + 1] - xy[2 * j] * xy[2 * i + 1];
        scale = std::fmax(scale, std::fabs(xy[2 * i]) + std::fabs(xy[2 * i + 1]));
    }
    // Turns smaller than rounding count as straight on.
    double tiny = 1e-12 * scale * scale;
    double sense = area < 0 ? -1 : 1;
    bool convex = true;
    for (uint32_t i = 0; i < n && convex; i++)
        convex = __cross_polygon(xy, (i + n - 1) % n, i, (i + 1) % n) * sense >= -tiny;
    if (convex || std::fabs(area) <= tiny) {
        __fan_polygon(n, triangles);
        return nullptr;
    }
    if (n > concave_limit_polygon)
        return "concave";
    __clip_polygon(xy, n, sense, tiny, scratch->links, triangles);
    return nullptr;
}
