// Tangent planes: vertices welded, the welded ones laid out together in the
// order of their first vertices, so that the triangles each group reads
// follow the file; then, for each group, on every core, the plane nearest
// to all its triangles' planes.
#include "core/tangents.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/room.h"
#include "core/spread.h"
#include "core/weld.h"

namespace {

// The maths of the planes, for any dim, and for dim 4 (D = 4), the usual,
// with loops the compiler lays out in full.
template <int D> double __dot_tangents(const double* a, const double* b, int dim)
{
    dim = D ? D : dim;
    double sum = 0.0;
    for (int k = 0; k < dim; k++)
        sum += a[k] * b[k];
    return sum;
}

// Makes b orthogonal to a (of length 1) and of length 1; 0 when it has no
// direction of its own.
template <int D> bool __orthonormal_tangents(const double* a, double* b, int dim)
{
    dim = D ? D : dim;
    double along = a ? __dot_tangents<D>(a, b, dim) : 0.0;
    for (int k = 0; k < dim && a; k++)
        b[k] -= along * a[k];
    double length = std::sqrt(__dot_tangents<D>(b, b, dim));
    if (!(length > 1e-12))
        return false;
    double inverse = 1.0 / length;
    for (int k = 0; k < dim; k++)
        b[k] *= inverse;
    return true;
}

// Room for the planes of a group's triangles: two vectors and a weight each.
struct Scratch {
    double* planes;
    uint64_t room;
};

// The plane of the triangle at corner v, as two orthonormal vectors, and,
// where weight is given, the angle at the corner as its weight; 0 for a
// triangle without area.
template <int D>
bool __corner_tangents(const float* coords, int dim, uint64_t v, double* plane, double* weight)
{
    dim = D ? D : dim;
    uint64_t first = v - v % 3;
    const float* at = coords + v * dim;
    const float* b = coords + (first + (v - first + 1) % 3) * dim;
    const float* c = coords + (first + (v - first + 2) % 3) * dim;
    double* u = plane;
    double* w = plane + dim;
    for (int k = 0; k < dim; k++) {
        u[k] = static_cast<double>(b[k]) - at[k];
        w[k] = static_cast<double>(c[k]) - at[k];
    }
    if (!__orthonormal_tangents<D>(nullptr, u, dim))
        return false;
    double along = __dot_tangents<D>(u, w, dim), across = 0.0;
    if (!__orthonormal_tangents<D>(u, w, dim))
        return false;
    if (!weight)
        return true;
    for (int k = 0; k < dim; k++)
        across += w[k] * (static_cast<double>(c[k]) - at[k]);
    *weight = std::atan2(across, along);
    return std::isfinite(*weight);
}

// Where the sum of the projections, dim^2 numbers, costs less to add to
// and to apply than the planes it sums: small dim.
constexpr int summed_tangents = 8;

// The projection onto the plane of the triangle at a corner, weighted by
// the angle there: with edges e and f from the corner, whose dot products
// are ee, ef and ff, the projection is (ff e e' - ef (e f' + f e') + ee f
// f') / det for det = ee ff - ef^2, and the angle's sine and cosine go as
// sqrt(det) and ef: no edge is made of length 1. A corner's parts, and
// whether its triangle has area.
struct Corner {
    double e[summed_tangents], f[summed_tangents];
    double ee, ef, ff, det, share;
    bool found;
};

template <int D> void __edges_tangents(const float* coords, int dim, uint64_t v, Corner* corner)
{
    dim = D ? D : dim;
    uint64_t first = v - v % 3;
    const float* at = coords + v * dim;
    const float* b = coords + (first + (v - first + 1) % 3) * dim;
    const float* c = coords + (first + (v - first + 2) % 3) * dim;
    double* e = corner->e;
    double* f = corner->f;
    for (int k = 0; k < dim; k++) {
        e[k] = static_cast<double>(b[k]) - at[k];
        f[k] = static_cast<double>(c[k]) - at[k];
    }
    corner->ee = __dot_tangents<D>(e, e, dim);
    corner->ef = __dot_tangents<D>(e, f, dim);
    corner->ff = __dot_tangents<D>(f, f, dim);
    corner->det = corner->ee * corner->ff - corner->ef * corner->ef;
    // As the planes' own vectors have it: an edge, and the other edge
    // across it, each longer than 1e-12.
    corner->found = corner->ee > 1e-24 && corner->det > 1e-24 * corner->ee;
}

// Adds the projections at the corners of members from first to last to
// the lower half of sum, in their order, eight corners at a time: their
// edges, then their angles, then their sums, so that the corners' waits for
// roots and angles overlap. Returns how many from counted on have area.
template <int D>
uint64_t __projections_tangents(const float* coords, int dim, const uint32_t* members, uint64_t first,
    uint64_t last, uint64_t counted, double (*sum)[summed_tangents])
{
    dim = D ? D : dim;
    Corner corners[8];
    uint64_t found = 0;
    for (uint64_t at = first; at < last; at += 8) {
        int count = static_cast<int>(std::min<uint64_t>(8, last - at));
        for (int i = 0; i < count; i++)
            __edges_tangents<D>(coords, dim, members[at + i] & ~start_weld, &corners[i]);
        for (int i = 0; i < count; i++) {
            Corner& corner = corners[i];
            if (corner.found) {
                corner.share = std::atan2(std::sqrt(corner.det), corner.ef) / corner.det;
                corner.found = std::isfinite(corner.share);
            }
        }
        for (int i = 0; i < count; i++) {
            const Corner& corner = corners[i];
            if (!corner.found)
                continue;
            found += at + static_cast<uint64_t>(i) >= counted;
            const double *e = corner.e, *f = corner.f;
            double p[summed_tangents], q[summed_tangents];
            for (int k = 0; k < dim; k++) {
                p[k] = corner.share * (corner.ff * e[k] - corner.ef * f[k]);
                q[k] = corner.share * (corner.ee * f[k] - corner.ef * e[k]);
            }
            for (int r = 0; r < dim; r++)
                for (int c = 0; c <= r; c++)
                    sum[r][c] += e[r] * p[c] + f[r] * q[c];
        }
    }
    return found;
}

// Where a group's plane goes: the point's number, the planes, and each
// vertex's point.
struct Point {
    uint64_t number;
    uint16_t* halves;
    uint32_t* points;
};

// The plane's two vectors written as halves to the point, and the point's
// number to every vertex of the group.
void __write_tangents(const double* x, int dim, const uint32_t* members, uint64_t count, const Point& point)
{
    uint16_t* written = point.halves + point.number * 2 * dim;
    for (int k = 0; k < 2 * dim; k++)
        written[k] = half_tangents(static_cast<float>(x[k]));
    for (uint64_t k = 0; k < count; k++)
        point.points[members[k] & ~start_weld] = static_cast<uint32_t>(point.number);
}

// The plane of a group of vertices is the 2-plane nearest to its
// triangles' planes, weighted by their angles: the leading pair of
// eigenvectors of the sum of their projections, found by a few steps of
// subspace iteration from the first plane. Up to dim summed_tangents the
// sum is kept as a matrix, else its planes are kept.

// A group's sum while its plane is found: the lower half of the sum, the
// plane it starts from, and how many planes it sums.
struct Sum {
    double sum[summed_tangents][summed_tangents];
    double x[2 * summed_tangents];
    uint64_t planes;
};

// Starts a group's sum: its first plane, from the first of count members
// whose triangle has area, as the plane to start from. Returns that
// member's place, count when there is none.
template <int D>
uint64_t __start_tangents(const float* coords, int dim, const uint32_t* members, uint64_t count, Sum* sum)
{
    dim = D ? D : dim;
    for (int i = 0; i < dim; i++)
        for (int j = 0; j <= i; j++)
            sum->sum[i][j] = 0.0;
    memset(sum->x, 0, 2 * dim * sizeof(double));
    sum->planes = 0;
    for (uint64_t k = 0; k < count; k++) {
        double plane[2 * summed_tangents];
        if (!__corner_tangents<D>(coords, dim, members[k] & ~start_weld, plane, nullptr))
            continue;
        memcpy(sum->x, plane, 2 * dim * sizeof(double));
        sum->planes = 1;
        return k;
    }
    return count;
}

// __orthonormal_tangents on the vectors b of two lanes, each against its
// a where a is given, side by side so that the waits for their roots and
// quotients overlap. Only lanes still going take part; a lane whose b has
// no direction of its own stops.
template <int D> void __pair_orthonormal_tangents(double* const* a, double* const* b, bool* going, int dim)
{
    dim = D ? D : dim;
    double along[2] = {}, length[2] = {};
    for (int lane = 0; lane < 2 && a; lane++)
        if (going[lane])
            along[lane] = __dot_tangents<D>(a[lane], b[lane], dim);
    for (int lane = 0; lane < 2 && a; lane++)
        for (int k = 0; k < dim && going[lane]; k++)
            b[lane][k] -= along[lane] * a[lane][k];
    for (int lane = 0; lane < 2; lane++)
        if (going[lane])
            length[lane] = std::sqrt(__dot_tangents<D>(b[lane], b[lane], dim));
    for (int lane = 0; lane < 2; lane++)
        going[lane] = going[lane] && length[lane] > 1e-12;
    for (int lane = 0; lane < 2; lane++) {
        double inverse = going[lane] ? 1.0 / length[lane] : 0.0;
        for (int k = 0; k < dim && going[lane]; k++)
            b[lane][k] *= inverse;
    }
}

// The steps of the iteration on the sums of lanes groups at once (at most
// two), each step of one beside the other's.
template <int D> void __steps_tangents(Sum* sums, int lanes, int dim)
{
    dim = D ? D : dim;
    bool going[2] = {};
    for (int lane = 0; lane < lanes; lane++) {
        going[lane] = sums[lane].planes > 1;
        for (int i = 0; i < dim; i++)
            for (int j = 0; j < i; j++)
                sums[lane].sum[j][i] = sums[lane].sum[i][j];
    }
    double y[2][2 * summed_tangents];
    double* firsts[2] = {y[0], y[1]};
    double* seconds[2] = {y[0] + dim, y[1] + dim};
    for (int step = 0; step < 2; step++) {
        for (int lane = 0; lane < 2; lane++)
            for (int j = 0; j < 2 && going[lane]; j++)
                for (int i = 0; i < dim; i++)
                    y[lane][j * dim + i] = __dot_tangents<D>(sums[lane].sum[i], sums[lane].x + j * dim, dim);
        __pair_orthonormal_tangents<D>(nullptr, firsts, going, dim);
        __pair_orthonormal_tangents<D>(firsts, seconds, going, dim);
        for (int lane = 0; lane < 2; lane++)
            if (going[lane])
                memcpy(sums[lane].x, y[lane], 2 * dim * sizeof(double));
    }
}

// The plane of a group of vertices past dim summed_tangents, from its
// triangles' planes kept in scratch; written to the group's point.
template <int D>
bool __group_tangents(const float* coords, int dim, const uint32_t* members, uint64_t count, Scratch* scratch,
    const Point& point)
{
    dim = D ? D : dim;
    uint64_t stride = 2 * dim + 1;
    uint64_t planes = 0;
    double x[2 * 256], y[2 * 256];
    memset(x, 0, 2 * dim * sizeof(double));
    for (uint64_t k = 0; k < count; k++) {
        // Room grows with the planes found, not with the group: a point
        // that a file repeats in triangles without area takes none.
        if ((planes + 1) * stride > scratch->room) {
            uint64_t room = 2 * (planes + 8) * stride;
            double* more = static_cast<double*>(realloc(scratch->planes, room * sizeof(double)));
            if (!more)
                return false;
            scratch->planes = more;
            scratch->room = room;
        }
        uint64_t v = members[k] & ~start_weld;
        double* plane = scratch->planes + planes * stride;
        if (!__corner_tangents<D>(coords, dim, v, plane, plane + 2 * dim))
            continue;
        if (!planes)
            memcpy(x, plane, 2 * dim * sizeof(double));
        planes++;
    }
    for (int step = 0; step < 2 && planes > 1; step++) {
        memset(y, 0, 2 * dim * sizeof(double));
        for (uint64_t t = 0; t < planes; t++) {
            const double* p = scratch->planes + t * stride;
            double weight = p[2 * dim];
            for (int j = 0; j < 2; j++)
                for (int i = 0; i < 2; i++) {
                    double share = weight * __dot_tangents<D>(p + i * dim, x + j * dim, dim);
                    for (int k = 0; k < dim; k++)
                        y[j * dim + k] += share * p[i * dim + k];
                }
        }
        if (!__orthonormal_tangents<D>(nullptr, y, dim) || !__orthonormal_tangents<D>(y, y + dim, dim))
            break;
        memcpy(x, y, 2 * dim * sizeof(double));
    }
    __write_tangents(x, dim, members, count, point);
    return true;
}

// The place after the group that starts at place at, before last.
uint64_t __end_tangents(const uint32_t* members, uint64_t at, uint64_t last)
{
    uint64_t end = at + 1;
    while (end < last && !(members[end] & start_weld))
        end++;
    return end;
}

// The planes of summed groups from place first to place last, two groups
// at a time. Where ready is given, it says now and then up to which vertex
// all are written: the first of the next group, as every group before it
// starts before it.
template <int D>
void __pairs_tangents(const float* coords, int dim, const uint32_t* members, uint64_t first, uint64_t last,
    Point point, const std::atomic<bool>* stop, std::atomic<uint64_t>* ready)
{
    Sum sums[2];
    for (uint64_t at = first, pairs = 1; at < last && (pairs % 32768 || !stop->load()); pairs++) {
        uint64_t starts[3] = {at, at, at}, firsts[2];
        int lanes = 0;
        // Both groups' first planes before their sums, so that the two
        // wait side by side as well.
        for (; lanes < 2 && at < last; lanes++) {
            at = __end_tangents(members, at, last);
            starts[lanes + 1] = at;
            firsts[lanes]
                = __start_tangents<D>(coords, dim, members + starts[lanes], at - starts[lanes], &sums[lanes]);
        }
        // Each sum from its first plane on, which is counted already.
        for (int lane = 0; lane < lanes; lane++)
            sums[lane].planes += __projections_tangents<D>(coords, dim, members + starts[lane], firsts[lane],
                starts[lane + 1] - starts[lane], firsts[lane] + 1, sums[lane].sum);
        __steps_tangents<D>(sums, lanes, dim);
        for (int lane = 0; lane < lanes; lane++, point.number++)
            __write_tangents(
                sums[lane].x, dim, members + starts[lane], starts[lane + 1] - starts[lane], point);
        if (ready && pairs % 1024 == 0 && at < last) {
            ready->store(members[at] & ~start_weld);
            ready->notify_all();
        }
    }
}

// The planes of the groups of members (as group_weld lays them out) from
// place first to place last, the first group's point being point's.
bool __groups_tangents(const float* coords, int dim, const uint32_t* members, uint64_t first, uint64_t last,
    Point point, const std::atomic<bool>* stop, std::atomic<uint64_t>* ready)
{
    if (dim <= summed_tangents) {
        if (dim == 4)
            __pairs_tangents<4>(coords, dim, members, first, last, point, stop, ready);
        else
            __pairs_tangents<0>(coords, dim, members, first, last, point, stop, ready);
        return !stop->load();
    }
    Scratch scratch = {nullptr, 0};
    bool whole = true;
    for (uint64_t at = first, groups = 0; at < last && whole; groups++, point.number++) {
        uint64_t end = __end_tangents(members, at, last);
        whole = __group_tangents<0>(coords, dim, members + at, end - at, &scratch, point);
        at = end;
        if (groups % 65536 == 0 && stop->load())
            whole = false;
    }
    free(scratch.planes);
    return whole;
}

} // namespace

