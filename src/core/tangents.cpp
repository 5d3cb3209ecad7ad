// Tangent planes: vertices grouped by their place, rounded to a grid far
// finer than any surface's detail, through a sort of their places' hashes;
// then, for each group, the plane nearest to all its triangles' planes.
#include "core/tangents.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/host.h"

namespace {

// Runs work(first, last) over 0 to n, in two halves on two threads where
// there are threads and enough work.
template <class Work> void __halves_tangents(uint64_t n, Work work)
{
    if (!has_threads_platform || n < 65536) {
        work(uint64_t {0}, n);
        return;
    }
    std::thread second([&] { work(n / 2, n); });
    work(uint64_t {0}, n / 2);
    second.join();
}

// A coordinate's place on the grid, cells a unit apart.
int64_t __place_tangents(float c, double per_cell)
{
    return static_cast<int64_t>(std::floor(c * per_cell + 0.5));
}

// A vertex's place on the grid, hashed, in the high half; its number in the
// low half.
uint64_t __key_tangents(const float* c, int dim, double per_cell, uint64_t v)
{
    uint64_t hash = 0x9e3779b97f4a7c15u;
    for (int k = 0; k < dim; k++) {
        // A vertex that is not finite has no place, and stands alone.
        if (!std::isfinite(c[k]))
            return ((v * 0x9e3779b97f4a7c15u) & 0xffffffff00000000u) | v;
        hash = (hash ^ static_cast<uint64_t>(__place_tangents(c[k], per_cell))) * 0xff51afd7ed558ccdu;
        hash ^= hash >> 29;
    }
    return (hash & 0xffffffff00000000u) | v;
}

// Whether two vertices lie on the same point of the grid.
bool __same_place_tangents(const float* a, const float* b, int dim, double per_cell)
{
    for (int k = 0; k < dim; k++)
        if (a[k] != b[k] && __place_tangents(a[k], per_cell) != __place_tangents(b[k], per_cell))
            return false;
    return true;
}

// Sorts keys by their high halves, 16 bits a pass, through spare.
void __sort_tangents(uint64_t* keys, uint64_t* spare, uint64_t n)
{
    static uint64_t counts[1 << 16];
    for (int shift = 32; shift < 64; shift += 16) {
        memset(counts, 0, sizeof counts);
        for (uint64_t k = 0; k < n; k++)
            counts[(keys[k] >> shift) & 0xffff]++;
        uint64_t at = 0;
        for (uint64_t& count : counts) {
            uint64_t here = count;
            count = at;
            at += here;
        }
        for (uint64_t k = 0; k < n; k++)
            spare[counts[(keys[k] >> shift) & 0xffff]++] = keys[k];
        memcpy(keys, spare, n * sizeof *keys);
    }
}

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
    for (int k = 0; k < dim; k++)
        b[k] /= length;
    return true;
}

// Room for the planes of a group's triangles: two vectors and a weight each.
struct Scratch {
    double* planes;
    uint64_t room;
};

// The plane of the triangle at corner v, as two orthonormal vectors, and
// the angle at the corner as its weight; 0 for a triangle without area.
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
    for (int k = 0; k < dim; k++)
        across += w[k] * (static_cast<double>(c[k]) - at[k]);
    *weight = std::atan2(across, along);
    return std::isfinite(*weight);
}

