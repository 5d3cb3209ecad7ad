// The segments joined into the curve. Two ends that lie on one edge inside
// one triangle are one point, found alike from both sides of the edge;
// polylines are walked from end to end, or round, and put in an order of
// the shadow's own. An end that meets no other lies on the boundary, or,
// when the surface goes on across its edge, at a branch point; three
// segments that cross pairwise inside their triangles meet at a triple
// point.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/crossing.h"
#include "core/crossing_parts.h"

namespace {

constexpr uint64_t alone = UINT64_MAX;
// Ends left alone that lie this near, as a share of the reach, are one point:
// where the curve runs through a corner, the two sides may see it on two
// edges; where more than two triangles hold an edge, it has more than two.
constexpr double near_crossing = 0x1p-40;

struct EndKey {
    uint32_t edge[2], inside;
    uint64_t end; // 2 segment + which end
};

bool __key_less_crossing(const EndKey& a, const EndKey& b)
{
    if (a.edge[0] != b.edge[0])
        return a.edge[0] < b.edge[0];
    if (a.edge[1] != b.edge[1])
        return a.edge[1] < b.edge[1];
    if (a.inside != b.inside)
        return a.inside < b.inside;
    return a.end < b.end;
}

const SegmentEnd& __end_crossing(const Segments* segments, uint64_t end)
{
    return segments->items[end / 2].ends[end % 2];
}

int __compare_crossing(const void* a, const void* b)
{
    const double* x = static_cast<const double*>(a);
    const double* y = static_cast<const double*>(b);
    return __point_less_crossing(x, y) ? -1 : __point_less_crossing(y, x) ? 1 : 0;
}

// Links the ends that are one point: partner[e] is the end joined to e.
bool __link_crossing(const Shadow* s, const Segments* segments, uint64_t* partner)
{
    uint64_t count = 2 * segments->count;
    EndKey* keys = static_cast<EndKey*>(malloc(count * sizeof(EndKey) + 1));
    if (!keys)
        return false;
    for (uint64_t e = 0; e < count; e++) {
        const SegmentEnd& end = __end_crossing(segments, e);
        keys[e] = {{end.edge[0], end.edge[1]}, end.inside, e};
        partner[e] = alone;
    }
    std::sort(keys, keys + count, __key_less_crossing);
    for (uint64_t k = 0; k + 1 < count;) {
        uint64_t run = k + 1;
        while (run < count && keys[run].edge[0] == keys[k].edge[0] && keys[run].edge[1] == keys[k].edge[1]
            && keys[run].inside == keys[k].inside)
            run++;
        if (run - k == 2 && keys[k].end / 2 != keys[k + 1].end / 2) {
            partner[keys[k].end] = keys[k + 1].end;
            partner[keys[k + 1].end] = keys[k].end;
        }
        k = run;
    }
    // The ends left alone, each joined to the first after it that lies near.
    uint64_t left = 0;
    for (uint64_t e = 0; e < count; e++)
        if (partner[e] == alone)
            keys[left++].end = e;
    // By place, then by where their segments go, so that ends at one place
    // pair up alike whatever the order of the triangles.
    std::sort(keys, keys + left, [&](const EndKey& a, const EndKey& b) {
        const double *p = __end_crossing(segments, a.end).at, *q = __end_crossing(segments, b.end).at;
        if (__point_less_crossing(p, q) || __point_less_crossing(q, p))
            return __point_less_crossing(p, q);
        return __point_less_crossing(
            __end_crossing(segments, a.end ^ 1).at, __end_crossing(segments, b.end ^ 1).at);
    });
    double near = near_crossing * s->reach;
    for (uint64_t i = 0; i < left; i++) {
        const double* a = __end_crossing(segments, keys[i].end).at;
        for (uint64_t j = i + 1; j < left && partner[keys[i].end] == alone; j++) {
            const double* b = __end_crossing(segments, keys[j].end).at;
            if (b[0] - a[0] > near)
                break;
            if (partner[keys[j].end] == alone && keys[i].end / 2 != keys[j].end / 2
                && std::fabs(b[1] - a[1]) <= near && std::fabs(b[2] - a[2]) <= near) {
                partner[keys[i].end] = keys[j].end;
                partner[keys[j].end] = keys[i].end;
            }
        }
    }
    free(keys);
    return true;
}

// The point of a segment's end, with the points of the surface above it:
// the shadow's weights over each triangle turned into weights in R^m (the
// 4-D eye divides by the weight), the upper sheet first.
CrossingPoint __point_crossing(const Shadow* s, const Segment& segment, const SegmentEnd& end)
{
    CrossingPoint p;
    memcpy(p.at, end.at, sizeof p.at);
    double w[2];
    double where[2][3];
    for (int h = 0; h < 2; h++) {
        const uint32_t* c = s->corners[segment.triangle[h]];
        double sum = 0;
        for (int i = 0; i < 3; i++)
            sum += where[h][i] = end.where[h][i] / s->weight[c[i]];
        w[h] = 0;
        for (int i = 0; i < 3; i++) {
            where[h][i] /= sum;
            w[h] += where[h][i] * s->w[c[i]];
        }
    }
    int upper = w[1] > w[0] || (w[1] == w[0] && segment.triangle[1] < segment.triangle[0]);
    for (int h = 0; h < 2; h++) {
        int from = h ? 1 - upper : upper;
        p.triangle[h] = segment.triangle[from];
        for (int i = 0; i < 3; i++)
            p.where[h][i] = static_cast<float>(where[from][i]);
    }
    return p;
}

bool __same_point_crossing(const CrossingPoint& a, const CrossingPoint& b)
{
    return a.at[0] == b.at[0] && a.at[1] == b.at[1] && a.at[2] == b.at[2];
}

// Puts the polyline in points[0] to points[count - 1] in its own order: an
// open one from its lesser end, a closed one (its last point its first) from
// its least point toward the lesser of its neighbours.
void __order_crossing(CrossingPoint* points, uint64_t count, bool closed)
{
    if (!closed) {
        if (__point_less_crossing(points[count - 1].at, points[0].at))
            std::reverse(points, points + count);
        return;
    }
    uint64_t ring = count - 1, least = 0;
    for (uint64_t k = 1; k < ring; k++)
        if (__point_less_crossing(points[k].at, points[least].at))
            least = k;
    std::rotate(points, points + least, points + ring);
    if (__point_less_crossing(points[ring - 1].at, points[1].at))
        std::reverse(points + 1, points + ring);
    points[ring] = points[0];
}

// Walks one polyline from end e into curve->points: its last point is its
// first when it goes round. Returns the end it stops at, alone when it is
// open, else e itself.
uint64_t __walk_line_crossing(const Shadow* s, const Segments* segments, const uint64_t* partner, uint64_t e,
    bool* walked, Crossing* curve)
{
    uint64_t first = curve->point_count;
    CrossingPoint* points = curve->points;
    points[curve->point_count++] = __point_crossing(s, segments->items[e / 2], __end_crossing(segments, e));
    for (uint64_t at = e;;) {
        walked[at / 2] = true;
        uint64_t out = at ^ 1;
        bool round = partner[out] == e;
        CrossingPoint p = round
            ? points[first]
            : __point_crossing(s, segments->items[out / 2], __end_crossing(segments, out));
        if (!__same_point_crossing(p, points[curve->point_count - 1]))
            points[curve->point_count++] = p;
        if (round || partner[out] == alone)
            return round ? e : out;
        at = partner[out];
    }
}

// Walks the polylines into curve->points and curve->starts, the points of
// each in its own order, and lists the ends of the open ones in open.
bool __walk_crossing(const Shadow* s, const Segments* segments, const uint64_t* partner, Crossing* curve,
    uint64_t* open, uint64_t* open_count)
{
    uint64_t count = segments->count;
    bool* walked = static_cast<bool*>(calloc(count + 1, 1));
    curve->points = static_cast<CrossingPoint*>(malloc((2 * count + 1) * sizeof(CrossingPoint)));
    curve->starts = static_cast<uint64_t*>(malloc((count + 2) * sizeof(uint64_t)));
    if (!walked || !curve->points || !curve->starts) {
        free(walked);
        return false;
    }
    *open_count = 0;
    curve->starts[0] = 0;
    // Open polylines from their ends first; what is left goes round.
    for (int round = 0; round < 2; round++)
        for (uint64_t e = 0; e < 2 * count; e++) {
            if (walked[e / 2] || (round == 0 && partner[e] != alone) || (round == 1 && e % 2))
                continue;
            uint64_t first = curve->point_count;
            uint64_t last = __walk_line_crossing(s, segments, partner, e, walked, curve);
            bool closed = last == e;
            // A polyline of one point has no length, and no ends.
            if (curve->point_count - first < (closed ? 3u : 2u)) {
                curve->point_count = first;
                continue;
            }
            if (!closed) {
                open[(*open_count)++] = e;
                open[(*open_count)++] = last;
            }
            __order_crossing(curve->points + first, curve->point_count - first, closed);
            curve->starts[++curve->line_count] = curve->point_count;
        }
    free(walked);
    return true;
}

// Puts the polylines in order of their points, the first first.
bool __sort_lines_crossing(Crossing* curve)
{
    uint64_t lines = curve->line_count;
    uint64_t* order = static_cast<uint64_t*>(malloc((lines + 1) * sizeof(uint64_t)));
    CrossingPoint* points
        = static_cast<CrossingPoint*>(malloc((curve->point_count + 1) * sizeof(CrossingPoint)));
    if (!order || !points) {
        free(order);
        free(points);
        return false;
    }
    for (uint64_t k = 0; k < lines; k++)
        order[k] = k;
    const CrossingPoint* p = curve->points;
    const uint64_t* starts = curve->starts;
    std::sort(order, order + lines, [&](uint64_t a, uint64_t b) {
        uint64_t na = starts[a + 1] - starts[a], nb = starts[b + 1] - starts[b];
        for (uint64_t i = 0; i < na && i < nb; i++) {
            const double* x = p[starts[a] + i].at;
            const double* y = p[starts[b] + i].at;
            if (__point_less_crossing(x, y) || __point_less_crossing(y, x))
                return __point_less_crossing(x, y);
        }
        return na < nb;
    });
    uint64_t at = 0;
    for (uint64_t k = 0; k < lines; k++) {
        uint64_t length = starts[order[k] + 1] - starts[order[k]];
        memcpy(points + at, p + starts[order[k]], length * sizeof(CrossingPoint));
        order[k] = at;
        at += length;
    }
    memcpy(curve->starts, order, lines * sizeof(uint64_t));
    free(curve->points);
    free(order);
    curve->points = points;
    return true;
}

// The ends of open polylines that lie at branch points: where another shown
// triangle than the one whose edge the end lies on holds that edge too, so
// that the surface goes on past it. Counts the triangles on each end's edge
// in one pass over them, through a small table of the edges asked about.
bool __branches_crossing(
    const Shadow* s, const Segments* segments, const uint64_t* open, uint64_t open_count, Crossing* curve)
{
    curve->branches = static_cast<double(*)[3]>(malloc((open_count + 1) * sizeof *curve->branches));
    uint64_t size = 16;
    while (size < 4 * open_count)
        size *= 2;
    uint64_t* table = static_cast<uint64_t*>(malloc(size * sizeof(uint64_t)));
    uint32_t* counts = static_cast<uint32_t*>(calloc(size, sizeof(uint32_t)));
    if (!curve->branches || !table || !counts || !open_count) {
        free(table);
        free(counts);
        return curve->branches != nullptr;
    }
    memset(table, 0xff, size * sizeof(uint64_t));
    auto slot = [&](uint64_t edge) {
        uint64_t k = (edge * 0x9e3779b97f4a7c15u) >> 40 & (size - 1);
        while (table[k] != edge && table[k] != alone)
            k = (k + 1) & (size - 1);
        return k;
    };
    for (uint64_t k = 0; k < open_count; k++) {
        const SegmentEnd& end = __end_crossing(segments, open[k]);
        uint64_t edge = uint64_t {end.edge[0]} << 32 | end.edge[1];
        table[slot(edge)] = edge;
    }
    for (uint64_t i = 0; i < s->shown_count; i++) {
        const uint32_t* c = s->corners[s->shown[i]];
        for (int k = 0; k < 3; k++) {
            uint32_t a = c[k], b = c[(k + 1) % 3];
            uint64_t at = slot(uint64_t {std::min(a, b)} << 32 | std::max(a, b));
            counts[at] += table[at] != alone;
        }
    }
    for (uint64_t k = 0; k < open_count; k++) {
        const SegmentEnd& end = __end_crossing(segments, open[k]);
        if (counts[slot(uint64_t {end.edge[0]} << 32 | end.edge[1])] > 1)
            memcpy(curve->branches[curve->branch_count++], end.at, sizeof end.at);
    }
    if (curve->branch_count)
        qsort(curve->branches, curve->branch_count, sizeof *curve->branches, __compare_crossing);
    free(table);
    free(counts);
    return true;
}

// The least corner of a triangle, which stands for it where an order of
// the shadow's own is wanted.
const double* __least_crossing(const Shadow* s, uint32_t t)
{
    const uint32_t* c = s->corners[t];
    const double* least = s->at[c[0]];
    for (int k = 1; k < 3; k++)
        if (__point_less_crossing(s->at[c[k]], least))
            least = s->at[c[k]];
    return least;
}

// Where two segments on triangle a cross inside it, found on the plane of
// the two axes across its normal's largest component, each segment from
// its lesser end.
bool __triple_crossing(const Shadow* s, uint32_t a, const Segment& one, const Segment& two, double* at)
{
    const uint32_t* c = s->corners[a];
    const double* corners[3] = {s->at[c[0]], s->at[c[1]], s->at[c[2]]};
    double n[3];
    __normal_crossing(corners, n);
    int k = __axis_crossing(n), u = (k + 1) % 3, v = (k + 2) % 3;
    auto side = [&](const double* p, const double* q, const double* r) {
        return (q[u] - p[u]) * (r[v] - p[v]) - (q[v] - p[v]) * (r[u] - p[u]);
    };
    const double *p = one.ends[0].at, *q = one.ends[1].at, *r = two.ends[0].at, *t = two.ends[1].at;
    if (__point_less_crossing(q, p))
        std::swap(p, q);
    if (__point_less_crossing(t, r))
        std::swap(r, t);
    double o1 = side(p, q, r), o2 = side(p, q, t), o3 = side(r, t, p), o4 = side(r, t, q);
    if (!(o1 * o2 < 0 && o3 * o4 < 0))
        return false;
    for (int j = 0; j < 3; j++)
        at[j] = p[j] + (q[j] - p[j]) * (o3 / (o3 - o4));
    return true;
}

// The triple points: on a triangle a, two segments with triangles b and c
// that share no vertex crossing inside it. Each is found on all three
// triangles, and kept on the one of the least corner.
bool __triples_crossing(const Shadow* s, const Segments* segments, Crossing* curve)
{
    uint64_t count = 2 * segments->count;
    uint64_t* refs = static_cast<uint64_t*>(malloc((count + 1) * sizeof(uint64_t)));
    if (!refs)
        return false;
    for (uint64_t k = 0; k < count; k++)
        refs[k] = uint64_t {segments->items[k / 2].triangle[k % 2]} << 32 | k;
    std::sort(refs, refs + count);
    uint64_t room = 0;
    for (uint64_t k = 0; k < count;) {
        uint64_t run = k + 1;
        while (run < count && refs[run] >> 32 == refs[k] >> 32)
            run++;
        uint32_t a = static_cast<uint32_t>(refs[k] >> 32);
        const double* mine = __least_crossing(s, a);
        for (uint64_t i = k; i < run; i++)
            for (uint64_t j = i + 1; j < run; j++) {
                const Segment* one = &segments->items[(refs[i] & 0xffffffffu) / 2];
                const Segment* two = &segments->items[(refs[j] & 0xffffffffu) / 2];
                uint32_t b = one->triangle[one->triangle[0] == a], c = two->triangle[two->triangle[0] == a];
                if (b == c || __point_less_crossing(__least_crossing(s, b), mine)
                    || __point_less_crossing(__least_crossing(s, c), mine))
                    continue;
                const uint32_t *cb = s->corners[b], *cc = s->corners[c];
                bool share = false;
                for (int x = 0; x < 3; x++)
                    share = share || cb[x] == cc[0] || cb[x] == cc[1] || cb[x] == cc[2];
                if (__point_less_crossing(__least_crossing(s, c), __least_crossing(s, b)))
                    std::swap(one, two);
                double at[3];
                if (share || !__triple_crossing(s, a, *one, *two, at))
                    continue;
                if (curve->triple_count == room) {
                    room = room ? 2 * room : 16;
                    void* more = realloc(curve->triples, room * sizeof *curve->triples);
                    if (!more) {
                        free(refs);
                        return false;
                    }
                    curve->triples = static_cast<double(*)[3]>(more);
                }
                memcpy(curve->triples[curve->triple_count++], at, sizeof at);
            }
        k = run;
    }
    free(refs);
    if (curve->triple_count)
        qsort(curve->triples, curve->triple_count, sizeof *curve->triples, __compare_crossing);
    return true;
}

} // namespace

const char* __join_crossing(const Shadow* shadow, const Segments* segments, Crossing* curve)
{
    uint64_t ends = 2 * segments->count;
    uint64_t* partner = static_cast<uint64_t*>(malloc((ends + 1) * sizeof(uint64_t)));
    uint64_t* open = static_cast<uint64_t*>(malloc((ends + 1) * sizeof(uint64_t)));
    uint64_t open_count = 0;
    bool whole = partner && open && __link_crossing(shadow, segments, partner)
        && __walk_crossing(shadow, segments, partner, curve, open, &open_count)
        && __sort_lines_crossing(curve) && __branches_crossing(shadow, segments, open, open_count, curve)
        && __triples_crossing(shadow, segments, curve);
    free(partner);
    free(open);
    if (!whole) {
        free_crossing(curve);
        return "out of memory";
    }
    for (uint64_t k = 0; k < curve->line_count; k++)
        for (uint64_t i = curve->starts[k] + 1; i < curve->starts[k + 1]; i++) {
            const double *a = curve->points[i - 1].at, *b = curve->points[i].at;
            curve->length += std::sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1])
                + (b[2] - a[2]) * (b[2] - a[2]));
        }
    return nullptr;
}
