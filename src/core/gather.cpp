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

// Grows the arrays to hold `wanted` vertices in all.
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
    float* coords = static_cast<float*>(realloc(shape->coords, vertices * shape->dim * sizeof(float)));
    if (!coords)
        return "out of memory";
    shape->coords = coords;
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

// Takes the list's coordinates over as the shape's own, to be added to in place.
static const char* __borrow_gather(Gathered* shape, VertexList* list)
{
    free(shape->coords);
    free(shape->colors);
    shape->coords = nullptr;
    shape->colors = nullptr;
    shape->capacity = 0;
    if (const char* failed = __most_gather(shape, list->count))
        return failed;
    size_t vertices = static_cast<size_t>(list->count);
    if (shape->kind == SHAPE_LINES) {
        uint8_t* joins = static_cast<uint8_t*>(realloc(shape->joins, vertices));
        if (!joins)
            return "out of memory";
        shape->joins = joins;
    }
    shape->coords = list->coords;
    shape->borrowed = list->coords;
    shape->capacity = list->count;
    list->lent = true;
    return nullptr;
}

// Gives the coordinates back to the list, keeping a copy of those used.
static const char* __return_gather(Gathered* shape)
{
    float* coords
        = static_cast<float*>(malloc(static_cast<size_t>(shape->capacity) * shape->dim * sizeof(float)));
    if (!coords)
        return "out of memory";
    memcpy(coords, shape->coords, static_cast<size_t>(shape->count) * shape->dim * sizeof(float));
    shape->coords = coords;
    shape->borrowed = nullptr;
    return nullptr;
}

const char* append_gather(Gathered* shape, VertexList* list, uint64_t index, const uint8_t* color)
{
    const char* failed = nullptr;
    bool in_place = shape->borrowed == list->coords && index == shape->count;
    if (!in_place && shape->count == 0 && index == 0 && !list->lent && !shape->borrowed) {
        failed = __borrow_gather(shape, list);
        in_place = !failed;
    } else if (!in_place && shape->borrowed)
        failed = __return_gather(shape);
    if (!failed && !in_place)
        failed = __grow_gather(shape, shape->count + 1);
    if (!color && list->colors)
        color = list->colors + 4 * index;
    if (!failed && color)
        failed = __colored_gather(shape);
    if (failed)
        return failed;
    uint64_t at = shape->count++;
    if (!in_place)
        memcpy(
            shape->coords + at * shape->dim, list->coords + index * shape->dim, shape->dim * sizeof(float));
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

void release_gather(Gathered* shapes, int count, VertexList* list)
{
    for (int k = 0; k < count; k++)
        if (list->coords && shapes[k].borrowed == list->coords)
            list->coords = nullptr;
    for (int k = 0; k < count; k++)
        if (!list->coords && shapes[k].borrowed)
            shapes[k].borrowed = nullptr;
    free(list->coords);
    free(list->colors);
    *list = {};
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
