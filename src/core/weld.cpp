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

// The checks and the hash for any dim, and for dim 4 (D = 4), the usual,
// with loops the compiler lays out in full.
template <int D> bool __finite_weld(const float* c, int dim)
{
    dim = D ? D : dim;
    for (int k = 0; k < dim; k++)
        if (!std::isfinite(c[k]))
            return false;
    return true;
}

// The vertex's place hashed, in the high half, over its number: each
// coordinate's place mixed apart, so that no multiply waits on another,
// then their sum mixed. A vertex that is not finite takes a hash of its
// number, which spreads such vertices over the runs.
template <int D> uint64_t __key_weld(const float* c, int dim, double per_cell, uint64_t v)
{
    dim = D ? D : dim;
    if (!__finite_weld<D>(c, dim))
        return ((v * 0x9e3779b97f4a7c15u) & ~number_weld) | v;
    uint64_t hash = 0;
    for (int k = 0; k < dim; k++) {
        uint64_t mixed = (static_cast<uint64_t>(__place_weld(c[k], per_cell)) + (k + 1) * 0x9e3779b97f4a7c15u)
            * 0xff51afd7ed558ccdu;
        hash += mixed ^ mixed >> 29;
    }
    hash = (hash ^ hash >> 32) * 0xc4ceb9fe1a85ec53u;
    return ((hash ^ hash >> 29) & ~number_weld) | v;
}

// Whether two vertices lie on one point.
template <int D> bool __same_weld(const float* a, const float* b, int dim, double per_cell)
{
    dim = D ? D : dim;
    for (int k = 0; k < dim; k++) {
        if (!std::isfinite(a[k]) || !std::isfinite(b[k]))
            return false;
        if (a[k] != b[k] && __place_weld(a[k], per_cell) != __place_weld(b[k], per_cell))
            return false;
    }
    return true;
}

// The sorts' digits: 2^11 counts fit the first level cache, and keys
// parted into 2^11 streams at once still find their lines there.
constexpr int digit_weld = 11;

// Counts of keys by their top digit, one row a part of the keys as
// run_spread cuts them, then where each part's keys of a digit start.
struct Counts {
    std::vector<uint32_t> places;
    int shift;   // the top digit's lowest bit
    int buckets; // 2^(the top digit's bits)
};

// The counts for keys sorted by bits 32 to 32 + bits: the top digit is at
// most digit_weld of them.
Counts __counts_weld(uint64_t n, int bits)
{
    int top = std::min(bits, digit_weld);
    int buckets = 1 << top;
    return {std::vector<uint32_t>(static_cast<size_t>(parts_spread(n)) * static_cast<size_t>(buckets), 0u),
        32 + bits - top, buckets};
}

// Puts count keys that share their digits so far, in the order of their
// low halves, in the order of whole keys: most often one key or a few, by
// insertion; a long run by std::sort, so that none costs the square of its
// length.
void __finish_weld(uint64_t* keys, uint64_t count)
{
    if (count > 32) {
        std::sort(keys, keys + count);
        return;
    }
    for (uint64_t k = 1; k < count; k++) {
        uint64_t key = keys[k], at = k;
        for (; at > 0 && keys[at - 1] > key; at--)
            keys[at] = keys[at - 1];
        keys[at] = key;
    }
}

// Sorts the count keys of one bucket, in from, by bits 32 to 32 + bits into
// to, whole keys in order: those of a next digit together by one counting
// pass while the bucket is in the cache, then each digit's few in order.
// Keys come in the order of their low halves, so that whole keys in order
// are keys sorted with the order of equal ones kept.
void __bucket_weld(const uint64_t* from, uint64_t* to, uint64_t count, int bits)
{
    int digit = 0;
    while (digit < std::min(bits, digit_weld) && count >> digit > 1)
        digit++;
    if (digit < 4) {
        std::copy(from, from + count, to);
        __finish_weld(to, count);
        return;
    }
    const int shift = 32 + bits - digit;
    const uint32_t mask = (1u << digit) - 1;
    uint32_t places[(1 << digit_weld) + 1];
    std::fill(places, places + (1u << digit) + 1, 0u);
    for (uint64_t k = 0; k < count; k++)
        places[((from[k] >> shift) & mask) + 1]++;
    for (uint32_t d = 1; d <= mask + 1; d++)
        places[d] += places[d - 1];
    for (uint64_t k = 0; k < count; k++)
        to[places[(from[k] >> shift) & mask]++] = from[k];
    // Each digit's keys now end where the next digit's start.
    for (uint32_t d = 0, start = 0; d <= mask; start = places[d], d++)
        if (places[d] - start > 1)
            __finish_weld(to + start, places[d] - start);
}

