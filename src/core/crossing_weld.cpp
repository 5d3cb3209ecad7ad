// The weld: vertices equal in all their coordinates are one. Copies of a
// vertex mostly lie near each other in a file, so blocks of consecutive
// vertices are welded first through small tables, and only the first copy
// in each block goes on to a sort of hashes; and the sort, and the room in
// huge pages, that the rest of the search runs on too.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "core/crossing_parts.h"

namespace {

// A vertex's coordinates hashed, -0 as 0, so that equal vertices hash alike;
// two coordinates a step, which halves the chain of multiplications that
// sets the pace in R^m.
uint64_t __hash_crossing(const float* c, int dim)
{
    uint64_t hash = 0x9e3779b97f4a7c15u;
    for (int k = 0; k < dim; k += 2) {
        float values[2] = {c[k] + 0.0f, k + 1 < dim ? c[k + 1] + 0.0f : 0.0f};
        uint64_t bits;
        memcpy(&bits, values, sizeof bits);
        hash = (hash ^ bits) * 0xff51afd7ed558ccdu;
        hash ^= hash >> 32;
    }
    return hash;
}

bool __finite_crossing(const float* c, int dim)
{
    for (int k = 0; k < dim; k++)
        if (!std::isfinite(c[k]))
            return false;
    return true;
}

bool __same_crossing(const float* a, const float* b, int dim)
{
    for (int k = 0; k < dim; k++)
        if (!(a[k] == b[k]) || !std::isfinite(a[k]))
            return false;
    return true;
}

// Moves first and last on to the starts of runs of equal high halves.
void __runs_crossing(const uint64_t* keys, uint64_t n, uint64_t* first, uint64_t* last)
{
    while (*first > 0 && *first < n && keys[*first] >> 32 == keys[*first - 1] >> 32)
        ++*first;
    while (*last > 0 && *last < n && keys[*last] >> 32 == keys[*last - 1] >> 32)
        ++*last;
}

// Vertices a block, and slots in its table. A vertex that is not finite
// stands alone.
constexpr uint64_t block_crossing = 1 << 15;
constexpr uint64_t table_crossing = 1 << 16;

void __block_crossing(
    const float* coords, int dim, uint64_t first, uint64_t last, uint32_t* table, uint32_t* ids)
{
    memset(table, 0xff, table_crossing * sizeof(uint32_t));
    for (uint64_t v = first; v < last; v++) {
        const float* c = coords + v * dim;
        ids[v] = static_cast<uint32_t>(v);
        if (!__finite_crossing(c, dim))
            continue;
        for (uint64_t slot = __hash_crossing(c, dim) >> 48;; slot = (slot + 1) & (table_crossing - 1)) {
            uint32_t u = table[slot];
            if (u == none_crossing) {
                table[slot] = static_cast<uint32_t>(v);
                break;
            }
            if (__same_crossing(coords + uint64_t {u} * dim, c, dim)) {
                ids[v] = u;
                break;
            }
        }
    }
}

// A list of vertices that grows.
struct Vertices {
    uint64_t* items;
    uint64_t count, room;
};

bool __add_vertex_crossing(Vertices* list, uint64_t v)
{
    if (list->count == list->room) {
        uint64_t room = list->room ? 2 * list->room : 64;
        uint64_t* more = static_cast<uint64_t*>(realloc(list->items, room * sizeof(uint64_t)));
        if (!more)
            return false;
        list->items = more;
        list->room = room;
    }
    list->items[list->count++] = v;
    return true;
}

// Settles the vertices whose hash met another's by chance: each to the
// first of those equal to it, all of which are among them.
bool __settle_crossing(const float* coords, int dim, uint32_t* ids, const Vertices* apart)
{
    uint64_t count = apart[0].count + apart[1].count;
    uint64_t* wrong = static_cast<uint64_t*>(malloc(count * sizeof(uint64_t) + 1));
    if (!wrong)
        return false;
    for (uint64_t k = 0; k < count; k++) {
        uint64_t v = k < apart[0].count ? apart[0].items[k] : apart[1].items[k - apart[0].count];
        wrong[k] = (__hash_crossing(coords + v * dim, dim) & 0xffffffff00000000u) | v;
    }
    std::sort(wrong, wrong + count);
    for (uint64_t i = 0; i < count; i++) {
        uint32_t v = static_cast<uint32_t>(wrong[i]);
        ids[v] = v;
        for (uint64_t j = i; j-- > 0 && wrong[j] >> 32 == wrong[i] >> 32;) {
            uint32_t u = static_cast<uint32_t>(wrong[j]);
            if (__same_crossing(coords + uint64_t {u} * dim, coords + uint64_t {v} * dim, dim))
                ids[v] = ids[u];
        }
    }
    free(wrong);
    return true;
}

} // namespace

