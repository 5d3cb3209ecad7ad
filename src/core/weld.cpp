// The weld: each vertex's place on the grid hashed into a 64-bit key over
// its number, the keys sorted by their hashes (a radix sort, on every
// core), and each run of one hash split by the places themselves, since
// hashes of other places meet by chance.
#include "core/weld.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/spread.h"

namespace {

// The low half of a key holds its vertex's number.
constexpr uint64_t number_weld = 0xffffffffu;

// A finite coordinate's place on the grid, cells a unit apart: the floor of
// x, within 2^20 or so of 0, from its truncation, which takes no call.
int64_t __place_weld(float c, double per_cell)
{
    double x = c * per_cell + 0.5;
    int64_t place = static_cast<int64_t>(x);
    return place - (x < static_cast<double>(place));
}

bool __finite_weld(const float* c, int dim)
{
    for (int k = 0; k < dim; k++)
        if (!std::isfinite(c[k]))
            return false;
    return true;
}

// The vertex's place hashed, in the high half, over its number. A vertex
// that is not finite takes a hash of its number, which spreads such
// vertices over the runs.
uint64_t __key_weld(const float* c, int dim, double per_cell, uint64_t v)
{
    if (!__finite_weld(c, dim))
        return ((v * 0x9e3779b97f4a7c15u) & ~number_weld) | v;
    uint64_t hash = 0x9e3779b97f4a7c15u;
    for (int k = 0; k < dim; k++) {
        hash = (hash ^ static_cast<uint64_t>(__place_weld(c[k], per_cell))) * 0xff51afd7ed558ccdu;
        hash ^= hash >> 29;
    }
    return (hash & ~number_weld) | v;
}

// Whether two vertices lie on one point.
bool __same_weld(const float* a, const float* b, int dim, double per_cell)
{
    for (int k = 0; k < dim; k++) {
        if (!std::isfinite(a[k]) || !std::isfinite(b[k]))
            return false;
        if (a[k] != b[k] && __place_weld(a[k], per_cell) != __place_weld(b[k], per_cell))
            return false;
    }
    return true;
}

// Sorts keys by the low bits of their high halves, keeping the order of
// equal ones: two passes through spare and back, each part of the keys
// counted, then placed, on a core of its own.
void __sort_weld(uint64_t* keys, uint64_t* spare, uint64_t n, int bits)
{
    const int parts = parts_spread(n), digit = bits > 1 ? (bits + 1) / 2 : 1;
    const size_t size = size_t {1} << digit;
    std::vector<uint32_t> counts(static_cast<size_t>(parts) * size);
    for (int shift = 32; shift < 32 + 2 * digit; shift += digit) {
        run_spread(n, [&](int part, uint64_t first, uint64_t last) {
            uint32_t* count = &counts[static_cast<size_t>(part) * size];
            std::fill(count, count + size, 0u);
            for (uint64_t k = first; k < last; k++)
                count[(keys[k] >> shift) & (size - 1)]++;
        });
        // A part's keys of a digit go after every key of a smaller digit and
        // after the earlier parts' keys of that digit.
        uint32_t at = 0;
        for (size_t d = 0; d < size; d++)
            for (int part = 0; part < parts; part++) {
                uint32_t& count = counts[static_cast<size_t>(part) * size + d];
                uint32_t here = count;
                count = at;
                at += here;
            }
        run_spread(n, [&](int part, uint64_t first, uint64_t last) {
            uint32_t* place = &counts[static_cast<size_t>(part) * size];
            for (uint64_t k = first; k < last; k++)
                spare[place[(keys[k] >> shift) & (size - 1)]++] = keys[k];
        });
        std::swap(keys, spare);
    }
}

// Welds the vertices of the run of one hash from keys[start] to keys[end],
// in the order of their numbers, each to the first on its point: most runs
// are one point's few vertices. The run is sorted by place first, so that
// no run costs the square of its length.
void __run_weld(const float* coords, int dim, double per_cell, uint64_t* keys, uint64_t start, uint64_t end,
    uint32_t* ids)
{
    auto at = [&](uint64_t key) { return coords + (key & number_weld) * dim; };
    std::sort(keys + start, keys + end, [&](uint64_t a, uint64_t b) {
        bool finite = __finite_weld(at(a), dim);
        if (finite != __finite_weld(at(b), dim))
            return finite;
        for (int k = 0; finite && k < dim; k++) {
            int64_t x = __place_weld(at(a)[k], per_cell), y = __place_weld(at(b)[k], per_cell);
            if (x != y)
                return x < y;
        }
        return a < b;
    });
    uint32_t first = 0;
    for (uint64_t k = start; k < end; k++) {
        if (k == start || !__same_weld(at(keys[k - 1]), at(keys[k]), dim, per_cell))
            first = static_cast<uint32_t>(keys[k] & number_weld);
        ids[keys[k] & number_weld] = first;
    }
}

// The run of sorted keys that holds the hash of key: its start and end.
void __find_run_weld(const uint64_t* keys, uint64_t n, uint64_t key, uint64_t* start, uint64_t* end)
{
    auto below = [](uint64_t a, uint64_t b) { return a >> 32 < b >> 32; };
    *start = static_cast<uint64_t>(std::lower_bound(keys, keys + n, key, below) - keys);
    *end = static_cast<uint64_t>(std::upper_bound(keys, keys + n, key, below) - keys);
}

} // namespace

