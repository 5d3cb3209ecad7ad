// The pairs of triangles whose shadows cross. The shadow is cut into
// columns along x about as wide as its triangles; a triangle's box goes
// into the column of its least corner, or, when it is wider than a column,
// into every column it meets. Sorted by column
// and place along x, each column is swept against itself and the four
// columns after it around it: every pair of boxes that meet is met once,
// and goes on to where the two triangles cross when they share no vertex.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/crossing_parts.h"

namespace {

// Columns along a side at most: 2^22 columns leave 10 bits of a 32-bit key
// for the place along x.
constexpr double most_columns = 2048;
// A triangle that meets more columns than this is tried against all others.
constexpr uint64_t most_covered = 4096;
// A column's side is as wide as this share of the triangles' boxes.
constexpr double narrow_share = 0.9;
// Boxes are held in floats, widened past their rounding by this share of
// the reach.
constexpr double pad_crossing = 0x1p-20;
// Pairs of boxes a triangle may meet, and segments it may have, on the
// average, with some to spare for small surfaces; past them the shadow
// piles many sheets on one another and the search would run for long and
// fill memory. A surface meets a few dozen pairs a triangle, and its curve
// crosses far fewer triangles than it has.
constexpr uint64_t tries_each = 256, spare_tries = 1 << 24;
constexpr uint64_t segments_each = 1, spare_segments = 1 << 16;
// Entries in columns, likewise: most boxes go into one, the widest into a
// few dozen.
constexpr uint64_t entries_each = 16, spare_entries = 1 << 20;
const char* const piled_crossing = "the shadow piles too many triangles on one another";

enum Kind : uint8_t {
    KIND_NARROW, // in the column of its least corner
    KIND_WIDE,   // in every column it meets
    KIND_HUGE,   // tried against all others
    KIND_NONE,   // no plane: left out
};

struct Box {
    float lo[3], hi[3];
};

// A box in a column, in the sweep's order: what the sweep reads of every
// box it passes, and apart, what it reads of those that meet.
struct Reach {
    uint32_t place[2];  // of its least and greatest x, rounded down
    float lo[2], hi[2]; // along y and z
};

struct Entry {
    uint32_t corner[3];
    uint32_t triangle;
    uint32_t column;
    Kind kind;
};

struct Entries {
    Reach* reach;
    Entry* entry;
    uint64_t count;
};

// What a part of the search finds, and what it may spend.
struct Sweep {
    Segments found;
    uint64_t tried, most_tried, most_found;
    const char* fault;
};

struct Search {
    const Shadow* s;
    Box* boxes; // of the shown triangles
    Kind* kinds;
    double lo[3], size[3];
    double per_side;    // columns a unit along y and z
    uint32_t across[2]; // columns along y and z
    double per_place;   // places a unit along x
    uint32_t most_place;
    int xbits;
    const std::atomic<bool>* stop;
};

uint32_t __cut_crossing(double at, uint32_t most)
{
    return at <= 0 ? 0 : at >= most ? most : static_cast<uint32_t>(at);
}

// The column along y (k 1) or z (k 2) of a coordinate.
uint32_t __column_crossing(const Search* g, int k, double x)
{
    return __cut_crossing((x - g->lo[k]) * g->per_side, g->across[k - 1] - 1);
}

uint32_t __place_crossing(const Search* g, double x)
{
    return __cut_crossing((x - g->lo[0]) * g->per_place, g->most_place);
}

// The columns a wide box goes into, along y (k 1) or z (k 2).
void __span_crossing(const Search* g, const Box& b, int k, uint32_t* first, uint32_t* last)
{
    *first = __column_crossing(g, k, b.lo[k]);
    *last = __column_crossing(g, k, b.hi[k]);
}

uint64_t __covered_crossing(const Search* g, const Box& b)
{
    uint32_t y0, y1, z0, z1;
    __span_crossing(g, b, 1, &y0, &y1);
    __span_crossing(g, b, 2, &z0, &z1);
    return uint64_t {y1 - y0 + 1} * (z1 - z0 + 1);
}

// The boxes, and the columns: a side that holds most boxes, and no more
// than most_columns along a side.
void __boxes_crossing(Search* g)
{
    const Shadow* s = g->s;
    double pad = pad_crossing * s->reach;
    __halves_crossing(s->shown_count, 65536, [&](uint64_t first, uint64_t last, int) {
        for (uint64_t i = first; i < last; i++) {
            const uint32_t* c = s->corners[s->shown[i]];
            const double* at[3] = {s->at[c[0]], s->at[c[1]], s->at[c[2]]};
            double n[3];
            __normal_crossing(at, n);
            g->kinds[i] = n[0] != 0 || n[1] != 0 || n[2] != 0 ? KIND_NARROW : KIND_NONE;
            for (int k = 0; k < 3; k++) {
                g->boxes[i].lo[k]
                    = static_cast<float>(std::min(std::min(at[0][k], at[1][k]), at[2][k]) - pad);
                g->boxes[i].hi[k]
                    = static_cast<float>(std::max(std::max(at[0][k], at[1][k]), at[2][k]) + pad);
            }
        }
    });
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    uint64_t step = s->shown_count / 16384 + 1, sampled = 0;
    float widths[16384 + 1];
    for (uint64_t i = 0; i < s->shown_count; i++) {
        const Box& b = g->boxes[i];
        for (int k = 0; k < 3; k++) {
            lo[k] = std::min(lo[k], static_cast<double>(b.lo[k]));
            hi[k] = std::max(hi[k], static_cast<double>(b.hi[k]));
        }
        if (i % step == 0)
            widths[sampled++] = std::max(b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]);
    }
    uint64_t at = static_cast<uint64_t>(narrow_share * static_cast<double>(sampled));
    double side = 0;
    if (at < sampled) {
        std::nth_element(widths, widths + at, widths + sampled);
        side = widths[at];
    }
    for (int k = 0; k < 3; k++) {
        g->lo[k] = lo[k];
        g->size[k] = hi[k] > lo[k] ? hi[k] - lo[k] : 0;
        if (k)
            side = std::max(side, g->size[k] / most_columns);
    }
    side = side > 0 ? side : 1;
    g->per_side = 1 / side;
    for (int k = 0; k < 2; k++)
        g->across[k]
            = static_cast<uint32_t>(std::clamp(std::ceil(g->size[k + 1] * g->per_side), 1.0, most_columns));
    uint64_t columns = uint64_t {g->across[0]} * g->across[1];
    int bits = 1;
    while ((uint64_t {1} << bits) < columns)
        bits++;
    g->xbits = 32 - bits;
    g->most_place = static_cast<uint32_t>((uint64_t {1} << g->xbits) - 1);
    g->per_place = g->size[0] > 0 ? std::ldexp(1.0, g->xbits) / g->size[0] : 0;
    // Narrow boxes are narrower than a column by a margin for the rounding
    // of their columns, so that boxes that meet lie in columns side by side.
    float narrow = static_cast<float>(side * (1 - 0x1p-20));
    __halves_crossing(s->shown_count, 65536, [&](uint64_t first, uint64_t last, int) {
        for (uint64_t i = first; i < last; i++) {
            const Box& b = g->boxes[i];
            if (g->kinds[i] == KIND_NONE || (b.hi[1] - b.lo[1] < narrow && b.hi[2] - b.lo[2] < narrow))
                continue;
            g->kinds[i] = __covered_crossing(g, b) > most_covered ? KIND_HUGE : KIND_WIDE;
        }
    });
}

