// The double curve: the surface welded (crossing_weld.cpp), its shadow made
// as the vertex stage makes it, the pairs of triangles that cross
// (crossing_pairs.cpp, crossing_meet.cpp) joined into the curve
// (crossing_curve.cpp).
#include "core/crossing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/crossing_parts.h"

namespace {

// The nudge that settles the ties a picture cannot show. Each vertex moves
// along a fixed direction in proportion to its w, as in a view turned by a
// hair toward w: sheets that touch along an edge or coincide in the shadow
// come apart, the upper one ahead, and meet, where they still do, as in
// that view. And by far less in a direction of its own, hashed from its
// place, so that no vertex lies on another triangle's plane, nor a curve
// on an edge. A picture shows neither: 2^-17 and 2^-30 of the reach.
constexpr double along_w_crossing = 0x1p-17;
constexpr double own_crossing = 0x1p-30;
constexpr double sheet_crossing[3] = {2.0 / 7, 3.0 / 7, 6.0 / 7};
// Far past any picture: coordinates there would not fit a float.
constexpr double farthest_crossing = 1e30;

void __nudge_crossing(Shadow* s)
{
    double low = INFINITY, high = -INFINITY;
    for (uint64_t v = 0; v < s->vertex_count; v++) {
        low = std::fmin(low, s->w[v]);
        high = std::fmax(high, s->w[v]);
        for (double c : s->at[v])
            s->reach = std::fmax(s->reach, std::fabs(c));
    }
    double middle = (low + high) / 2, span = (high - low) / 2;
    double along = span > 0 ? along_w_crossing * s->reach / span : 0.0;
    double own = own_crossing * s->reach;
    __halves_crossing(s->vertex_count, 65536, [&](uint64_t first, uint64_t last, int) {
        for (uint64_t v = first; v < last; v++) {
            double place[4] = {s->at[v][0], s->at[v][1], s->at[v][2], s->w[v]};
            uint64_t hash = 0x9e3779b97f4a7c15u;
            for (double c : place) {
                uint64_t bits;
                memcpy(&bits, &c, sizeof bits);
                hash = (hash ^ bits) * 0xff51afd7ed558ccdu;
                hash ^= hash >> 29;
            }
            for (int k = 0; k < 3; k++) {
                double mine = static_cast<double>((hash >> (21 * k)) & 0x1fffff) / 0x100000 - 1.0;
                s->at[v][k] += along * (s->w[v] - middle) * sheet_crossing[k] + own * mine;
            }
        }
    });
}

// Where a welded vertex is seen: false when it is not finite, at or
// behind the 4-D eye, or past what a float holds.
bool __see_crossing(const float* c, int dim, const CrossingView* view, double* at, double* w, double* weight)
{
    double p[4];
    for (int r = 0; r < 4; r++) {
        p[r] = 0.0;
        for (int k = 0; k < dim; k++)
            p[r] += static_cast<double>(view->frame.rows[r][k]) * c[k];
    }
    // As the vertex stage weighs it: beyond the eye it is cut away.
    *weight = view->eye > 0 ? 1.0 - p[3] / view->eye : 1.0;
    *w = p[3];
    bool seen = *weight > 0 && std::isfinite(p[3]);
    for (int k = 0; k < 3; k++) {
        at[k] = p[k] / *weight;
        seen = seen && std::fabs(at[k]) <= farthest_crossing;
    }
    return seen;
}

// Makes the shadow of the welded surface: ids (the weld) become the
// triangles' corners, numbers of the welded vertices, none where a vertex
// is not seen. The first copies take their numbers in order, marked by the
// top bit until the others have followed them.
const char* __shadow_crossing(
    const float* coords, int dim, uint64_t n, const CrossingView* view, uint32_t* ids, Shadow* s)
{
    constexpr uint32_t mark = 0x80000000u;
    uint64_t heads[2] = {};
    __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int half) {
        for (uint64_t v = first; v < last; v++)
            heads[half] += ids[v] == v;
    });
    s->vertex_count = heads[0] + heads[1];
    s->at = static_cast<double(*)[3]>(__room_crossing(s->vertex_count * sizeof *s->at));
    s->w = static_cast<double*>(__room_crossing(s->vertex_count * sizeof(double)));
    s->weight = static_cast<double*>(__room_crossing(s->vertex_count * sizeof(double)));
    s->corners = reinterpret_cast<uint32_t(*)[3]>(ids);
    s->shown = static_cast<uint32_t*>(__room_crossing(n / 3 * sizeof(uint32_t)));
    if (!s->at || !s->w || !s->weight || !s->shown)
        return "out of memory";
    __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int half) {
        uint64_t at = half ? heads[0] : 0;
        for (uint64_t v = first; v < last; v++) {
            if (ids[v] != v)
                continue;
            bool seen = __see_crossing(coords + v * dim, dim, view, s->at[at], &s->w[at], &s->weight[at]);
            if (!seen)
                s->w[at] = s->at[at][0] = s->at[at][1] = s->at[at][2] = NAN;
            ids[v] = seen ? static_cast<uint32_t>(at) | mark : none_crossing;
            at++;
        }
    });
    __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int) {
        for (uint64_t v = first; v < last; v++)
            if (ids[v] != none_crossing && !(ids[v] & mark))
                ids[v] = ids[ids[v]] == none_crossing ? none_crossing : ids[ids[v]] & ~mark;
    });
    __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int) {
        for (uint64_t v = first; v < last; v++)
            if (ids[v] != none_crossing)
                ids[v] &= ~mark;
    });
    // The triangles whose corners are all seen and apart, and not on a line
    // in the shadow, in order.
    auto apart = [&](uint64_t t) {
        const uint32_t* c = s->corners[t];
        if (c[0] == none_crossing || c[1] == none_crossing || c[2] == none_crossing || c[0] == c[1]
            || c[1] == c[2] || c[2] == c[0])
            return false;
        const double* at[3] = {s->at[c[0]], s->at[c[1]], s->at[c[2]]};
        double n[3];
        __normal_crossing(at, n);
        return n[0] != 0 || n[1] != 0 || n[2] != 0;
    };
    uint64_t counts[2] = {};
    __halves_crossing(n / 3, 65536, [&](uint64_t first, uint64_t last, int half) {
        for (uint64_t t = first; t < last; t++)
            counts[half] += apart(t);
    });
    __halves_crossing(n / 3, 65536, [&](uint64_t first, uint64_t last, int half) {
        uint64_t at = half ? counts[0] : 0;
        for (uint64_t t = first; t < last; t++)
            if (apart(t))
                s->shown[at++] = static_cast<uint32_t>(t);
    });
    s->shown_count = counts[0] + counts[1];
    __nudge_crossing(s);
    return nullptr;
}

} // namespace