// The plane of a group of vertices: the 2-plane nearest to its triangles'
// planes, weighted by their angles, the leading pair of eigenvectors of the
// sum of their projections, found by a few steps of subspace iteration from
// the first one. Writes it to every vertex of the group.
template <int D>
bool __group_tangents(
    const float* coords, int dim, const uint64_t* members, uint64_t count, Scratch* scratch, uint16_t* halves)
{
    dim = D ? D : dim;
    uint64_t stride = 2 * dim + 1;
    if (count * stride > scratch->room) {
        double* more = static_cast<double*>(realloc(scratch->planes, count * stride * sizeof(double)));
        if (!more)
            return false;
        scratch->planes = more;
        scratch->room = count * stride;
    }
    uint64_t planes = 0;
    for (uint64_t k = 0; k < count; k++) {
        double* plane = scratch->planes + planes * stride;
        planes += __corner_tangents<D>(coords, dim, members[k] & 0xffffffffu, plane, plane + 2 * dim);
    }
    double x[2 * 256], y[2 * 256];
    for (int k = 0; k < 2 * dim; k++)
        x[k] = 0.0;
    if (planes) {
        memcpy(x, scratch->planes, 2 * dim * sizeof(double));
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
    }
    uint16_t written[2 * 256];
    for (int k = 0; k < 2 * dim; k++)
        written[k] = half_tangents(static_cast<float>(x[k]));
    for (uint64_t k = 0; k < count; k++)
        memcpy(halves + (members[k] & 0xffffffffu) * 2 * dim, written, 2 * dim * sizeof(uint16_t));
    return true;
}

// The groups of the runs of one hash from run first to run last, split by
// place where hashes meet by chance; keys[starts[r]] to keys[starts[r + 1]]
// hold run r's vertices.
bool __groups_tangents(const float* coords, int dim, double per_cell, uint64_t* keys, const uint64_t* starts,
    uint64_t first, uint64_t last, uint16_t* halves, const std::atomic<bool>* stop)
{
    Scratch scratch = {nullptr, 0};
    bool whole = true;
    for (uint64_t r = first; r < last && whole; r++) {
        uint64_t start = starts[r], end = starts[r + 1];
        // Members of the first vertex's place to the front, the rest after.
        for (uint64_t head = start; head < end && whole;) {
            const float* at = coords + (keys[head] & 0xffffffffu) * dim;
            uint64_t split = head + 1;
            for (uint64_t k = head + 1; k < end; k++)
                if (__same_place_tangents(at, coords + (keys[k] & 0xffffffffu) * dim, dim, per_cell)) {
                    uint64_t moved = keys[k];
                    keys[k] = keys[split];
                    keys[split++] = moved;
                }
            whole = dim == 4 ? __group_tangents<4>(coords, dim, keys + head, split - head, &scratch, halves)
                             : __group_tangents<0>(coords, dim, keys + head, split - head, &scratch, halves);
            head = split;
        }
        if (r % 65536 == 0 && stop->load())
            whole = false;
    }
    free(scratch.planes);
    return whole;
}

// Puts the runs of sorted keys in the order of their first vertices (the
// sort keeps each run's in their order), so that the triangles they read
// follow the file, into runs[]: their starts, from runs[0] to runs[count].
// Returns none when memory runs out, else where the keys now are: their
// spare half.
uint64_t* __follow_file_tangents(uint64_t* keys, uint64_t n, uint64_t** runs, uint64_t* count)
{
    uint64_t found = 0;
    for (uint64_t k = 0; k < n; k++)
        found += k == 0 || keys[k] >> 32 != keys[k - 1] >> 32;
    uint64_t* order = static_cast<uint64_t*>(malloc((2 * found + 1) * sizeof(uint64_t)));
    uint64_t* starts = static_cast<uint64_t*>(malloc((found + 1) * sizeof(uint64_t)));
    if (!order || !starts) {
        free(order);
        free(starts);
        return nullptr;
    }
    uint64_t r = 0;
    for (uint64_t k = 0; k < n; k++)
        if (k == 0 || keys[k] >> 32 != keys[k - 1] >> 32)
            starts[r++] = k;
    starts[found] = n;
    for (r = 0; r < found; r++)
        order[r] = (keys[starts[r]] & 0xffffffffu) << 32 | r;
    __sort_tangents(order, order + found, found);
    uint64_t* moved = keys + n;
    uint64_t at = 0;
    for (r = 0; r < found; r++) {
        uint64_t run = order[r] & 0xffffffffu;
        order[found + r] = at;
        for (uint64_t k = starts[run]; k < starts[run + 1]; k++)
            moved[at++] = keys[k];
    }
    order[2 * found] = n;
    memmove(order, order + found, (found + 1) * sizeof(uint64_t));
    free(starts);
    *runs = order;
    *count = found;
    return moved;
}

} // namespace