uint64_t __key_crossing(const Search* g, uint32_t y, uint32_t z, const Box& b, uint64_t i)
{
    return ((uint64_t {y} * g->across[1] + z) << g->xbits | __place_crossing(g, b.lo[0])) << 32 | i;
}

// The entries of the boxes in the sweep's order. Returns none, or why not.
const char* __entries_crossing(const Search* g, Entries* entries)
{
    const Shadow* s = g->s;
    uint64_t counts[2] = {};
    __halves_crossing(s->shown_count, 65536, [&](uint64_t first, uint64_t last, int half) {
        for (uint64_t i = first; i < last; i++)
            counts[half] += g->kinds[i] == KIND_NARROW ? 1
                : g->kinds[i] == KIND_WIDE             ? __covered_crossing(g, g->boxes[i])
                                                       : 0;
    });
    uint64_t count = entries->count = counts[0] + counts[1];
    if (count > entries_each * s->shown_count + spare_entries)
        return piled_crossing;
    uint64_t* keys = static_cast<uint64_t*>(__room_crossing(2 * count * sizeof(uint64_t)));
    if (!keys)
        return "out of memory";
    __halves_crossing(s->shown_count, 65536, [&](uint64_t first, uint64_t last, int half) {
        uint64_t at = half ? counts[0] : 0;
        for (uint64_t i = first; i < last; i++) {
            const Box& b = g->boxes[i];
            if (g->kinds[i] == KIND_NARROW)
                keys[at++] = __key_crossing(
                    g, __column_crossing(g, 1, b.lo[1]), __column_crossing(g, 2, b.lo[2]), b, i);
            if (g->kinds[i] != KIND_WIDE)
                continue;
            uint32_t y0, y1, z0, z1;
            __span_crossing(g, b, 1, &y0, &y1);
            __span_crossing(g, b, 2, &z0, &z1);
            for (uint32_t y = y0; y <= y1; y++)
                for (uint32_t z = z0; z <= z1; z++)
                    keys[at++] = __key_crossing(g, y, z, b, i);
        }
    });
    bool sorted = __sort_crossing(keys, keys + count, count);
    entries->reach = sorted ? static_cast<Reach*>(__room_crossing(count * sizeof(Reach))) : nullptr;
    entries->entry = sorted ? static_cast<Entry*>(__room_crossing(count * sizeof(Entry))) : nullptr;
    if (entries->reach && entries->entry)
        __halves_crossing(count, 65536, [&](uint64_t first, uint64_t last, int) {
            for (uint64_t k = first; k < last; k++) {
                uint32_t i = static_cast<uint32_t>(keys[k]);
                const Box& b = g->boxes[i];
                Reach& r = entries->reach[k];
                r.place[0] = static_cast<uint32_t>(keys[k] >> 32) & g->most_place;
                r.place[1] = __place_crossing(g, b.hi[0]);
                r.lo[0] = b.lo[1];
                r.lo[1] = b.lo[2];
                r.hi[0] = b.hi[1];
                r.hi[1] = b.hi[2];
                Entry& e = entries->entry[k];
                e.triangle = s->shown[i];
                memcpy(e.corner, s->corners[e.triangle], sizeof e.corner);
                e.column = static_cast<uint32_t>(keys[k] >> (32 + g->xbits));
                e.kind = g->kinds[i];
            }
        });
    free(keys);
    return entries->reach && entries->entry ? nullptr : "out of memory";
}