int find_tangents(const float* coords, uint8_t dim, uint64_t n, uint32_t* points, Planes* planes,
    const std::atomic<bool>* stop, Progress* progress)
{
    *planes = {nullptr, 0};
    // The weld's keys, then in their second half the groups it lays out;
    // points holds the weld's ids until then.
    uint64_t* scratch = static_cast<uint64_t*>(take_room(2 * n * sizeof(uint64_t)));
    uint32_t* members = scratch ? reinterpret_cast<uint32_t*>(scratch + n) : nullptr;
    bool welded = scratch && weld_vertices(coords, dim, n, points, stop, scratch)
        && group_weld(points, n, members, scratch);
    // The keys are done with: their pages go back while the planes are found.
    if (welded)
        spend_room(scratch, 0, n * sizeof(uint64_t));
    // Each part of the places takes the groups that start in it, numbered
    // on from those of the parts before.
    std::vector<uint64_t> firsts(static_cast<size_t>(parts_spread(n)) + 1, 0);
    if (welded)
        run_spread(n, [&](int part, uint64_t first, uint64_t last) {
            uint64_t starts = 0;
            for (uint64_t k = first; k < last; k++)
                starts += (members[k] & start_weld) != 0;
            firsts[static_cast<size_t>(part) + 1] = starts;
        });
    for (size_t part = 1; part < firsts.size(); part++)
        firsts[part] += firsts[part - 1];
    uint64_t count = firsts.back();
    uint16_t* halves = welded ? static_cast<uint16_t*>(take_room(4 * uint64_t {dim} * count)) : nullptr;
    // The first part's groups come first in the file: drawn meanwhile, as
    // far as they go.
    bool given = halves && progress && dim <= summed_tangents;
    if (given) {
        progress->planes = {halves, count};
        progress->taken = true;
        progress->taken.notify_all();
    }
    std::atomic<bool> failed(!halves);
    if (halves)
        run_spread(n, [&](int part, uint64_t first, uint64_t last) {
            while (first < n && first > 0 && !(members[first] & start_weld))
                first++;
            while (last < n && !(members[last] & start_weld))
                last++;
            Point point = {firsts[static_cast<size_t>(part)], halves, points};
            std::atomic<uint64_t>* ready = given && part == 0 ? &progress->ready : nullptr;
            if (!__groups_tangents(coords, dim, members, first, last, point, stop, ready))
                failed = true;
        });
    give_room(scratch, 2 * n * sizeof(uint64_t));
    if (failed || stop->load()) {
        if (!given)
            give_room(halves, 4 * uint64_t {dim} * count);
        return 0;
    }
    *planes = {halves, count};
    return 1;
}
