// Shapes gathered a vertex at a time. Arrays grow by doubling through
// realloc, which for large blocks remaps pages instead of copying them, and
// the part not yet written is never touched, so that what is resident stays
// near what is used; finish_gather trims the rest.
#include "core/gather.h"

#include <cstdlib>
#include <cstring>

const uint8_t grey_gather[4] = {191, 191, 191, 255};

static const char* const too_large_gather = "too large: 2^32 or more coordinates in one shape";

// The vertices a shape may hold: fewer than 2^32 coordinates, in the bytes allowed.
static uint64_t __room_gather(const Gathered* shape)
{
    uint64_t dim = static_cast<uint64_t>(shape->dim);
    uint64_t below = ((uint64_t {1} << 32) - 1) / dim, allowed = shape->most / (4 * dim);
    return below < allowed ? below : allowed;
}

// Refuses a shape of `wanted` vertices past those it may hold.
static const char* __most_gather(const Gathered* shape, uint64_t wanted)
{
    if (wanted * static_cast<uint64_t>(shape->dim) >= (uint64_t {1} << 32))
        return too_large_gather;
    if (wanted > __room_gather(shape))
        return "too large: the shapes would take far more memory than the file's size calls for";
    return nullptr;
}

// Grows the arrays to hold `wanted` vertices in all; borrowed coordinates
// stay as they are until the shape owns them.
static const char* __grow_gather(Gathered* shape, uint64_t wanted)
{
    if (wanted <= shape->capacity)
        return nullptr;
    if (const char* failed = __most_gather(shape, wanted))
        return failed;
    uint64_t capacity = shape->capacity * 2 > wanted ? shape->capacity * 2 : wanted;
    if (capacity < 64)
        capacity = 64;
    if (capacity > __room_gather(shape))
        capacity = __room_gather(shape);
    size_t vertices = static_cast<size_t>(capacity);
    if (!shape->borrowed) {
        float* coords = static_cast<float*>(realloc(shape->coords, vertices * shape->dim * sizeof(float)));
        if (!coords)
            return "out of memory";
        shape->coords = coords;
    }
    if (shape->kind == SHAPE_LINES) {
        uint8_t* joins = static_cast<uint8_t*>(realloc(shape->joins, vertices));
        if (!joins)
            return "out of memory";
        shape->joins = joins;
    }
    if (shape->colors) {
        uint8_t* colors = static_cast<uint8_t*>(realloc(shape->colors, 4 * vertices));
        if (!colors)
            return "out of memory";
        shape->colors = colors;
    }
    shape->capacity = capacity;
    return nullptr;
}

// Gives the shape a colour array, grey for the vertices it holds.
static const char* __colored_gather(Gathered* shape)
{
    if (shape->colors)
        return nullptr;
    shape->colors
        = static_cast<uint8_t*>(malloc(4 * static_cast<size_t>(shape->capacity ? shape->capacity : 1)));
    if (!shape->colors)
        return "out of memory";
    for (uint64_t v = 0; v < shape->count; v++)
        memcpy(shape->colors + 4 * v, grey_gather, 4);
    return nullptr;
}

// Takes the list's coordinates over as the shape's own, to be used in order.
static void __borrow_gather(Gathered* shape, VertexList* list)
{
    free(shape->coords);
    shape->coords = list->coords;
    shape->borrowed = list->coords;
    shape->taken = 0;
    list->lent = true;
}

static void __copy_gather(
    const Gathered* shape, float* into, uint64_t place, const float* from, uint64_t vertex)
{
    memcpy(into + place * shape->dim, from + vertex * shape->dim, shape->dim * sizeof(float));
}

// Writes the shape's vertices into `into`, in their places, from the vertex
// list borrowed. Backwards, in place, a vertex never moves down, so that
// each goes where no vertex still to be read lies; once no repeat is left,
// the rest are where they belong.
static void __place_gather(Gathered* shape, float* into)
{
    const float* from = into == shape->borrowed ? into : shape->borrowed;
    uint64_t k = shape->repeat_count, next = shape->taken;
    for (uint64_t place = shape->count; place-- > 0 && (into != from || k > 0);) {
        if (k && shape->repeats[2 * (k - 1)] == place)
            __copy_gather(shape, into, place, from, shape->repeats[2 * --k + 1]);
        else
            __copy_gather(shape, into, place, from, --next);
    }
    free(shape->repeats);
    shape->repeats = nullptr;
    shape->repeat_count = shape->repeat_capacity = 0;
    shape->borrowed = nullptr;
}

// Gives the coordinates back to the list, keeping a copy of those used.
static const char* __return_gather(Gathered* shape)
{
    float* coords
        = static_cast<float*>(malloc(static_cast<size_t>(shape->capacity) * shape->dim * sizeof(float) + 1));
    if (!coords)
        return "out of memory";
    __place_gather(shape, coords);
    shape->coords = coords;
    return nullptr;
}

// Notes that the vertex goes at the shape's next place once its own are placed.
static const char* __repeat_gather(Gathered* shape, uint64_t vertex)
{
    if (shape->repeat_count == shape->repeat_capacity) {
        uint64_t capacity = shape->repeat_capacity ? 2 * shape->repeat_capacity : 64;
        uint64_t* repeats
            = static_cast<uint64_t*>(realloc(shape->repeats, 16 * static_cast<size_t>(capacity)));
        if (!repeats)
            return "out of memory";
        shape->repeats = repeats;
        shape->repeat_capacity = capacity;
    }
    shape->repeats[2 * shape->repeat_count] = shape->count;
    shape->repeats[2 * shape->repeat_count++ + 1] = vertex;
    return nullptr;
}