bool __share_crossing(const uint32_t* a, const uint32_t* b)
{
    for (int i = 0; i < 3; i++)
        if (a[i] == b[0] || a[i] == b[1] || a[i] == b[2])
            return true;
    return false;
}

// Whether the sweep has tried all the pairs it may; it then fails.
bool __spent_crossing(Sweep* w)
{
    if (w->tried > w->most_tried)
        w->fault = piled_crossing;
    return w->fault != nullptr;
}

bool __keep_crossing(Sweep* w, const Segment* segment)
{
    w->fault = w->found.count >= w->most_found ? piled_crossing
        : !__add_crossing(&w->found, segment)  ? "out of memory"
                                               : nullptr;
    return !w->fault;
}

// Whether two boxes that meet along x meet along y and z.
inline bool __meets_crossing(const Reach& p, const Reach& q)
{
    return p.lo[0] <= q.hi[0] && q.lo[0] <= p.hi[0] && p.lo[1] <= q.hi[1] && q.lo[1] <= p.hi[1];
}

// Tries a pair whose boxes meet. Two narrow boxes meet once, in their own
// columns; a wide box is in many, and is tried only in the column of the
// least corner of where the two boxes meet, which lies in both boxes, in a
// narrow box's column or one after it.
[[gnu::noinline]] bool __pair_crossing(const Search* g, const Entries* e, uint64_t a, uint64_t b, Sweep* w)
{
    const Reach &p = e->reach[a], &q = e->reach[b];
    const Entry &x = e->entry[a], &y = e->entry[b];
    if (x.kind == KIND_WIDE || y.kind == KIND_WIDE) {
        uint64_t corner = uint64_t {__column_crossing(g, 1, std::max(p.lo[0], q.lo[0]))} * g->across[1]
            + __column_crossing(g, 2, std::max(p.lo[1], q.lo[1]));
        if ((x.kind == KIND_WIDE && x.column != corner) || (y.kind == KIND_WIDE && y.column != corner))
            return true;
    }
    Segment segment;
    if (__share_crossing(x.corner, y.corner) || !__meet_crossing(g->s, x.triangle, y.triangle, &segment))
        return true;
    return __keep_crossing(w, &segment);
}