int __add_crossing(Segments* segments, const Segment* segment)
{
    if (segments->count == segments->room) {
        uint64_t room = segments->room ? 2 * segments->room : 256;
        Segment* more = static_cast<Segment*>(realloc(segments->items, room * sizeof(Segment)));
        if (!more)
            return 0;
        segments->items = more;
        segments->room = room;
    }
    segments->items[segments->count++] = *segment;
    return 1;
}

const char* find_crossing(const float* coords, uint8_t dim, uint64_t n, const CrossingView* view,
    Crossing* curve, const std::atomic<bool>* stop)
{
    *curve = {};
    if (dim != view->frame.dim || dim == 0)
        return "the frame is not of the surface's dimension";
    // Vertex numbers are 31 bits here, the top one a mark on the way.
    if (n > 0x7fffffffu)
        return "too many vertices";
    uint32_t* ids = static_cast<uint32_t*>(__room_crossing(n * sizeof(uint32_t)));
    if (!ids)
        return "out of memory";
    Shadow shadow = {};
    Segments segments = {};
    const char* fault = weld_crossing(coords, dim, n, ids) ? nullptr : "out of memory";
    if (!fault)
        fault = __shadow_crossing(coords, dim, n, view, ids, &shadow);
    if (!fault)
        fault = __pairs_crossing(&shadow, &segments, stop);
    if (!fault && stop && stop->load())
        fault = "stopped";
    if (!fault)
        fault = __join_crossing(&shadow, &segments, curve);
    free(segments.items);
    free(shadow.at);
    free(shadow.w);
    free(shadow.weight);
    free(shadow.shown);
    free(ids);
    return fault;
}

void lift_crossing(
    const Crossing* curve, const float* coords, uint8_t dim, uint64_t k, int sheet, double* out)
{
    const CrossingPoint& p = curve->points[k];
    const float* corner = coords + uint64_t {p.triangle[sheet]} * 3 * dim;
    for (int j = 0; j < dim; j++)
        out[j] = p.where[sheet][0] * static_cast<double>(corner[j])
            + p.where[sheet][1] * static_cast<double>(corner[dim + j])
            + p.where[sheet][2] * static_cast<double>(corner[2 * dim + j]);
}

void free_crossing(Crossing* curve)
{
    free(curve->points);
    free(curve->starts);
    free(curve->triples);
    free(curve->branches);
    *curve = {};
}