const char* append_gather(Gathered* shape, VertexList* list, uint64_t index, const uint8_t* color)
{
    const char* failed = nullptr;
    if (!shape->borrowed && shape->count == 0 && index == 0 && !list->lent)
        __borrow_gather(shape, list);
    bool borrowing = shape->borrowed == list->coords && list->coords;
    // A vertex past the next in order leaves a gap: the shape takes a copy.
    if (borrowing && index > shape->taken) {
        failed = __return_gather(shape);
        borrowing = false;
    }
    if (!failed)
        failed = __grow_gather(shape, shape->count + 1);
    if (!color && list->colors)
        color = list->colors + 4 * index;
    if (!failed && color)
        failed = __colored_gather(shape);
    if (!failed && borrowing && index < shape->taken)
        failed = __repeat_gather(shape, index);
    if (failed)
        return failed;
    uint64_t at = shape->count++;
    if (borrowing)
        shape->taken += index == shape->taken;
    else
        __copy_gather(shape, shape->coords, at, list->coords, index);
    if (shape->joins)
        shape->joins[at] = 1;
    if (shape->colors)
        memcpy(shape->colors + 4 * at, color ? color : grey_gather, 4);
    return nullptr;
}

const char* paint_gather(Gathered* shape, uint64_t first, const uint8_t color[4])
{
    if (const char* failed = __colored_gather(shape))
        return failed;
    for (uint64_t v = first; v < shape->count; v++)
        memcpy(shape->colors + 4 * v, color, 4);
    return nullptr;
}

const char* release_gather(Gathered* shapes, int count, VertexList* list)
{
    const char* failed = nullptr;
    for (int k = 0; k < count; k++) {
        Gathered* shape = &shapes[k];
        if (!list->coords || shape->borrowed != list->coords)
            continue;
        // Room for every vertex the shape's arrays hold, so that it may grow on as it grows.
        size_t rows = static_cast<size_t>(shape->capacity > list->count ? shape->capacity : list->count);
        float* coords = static_cast<float*>(realloc(list->coords, rows * shape->dim * sizeof(float)));
        if (!coords) {
            shape->coords = nullptr;
            failed = "out of memory";
            break;
        }
        shape->borrowed = shape->coords = coords;
        __place_gather(shape, coords);
        list->coords = nullptr;
    }
    free(list->coords);
    free(list->colors);
    *list = {};
    return failed;
}

// Shrinks an array to its size; keeps it as it is when the shrinking fails.
template <class T> static T* __trim_gather(T* array, size_t bytes)
{
    T* trimmed = static_cast<T*>(realloc(array, bytes ? bytes : 1));
    return trimmed ? trimmed : array;
}

void finish_gather(Gathered* shape, ShapeData* data)
{
    size_t n = static_cast<size_t>(shape->count);
    *data = {};
    data->kind = shape->kind;
    data->dim = static_cast<uint8_t>(shape->dim);
    data->vertex_count = shape->count;
    data->coords = __trim_gather(shape->coords, n * shape->dim * sizeof(float));
    data->colors = shape->colors ? __trim_gather(shape->colors, 4 * n) : nullptr;
    data->joins = shape->joins ? __trim_gather(shape->joins, n) : nullptr;
    *shape = {};
}

void free_gather(Gathered* shape)
{
    if (!shape->borrowed)
        free(shape->coords);
    free(shape->repeats);
    free(shape->colors);
    free(shape->joins);
    *shape = {};
}

static uint64_t __slot_gather(uint64_t key, uint64_t capacity)
{
    return (key * 0x9e3779b97f4a7c15u >> 20) & (capacity - 1);
}

static int __rehash_gather(EdgeSet* set)
{
    uint64_t capacity = set->capacity ? 2 * set->capacity : 1024;
    uint64_t* keys = static_cast<uint64_t*>(calloc(static_cast<size_t>(capacity), sizeof(uint64_t)));
    if (!keys)
        return 1;
    for (uint64_t k = 0; k < set->capacity; k++) {
        if (!set->keys[k])
            continue;
        uint64_t at = __slot_gather(set->keys[k], capacity);
        while (keys[at])
            at = (at + 1) & (capacity - 1);
        keys[at] = set->keys[k];
    }
    free(set->keys);
    set->keys = keys;
    set->capacity = capacity;
    return 0;
}

int add_edge_gather(EdgeSet* set, uint32_t a, uint32_t b)
{
    if (2 * (set->used + 1) > set->capacity && __rehash_gather(set))
        return -1;
    // One more than the pair, so that no edge is 0, the empty slot.
    uint64_t key = (a < b ? uint64_t {a} << 32 | b : uint64_t {b} << 32 | a) + 1;
    uint64_t at = __slot_gather(key, set->capacity);
    while (set->keys[at]) {
        if (set->keys[at] == key)
            return 0;
        at = (at + 1) & (set->capacity - 1);
    }
    set->keys[at] = key;
    set->used++;
    return 1;
}

void clear_edges_gather(EdgeSet* set)
{
    if (set->keys)
        memset(set->keys, 0, static_cast<size_t>(set->capacity) * sizeof(uint64_t));
    set->used = 0;
}

void free_edges_gather(EdgeSet* set)
{
    free(set->keys);
    *set = {};
}