// Tries the boxes of entries a0 to a1 against those of b0 to b1, each run
// in order along x: each box against those of the other run that start
// within it, the second run's where it starts too.
bool __merge_crossing(
    const Search* g, const Entries* e, uint64_t a0, uint64_t a1, uint64_t b0, uint64_t b1, Sweep* w)
{
    const Reach* r = e->reach;
    for (uint64_t a = a0, from = b0; a < a1 && !__spent_crossing(w); a++) {
        while (from < b1 && r[from].place[0] < r[a].place[0])
            from++;
        for (uint64_t b = from; b < b1 && r[b].place[0] <= r[a].place[1]; b++, w->tried++)
            if (__meets_crossing(r[a], r[b]) && !__pair_crossing(g, e, a, b, w))
                return false;
    }
    for (uint64_t b = b0, from = a0; b < b1 && !__spent_crossing(w); b++) {
        while (from < a1 && r[from].place[0] <= r[b].place[0])
            from++;
        for (uint64_t a = from; a < a1 && r[a].place[0] <= r[b].place[1]; a++, w->tried++)
            if (__meets_crossing(r[a], r[b]) && !__pair_crossing(g, e, a, b, w))
                return false;
    }
    return !w->fault;
}

// Sweeps the columns of entries first to last (moved on to whole columns),
// each against itself and its neighbours after it.
bool __sweep_crossing(const Search* g, const Entries* e, uint64_t first, uint64_t last, Sweep* w)
{
    const Entry* entry = e->entry;
    const Reach* r = e->reach;
    uint64_t n = e->count;
    while (first > 0 && first < n && entry[first].column == entry[first - 1].column)
        first++;
    while (last > 0 && last < n && entry[last].column == entry[last - 1].column)
        last++;
    uint64_t next[4] = {first, first, first, first};
    uint32_t ny = g->across[0], nz = g->across[1];
    for (uint64_t c0 = first, c1; c0 < last; c0 = c1) {
        uint32_t column = entry[c0].column, y = column / nz, z = column % nz;
        for (c1 = c0 + 1; c1 < n && entry[c1].column == column;)
            c1++;
        if (g->stop && g->stop->load())
            return true;
        for (uint64_t a = c0; a < c1; a++) {
            if (__spent_crossing(w))
                return false;
            for (uint64_t b = a + 1; b < c1 && r[b].place[0] <= r[a].place[1]; b++, w->tried++)
                if (__meets_crossing(r[a], r[b]) && !__pair_crossing(g, e, a, b, w))
                    return false;
        }
        // The neighbours after it: (y, z + 1), then (y + 1, z - 1 to z + 1).
        const bool there[4] = {z + 1 < nz, y + 1 < ny && z > 0, y + 1 < ny, y + 1 < ny && z + 1 < nz};
        const uint32_t beside[4] = {column + 1, column + nz - 1, column + nz, column + nz + 1};
        for (int k = 0; k < 4; k++) {
            if (!there[k])
                continue;
            while (next[k] < n && entry[next[k]].column < beside[k])
                next[k]++;
            uint64_t end = next[k];
            while (end < n && entry[end].column == beside[k])
                end++;
            if (!__merge_crossing(g, e, c0, c1, next[k], end, w))
                return false;
        }
    }
    return true;
}