// Sorts keys by the bits that counts was made for, the order of equal ones
// kept: parted into spare by the top digit, each part of the keys placed
// on a core of its own, then each bucket sorted back into keys, the buckets
// cut into parts of about as many keys. Calls each(first, last) on each
// bucket's sorted keys while they are in the cache.
template <class Each> void __sort_weld(uint64_t* keys, uint64_t* spare, uint64_t n, Counts& counts, Each each)
{
    const int parts = parts_spread(n);
    const size_t buckets = static_cast<size_t>(counts.buckets);
    // A part's keys of a digit go after every key of a smaller digit and
    // after the earlier parts' keys of that digit.
    std::vector<uint64_t> starts(buckets + 1, 0);
    uint32_t at = 0;
    for (size_t d = 0; d < buckets; d++) {
        starts[d] = at;
        for (int part = 0; part < parts; part++) {
            uint32_t& count = counts.places[static_cast<size_t>(part) * buckets + d];
            uint32_t here = count;
            count = at;
            at += here;
        }
    }
    starts[buckets] = n;
    run_spread(n, [&](int part, uint64_t first, uint64_t last) {
        uint32_t* place = &counts.places[static_cast<size_t>(part) * buckets];
        for (uint64_t k = first; k < last; k++)
            spare[place[(keys[k] >> counts.shift) & (buckets - 1)]++] = keys[k];
    });
    const int rest = counts.shift - 32;
    run_spread(n, [&](int, uint64_t first, uint64_t last) {
        size_t d
            = static_cast<size_t>(std::lower_bound(starts.begin(), starts.end() - 1, first) - starts.begin());
        for (; d < buckets && starts[d] < last; d++) {
            __bucket_weld(spare + starts[d], keys + starts[d], starts[d + 1] - starts[d], rest);
            each(starts[d], starts[d + 1]);
        }
    });
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
        bool finite = __finite_weld<0>(at(a), dim);
        if (finite != __finite_weld<0>(at(b), dim))
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
        if (k == start || !__same_weld<0>(at(keys[k - 1]), at(keys[k]), dim, per_cell))
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
    Counts counts = __counts_weld(n, 32);
    run_spread(n, [&](int part, uint64_t first, uint64_t last) {
        uint32_t* count = &counts.places[static_cast<size_t>(part) * static_cast<size_t>(counts.buckets)];
        for (uint64_t v = first; v < last; v++) {
            keys[v] = dim == 4 ? __key_weld<4>(coords + v * 4, 4, per_cell, v)
                               : __key_weld<0>(coords + v * dim, dim, per_cell, v);
            count[keys[v] >> counts.shift]++;
        }
    });
    // Each vertex to the first of its run while the bucket is in the cache,
    // by the keys alone, then checked against it in the order of the file,
    // where the two are near. A run whose hash two points share is welded
    // again by place; that is rare.
    __sort_weld(keys, keys + n, n, counts, [&](uint64_t first, uint64_t last) {
        for (uint64_t k = first, head = first; k < last; k++) {
            head = keys[k] >> 32 == keys[head] >> 32 ? head : k;
            ids[keys[k] & number_weld] = static_cast<uint32_t>(keys[head] & number_weld);
        }
    });
    std::vector<std::vector<uint64_t>> mixed(static_cast<size_t>(parts_spread(n)));
    run_spread(n, [&](int part, uint64_t first, uint64_t last) {
        for (uint64_t v = first; v < last && !(stop && stop->load()); v++)
            if (ids[v] != v
                && !(dim == 4
                        ? __same_weld<4>(coords + v * 4, coords + uint64_t {ids[v]} * 4, 4, per_cell)
                        : __same_weld<0>(coords + v * dim, coords + uint64_t {ids[v]} * dim, dim, per_cell)))
                mixed[static_cast<size_t>(part)].push_back(v);
    });
    for (const std::vector<uint64_t>& part : mixed)
        for (uint64_t v : part) {
            uint64_t start, end;
            __find_run_weld(keys, n, __key_weld<0>(coords + v * dim, dim, per_cell, v), &start, &end);
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
    int bits = 1;
    while (bits < 32 && n > uint64_t {1} << bits)
        bits++;
    Counts counts = __counts_weld(n, bits);
    run_spread(n, [&](int part, uint64_t first, uint64_t last) {
        uint32_t* count = &counts.places[static_cast<size_t>(part) * static_cast<size_t>(counts.buckets)];
        for (uint64_t v = first; v < last; v++) {
            keys[v] = uint64_t {ids[v]} << 32 | v;
            count[keys[v] >> counts.shift]++;
        }
    });
    __sort_weld(keys, keys + n, n, counts, [](uint64_t, uint64_t) {});
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