uint16_t half_tangents(float value)
{
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
    int exponent = static_cast<int>((bits >> 23) & 0xffu) - 127 + 15;
    if (exponent <= 0)
        return sign;
    // Rounded to nearest, a carry going on into the exponent.
    uint32_t half = (static_cast<uint32_t>(exponent) << 10 | (bits & 0x7fffffu) >> 13) + ((bits >> 12) & 1u);
    return static_cast<uint16_t>(sign | (half < 0x7c00u ? half : 0x7c00u));
}

int find_tangents(
    const float* coords, uint8_t dim, uint64_t n, uint16_t* halves, const std::atomic<bool>* stop)
{
    // A grid 2^-20 of the largest coordinate apart: far finer than any
    // triangle, far coarser than a float's rounding there.
    float largest[2] = {};
    __halves_tangents(n * dim, [&](uint64_t first, uint64_t last) {
        float& most = largest[first > 0];
        for (uint64_t k = first; k < last; k++)
            if (std::isfinite(coords[k]))
                most = std::fmax(most, std::fabs(coords[k]));
    });
    float most = std::fmax(largest[0], largest[1]);
    double per_cell = most > 0.0f ? std::ldexp(1.0 / static_cast<double>(most), 20) : 1.0;
    uint64_t* keys = static_cast<uint64_t*>(malloc((2 * n + 1) * sizeof(uint64_t)));
    if (!keys)
        return 0;
    __halves_tangents(n, [&](uint64_t first, uint64_t last) {
        for (uint64_t v = first; v < last; v++)
            keys[v] = __key_tangents(coords + v * dim, dim, per_cell, v);
    });
    __sort_tangents(keys, keys + n, n);
    uint64_t* runs = nullptr;
    uint64_t count = 0;
    uint64_t* moved = __follow_file_tangents(keys, n, &runs, &count);
    if (!moved) {
        free(keys);
        return 0;
    }
    // Each half of the runs on a thread of its own, where there are threads.
    bool whole[2] = {true, true};
    __halves_tangents(count, [&](uint64_t first, uint64_t last) {
        whole[first > 0] = __groups_tangents(coords, dim, per_cell, moved, runs, first, last, halves, stop);
    });
    free(runs);
    free(keys);
    return whole[0] && whole[1] && !stop->load();
}

namespace {

struct Job {
    std::thread thread;
    std::atomic<bool> stop;
    std::atomic<int> state; // as done_tangents says
    uint32_t serial;        // 0: none
    const float* coords;
    uint8_t dim;
    uint64_t n;
    uint16_t* halves;
};

Job job;

void __run_tangents()
{
    int found = find_tangents(job.coords, job.dim, job.n, job.halves, &job.stop);
    job.state = found ? 1 : 2;
}

} // namespace

void start_tangents(const float* coords, uint8_t dim, uint64_t n, uint16_t* halves, uint32_t serial)
{
    stop_tangents(job.serial);
    job.stop = false;
    job.state = 0;
    job.serial = serial;
    job.coords = coords;
    job.dim = dim;
    job.n = n;
    job.halves = halves;
    if (has_threads_platform)
        job.thread = std::thread(__run_tangents);
}

int done_tangents(uint32_t serial, bool wait)
{
    if (!serial || serial != job.serial)
        return -1;
    if (!has_threads_platform && job.state == 0)
        __run_tangents();
    if (wait && job.thread.joinable())
        job.thread.join();
    int state = job.state;
    if (state == 0)
        return 0;
    if (job.thread.joinable())
        job.thread.join();
    job.serial = 0;
    return state;
}

void stop_tangents(uint32_t serial)
{
    if (!serial || serial != job.serial)
        return;
    job.stop = true;
    if (job.thread.joinable())
        job.thread.join();
    job.serial = 0;
}