// The huge boxes, each tried against every other.
bool __huge_crossing(const Search* g, Sweep* w)
{
    const Shadow* s = g->s;
    for (uint64_t i = 0; i < s->shown_count; i++) {
        if (g->kinds[i] != KIND_HUGE)
            continue;
        w->tried += s->shown_count;
        if (__spent_crossing(w))
            return false;
        for (uint64_t j = 0; j < s->shown_count; j++) {
            const Box &a = g->boxes[i], &b = g->boxes[j];
            if (g->kinds[j] == KIND_NONE || (g->kinds[j] == KIND_HUGE && j <= i))
                continue;
            if (a.lo[0] > b.hi[0] || b.lo[0] > a.hi[0] || a.lo[1] > b.hi[1] || b.lo[1] > a.hi[1]
                || a.lo[2] > b.hi[2] || b.lo[2] > a.hi[2])
                continue;
            uint32_t ta = s->shown[i], tb = s->shown[j];
            Segment segment;
            if (!__share_crossing(s->corners[ta], s->corners[tb]) && __meet_crossing(s, ta, tb, &segment)
                && !__keep_crossing(w, &segment))
                return false;
        }
        if (g->stop && g->stop->load())
            return true;
    }
    return true;
}

} // namespace

const char* __pairs_crossing(const Shadow* shadow, Segments* segments, const std::atomic<bool>* stop)
{
    Search g = {};
    g.s = shadow;
    g.stop = stop;
    g.boxes = static_cast<Box*>(__room_crossing(shadow->shown_count * sizeof(Box)));
    g.kinds = static_cast<Kind*>(__room_crossing(shadow->shown_count * sizeof(Kind)));
    Entries entries = {};
    const char* fault = g.boxes && g.kinds ? nullptr : "out of memory";
    if (!fault) {
        __boxes_crossing(&g);
        fault = __entries_crossing(&g, &entries);
    }
    uint64_t most_tried = tries_each * shadow->shown_count + spare_tries;
    uint64_t most_found = segments_each * shadow->shown_count + spare_segments;
    Sweep halves[2] = {}, huge = {{}, 0, most_tried, most_found, nullptr};
    for (Sweep& half : halves)
        half = {{}, 0, most_tried / 2, most_found / 2, nullptr};
    if (!fault)
        __halves_crossing(entries.count, 4096, [&](uint64_t first, uint64_t last, int half) {
            __sweep_crossing(&g, &entries, first, last, &halves[half]);
        });
    if (!fault)
        fault = halves[0].fault ? halves[0].fault : halves[1].fault;
    if (!fault && !__huge_crossing(&g, &huge))
        fault = huge.fault;
    for (const Sweep& half : {halves[0], halves[1], huge}) {
        for (uint64_t k = 0; k < half.found.count && !fault; k++)
            if (!__add_crossing(segments, &half.found.items[k]))
                fault = "out of memory";
        free(half.found.items);
    }
    free(entries.reach);
    free(entries.entry);
    free(g.boxes);
    free(g.kinds);
    return fault ? fault : stop && stop->load() ? "stopped" : nullptr;
}