void* __room_crossing(uint64_t bytes)
{
    void* room = malloc(bytes + 1);
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t huge = uintptr_t {1} << 21;
    uintptr_t first = (reinterpret_cast<uintptr_t>(room) + huge - 1) & ~(huge - 1);
    uintptr_t last = (reinterpret_cast<uintptr_t>(room) + bytes) & ~(huge - 1);
    if (room && last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
    return room;
}

int __sort_crossing(uint64_t* keys, uint64_t* spare, uint64_t n)
{
    if (n < 4096) {
        std::sort(keys, keys + n);
        return 1;
    }
    // 11, 11 and 10 bits a pass: few enough places to write to at once that
    // the writes stay in cache. Each half counts and moves its own keys,
    // the first half's ahead of the second's, so the sort is stable.
    uint64_t(*counts)[2048] = static_cast<uint64_t(*)[2048]>(malloc(2 * sizeof *counts));
    if (!counts)
        return 0;
    for (int shift = 32; shift < 64; shift += 11) {
        memset(counts, 0, 2 * sizeof *counts);
        __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int half) {
            for (uint64_t k = first; k < last; k++)
                counts[half][keys[k] >> shift & 2047]++;
        });
        uint64_t at = 0;
        for (int d = 0; d < 2048; d++)
            for (int half = 0; half < 2; half++) {
                uint64_t here = counts[half][d];
                counts[half][d] = at;
                at += here;
            }
        __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int half) {
            uint64_t* to = counts[half];
            for (uint64_t k = first; k < last; k++)
                spare[to[keys[k] >> shift & 2047]++] = keys[k];
        });
        std::swap(keys, spare);
    }
    // Three passes leave the keys in the spare half: back they go.
    memcpy(spare, keys, n * sizeof(uint64_t));
    free(counts);
    return 1;
}

int weld_crossing(const float* coords, uint8_t dim, uint64_t n, uint32_t* ids)
{
    uint32_t* tables = static_cast<uint32_t*>(malloc(2 * table_crossing * sizeof(uint32_t)));
    if (!tables)
        return 0;
    uint64_t blocks = (n + block_crossing - 1) / block_crossing;
    __halves_crossing(blocks, 4, [&](uint64_t first, uint64_t last, int half) {
        for (uint64_t b = first; b < last; b++)
            __block_crossing(coords, dim, b * block_crossing, std::min(n, (b + 1) * block_crossing),
                tables + half * table_crossing, ids);
    });
    free(tables);
    // The first copies in their blocks, by hash; each to the first of its
    // hash's, which the sort keeps in order.
    uint64_t counts[2] = {};
    __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int half) {
        for (uint64_t v = first; v < last; v++)
            counts[half] += ids[v] == v && __finite_crossing(coords + v * dim, dim);
    });
    uint64_t heads = counts[0] + counts[1];
    uint64_t* keys = static_cast<uint64_t*>(__room_crossing(2 * heads * sizeof(uint64_t)));
    if (!keys)
        return 0;
    __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int half) {
        uint64_t at = half ? counts[0] : 0;
        for (uint64_t v = first; v < last; v++)
            if (ids[v] == v && __finite_crossing(coords + v * dim, dim))
                keys[at++] = (__hash_crossing(coords + v * dim, dim) & 0xffffffff00000000u) | v;
    });
    if (!__sort_crossing(keys, keys + heads, heads)) {
        free(keys);
        return 0;
    }
    __halves_crossing(heads, 65536, [&](uint64_t first, uint64_t last, int) {
        __runs_crossing(keys, heads, &first, &last);
        for (uint64_t k = first + 1; k < last; k++)
            if (keys[k] >> 32 == keys[k - 1] >> 32)
                ids[keys[k] & 0xffffffffu] = ids[keys[k - 1] & 0xffffffffu];
    });
    // Only a head can have followed another by its hash alone: the other
    // copies equal their blocks' first exactly. The few heads that differ
    // from the one they follow are set apart and settled; then the other
    // copies follow their blocks' first.
    Vertices apart[2] = {};
    bool kept[2] = {true, true};
    __halves_crossing(heads, 65536, [&](uint64_t first, uint64_t last, int half) {
        for (uint64_t k = first; k < last && kept[half]; k++) {
            uint64_t v = keys[k] & 0xffffffffu;
            if (ids[v] != v && !__same_crossing(coords + v * dim, coords + uint64_t {ids[v]} * dim, dim))
                kept[half] = __add_vertex_crossing(&apart[half], v);
        }
    });
    free(keys);
    bool settled = kept[0] && kept[1] && __settle_crossing(coords, dim, ids, apart);
    free(apart[0].items);
    free(apart[1].items);
    if (settled)
        __halves_crossing(n, 65536, [&](uint64_t first, uint64_t last, int) {
            for (uint64_t v = first; v < last; v++)
                if (ids[ids[v]] != ids[v])
                    ids[v] = ids[ids[v]];
        });
    return settled;
}