int weld_vertices(const float* coords, uint8_t dim, uint64_t n, uint32_t* ids, const std::atomic<bool>* stop,
    uint64_t* scratch)
{
    if (n > number_weld)
        return 0;
    // The grid's cell: 2^-20 of the largest finite coordinate.
    std::vector<float> largest(static_cast<size_t>(parts_spread(n * dim)), 0.0f);
    run_spread(n * dim, [&](int part, uint64_t first, uint64_t last) {
        float most = 0.0f;
        for (uint64_t k = first; k < last; k++)
            if (std::isfinite(coords[k]) && std::fabs(coords[k]) > most)
                most = std::fabs(coords[k]);
        largest[static_cast<size_t>(part)] = most;
    });
    float most = *std::max_element(largest.begin(), largest.end());
    double per_cell = most > 0.0f ? std::ldexp(1.0 / static_cast<double>(most), 20) : 1.0;

    uint64_t* keys = scratch ? scratch : static_cast<uint64_t*>(malloc((2 * n + 1) * sizeof(uint64_t)));
    if (!keys)
        return 0;
    run_spread(n, [&](int, uint64_t first, uint64_t last) {
        for (uint64_t v = first; v < last; v++)
            keys[v] = __key_weld(coords + v * dim, dim, per_cell, v);
    });
    __sort_weld(keys, keys + n, n, 32);
    // Each vertex to the first of its run, read in the order of the keys
    // alone, then checked against it in the order of the file, where the
    // two are near. A run whose hash two points share is welded again by
    // place; that is rare.
    run_spread(n, [&](int, uint64_t first, uint64_t last) {
        uint64_t head = first;
        while (head > 0 && keys[head] >> 32 == keys[head - 1] >> 32)
            head--;
        for (uint64_t k = first; k < last; k++) {
            head = keys[k] >> 32 == keys[head] >> 32 ? head : k;
            ids[keys[k] & number_weld] = static_cast<uint32_t>(keys[head] & number_weld);
        }
    });
    std::vector<std::vector<uint64_t>> mixed(static_cast<size_t>(parts_spread(n)));
    run_spread(n, [&](int part, uint64_t first, uint64_t last) {
        for (uint64_t v = first; v < last && !(stop && stop->load()); v++)
            if (ids[v] != v
                && !__same_weld(coords + v * dim, coords + uint64_t {ids[v]} * dim, dim, per_cell))
                mixed[static_cast<size_t>(part)].push_back(v);
    });
    for (const std::vector<uint64_t>& part : mixed)
        for (uint64_t v : part) {
            uint64_t start, end;
            __find_run_weld(keys, n, __key_weld(coords + v * dim, dim, per_cell, v), &start, &end);
            __run_weld(coords, dim, per_cell, keys, start, end, ids);
        }
    if (!scratch)
        free(keys);
    return !(stop && stop->load());
}

int group_weld(const uint32_t* ids, uint64_t n, uint32_t* members, uint64_t* scratch)
{
    if (n > ~start_weld)
        return 0;
    uint64_t* keys = scratch ? scratch : static_cast<uint64_t*>(malloc((2 * n + 1) * sizeof(uint64_t)));
    if (!keys)
        return 0;
    // Each vertex's first vertex over its own number, sorted by the first.
    run_spread(n, [&](int, uint64_t first, uint64_t last) {
        for (uint64_t v = first; v < last; v++)
            keys[v] = uint64_t {ids[v]} << 32 | v;
    });
    int bits = 1;
    while (bits < 32 && n > uint64_t {1} << bits)
        bits++;
    __sort_weld(keys, keys + n, n, bits);
    run_spread(n, [&](int, uint64_t first, uint64_t last) {
        for (uint64_t k = first; k < last; k++) {
            bool starts = k == 0 || keys[k] >> 32 != keys[k - 1] >> 32;
            members[k] = static_cast<uint32_t>(keys[k] & number_weld) | (starts ? start_weld : 0u);
        }
    });
    if (!scratch)
        free(keys);
    return 1;
}
