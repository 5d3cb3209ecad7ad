// OFF and SKEL objects read into gathered shapes.
#include "core/oogl_object.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* refuse_object(ObjectReader* r, const char* format, ...)
{
    if (failed_scan(&r->scan))
        return r->scan.reason;
    char message[200];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    return refuse_scan(&r->scan, "%s", message);
}

static void __expected_object(Expected expected, char* text, size_t size)
{
    if (expected.of)
        snprintf(text, size, "%s of %s %llu", expected.what, expected.of,
            static_cast<unsigned long long>(expected.which));
    else
        snprintf(text, size, "%s", expected.what);
}

const char* unexpected_object(ObjectReader* r, Expected expected, Word word)
{
    char wanted[96], shown[128];
    __expected_object(expected, wanted, sizeof wanted);
    if (!word.length)
        return refuse_object(r, "expected %s, found the end of the file", wanted);
    quote_scan(word, shown, sizeof shown);
    return refuse_object(r, "expected %s, found %s", wanted, shown);
}

static const char* __count_object(ObjectReader* r, uint64_t* value, Expected expected)
{
    Word word = peek_scan(&r->scan);
    if (!word.length || count_scan(word, value))
        return unexpected_object(r, expected, word);
    take_scan(&r->scan, word);
    return nullptr;
}

// Refuses a count of things of at least `bytes` bytes each (the last
// without its blank) that the rest of the file cannot hold.
static const char* __fits_object(ObjectReader* r, uint64_t count, uint64_t bytes, const char* what)
{
    uint64_t most = (left_scan(&r->scan) + 1) / bytes;
    if (count <= most)
        return nullptr;
    return refuse_object(r, "%llu %s, more than the %llu bytes left can hold",
        static_cast<unsigned long long>(count), what, static_cast<unsigned long long>(left_scan(&r->scan)));
}

static const char* __number_object(ObjectReader* r, float* value, Expected expected)
{
    Word word = peek_scan(&r->scan);
    const char* wrong = word.length ? float_scan(word, value) : "";
    if (!wrong && std::isfinite(*value)) {
        take_scan(&r->scan, word);
        return nullptr;
    }
    if (!word.length || strcmp(wrong ? wrong : "", "not a number") == 0)
        return unexpected_object(r, expected, word);
    char wanted[96], shown[128];
    __expected_object(expected, wanted, sizeof wanted);
    quote_scan(word, shown, sizeof shown);
    return refuse_object(r, "%s %s is %s", wanted, shown, wrong ? wrong : "not finite");
}

// A colour of 3 or 4 values as RGBA: 0 to 1, or 0 to 255 where one passes 1.
static void __rgba_object(const float* values, int count, uint8_t* rgba)
{
    float scale = 1;
    for (int k = 0; k < count; k++)
        if (values[k] > 1)
            scale = 255;
    for (int k = 0; k < 4; k++) {
        float v = k < count ? values[k] / scale : 1;
        rgba[k] = static_cast<uint8_t>(std::lround(255 * (v > 0 ? (v < 1 ? v : 1) : 0)));
    }
}

// The colour written after a face's or polyline's indices, to the end of
// the line. Returns null with *given telling whether there was one.
static const char* __color_object(ObjectReader* r, uint8_t* rgba, bool* given)
{
    float values[4];
    int count = 0;
    for (;;) {
        Word word = peek_scan(&r->scan, true);
        float value;
        if (failed_scan(&r->scan))
            return r->scan.reason;
        // A brace or a key word after the colour is the next thing to read.
        if (!word.length || float_scan(word, &value))
            break;
        if (count == 4)
            return refuse_object(r, "a colour of more than 4 values");
        values[count++] = value;
        take_scan(&r->scan, word);
    }
    if (count == 2)
        return refuse_object(r, "a colour of 2 values: expected 3 or 4, or one colour-map index");
    // A lone value indexes a colour map, which this reader has not.
    *given = count >= 3;
    if (*given)
        __rgba_object(values, count, rgba);
    return nullptr;
}

static const char* __grow_object(ObjectReader* r, uint64_t corners)
{
    if (corners <= r->corner_capacity)
        return nullptr;
    free(r->corners);
    free(r->triangles);
    free(r->fresh);
    size_t n = static_cast<size_t>(corners < 64 ? 64 : corners);
    r->corners = static_cast<uint32_t*>(malloc(n * sizeof(uint32_t)));
    r->triangles = static_cast<uint32_t*>(malloc(3 * n * sizeof(uint32_t)));
    r->fresh = static_cast<uint8_t*>(malloc(n));
    r->corner_capacity = r->corners && r->triangles && r->fresh ? n : 0;
    return r->corner_capacity ? nullptr : "out of memory";
}

// Reads the vertex count of a face or polyline and its indices into corners.
static const char* __corners_object(ObjectReader* r, const char* what, uint64_t which, uint64_t* n)
{
    if (const char* failed = __count_object(r, n, {"the vertex count", what, which}))
        return failed;
    if (*n == 0)
        return refuse_object(r, "%s %llu has no vertices", what, static_cast<unsigned long long>(which));
    if (const char* failed = __fits_object(r, *n, 2, "vertex indices"))
        return failed;
    if (const char* failed = __grow_object(r, *n))
        return refuse_object(r, "%s", failed);
    for (uint64_t k = 0; k < *n; k++) {
        uint64_t index;
        if (const char* failed = __count_object(r, &index, {"a vertex index", what, which}))
            return failed;
        if (index >= r->list.count)
            return refuse_object(r, "index %llu is past the %llu vertices",
                static_cast<unsigned long long>(index), static_cast<unsigned long long>(r->list.count));
        r->corners[k] = static_cast<uint32_t>(index);
    }
    return nullptr;
}

// A face or polyline: its vertex indices into corners, and its colour,
// pointing into rgba, or none.
static const char* __item_object(
    ObjectReader* r, const char* what, uint64_t which, uint64_t* n, uint8_t* rgba, const uint8_t** color)
{
    bool colored = false;
    const char* failed = __corners_object(r, what, which, n);
    if (!failed)
        failed = __color_object(r, rgba, &colored);
    *color = colored ? rgba : nullptr;
    return failed;
}

// Sets m from an object's coordinates per vertex, 3 read with w = 0.
static const char* __dim_object(ObjectReader* r, uint64_t size, uint64_t line)
{
    if (size < 3)
        return refuse_object(r, "%llu coordinates per vertex: at least 3 are needed (3 are read with w = 0)",
            static_cast<unsigned long long>(size));
    if (size > 255)
        return refuse_object(r, "%llu coordinates per vertex: at most 255 can be shown",
            static_cast<unsigned long long>(size));
    int dim = size == 3 ? 4 : static_cast<int>(size);
    if (r->dim && r->dim != dim)
        return refuse_object(r, "m = %d (%d coordinates per vertex), but the object of line %llu has m = %d",
            dim, static_cast<int>(size), static_cast<unsigned long long>(r->dim_line), r->dim);
    r->dim = dim;
    r->dim_line = line;
    for (Gathered& shape : r->shapes)
        shape.dim = dim;
    return nullptr;
}

// The object's vertex list: count vertices of `size` coordinates each, and
// after them `normals` normal components, a colour (kept) and `texture`
// texture coordinates (dropped).
static const char* __vertices_object(
    ObjectReader* r, uint64_t count, int size, int normals, bool colored, int texture)
{
    int values = size + normals + 4 * colored + texture;
    if (const char* failed = __fits_object(r, count, 2 * static_cast<uint64_t>(values), "vertices"))
        return failed;
    if (count * static_cast<uint64_t>(r->dim) >= (uint64_t {1} << 32))
        return refuse_object(r, "too large: 2^32 or more coordinates");
    size_t n = static_cast<size_t>(count);
    r->list.coords = static_cast<float*>(malloc(n * r->dim * sizeof(float) + 1));
    r->list.colors = colored ? static_cast<uint8_t*>(malloc(4 * n + 1)) : nullptr;
    if (!r->list.coords || (colored && !r->list.colors))
        return refuse_object(r, "out of memory");
    r->list.count = count;
    r->counts.vertices += count;
    for (uint64_t v = 0; v < count; v++) {
        float* p = r->list.coords + v * r->dim;
        for (int k = 0; k < size; k++)
            if (const char* failed = __number_object(r, p + k, {"a coordinate", "vertex", v}))
                return failed;
        for (int k = size; k < r->dim; k++)
            p[k] = 0;
        float ignored, color[4];
        for (int k = 0; k < normals; k++)
            if (const char* failed = __number_object(r, &ignored, {"a normal component", "vertex", v}))
                return failed;
        for (int k = 0; colored && k < 4; k++)
            if (const char* failed = __number_object(r, color + k, {"a colour value", "vertex", v}))
                return failed;
        if (colored)
            __rgba_object(color, 4, r->list.colors + 4 * v);
        for (int k = 0; k < texture; k++)
            if (const char* failed = __number_object(r, &ignored, {"a texture coordinate", "vertex", v}))
                return failed;
    }
    return nullptr;
}

// Adds the vertices of the corners, one after the other, to the shape.
static const char* __append_object(ObjectReader* r, Gathered* shape, uint64_t corner, const uint8_t* color)
{
    if (const char* failed = append_gather(shape, &r->list, r->corners[corner], color))
        return refuse_object(r, "%s", failed);
    return nullptr;
}

// The polygon's own edges as lines, each edge the file has not given
// before: a polygon all of whose edges are new is one closed polyline,
// others runs of new edges.
static const char* __edges_object(ObjectReader* r, uint64_t n)
{
    Gathered* lines = &r->shapes[SHAPE_LINES];
    uint64_t edges = n == 2 ? 1 : n, fresh = 0, start = 0;
    for (uint64_t i = 0; i < edges; i++) {
        uint32_t a = r->corners[i], b = r->corners[(i + 1) % n];
        int added = a == b ? 0 : add_edge_gather(&r->edges, a, b);
        if (added < 0)
            return refuse_object(r, "out of memory");
        r->fresh[i] = static_cast<uint8_t>(added);
        fresh += r->fresh[i];
        if (!added)
            start = i;
    }
    r->counts.segments += fresh;
    bool running = false;
    for (uint64_t step = 1; step <= edges && fresh; step++) {
        uint64_t i = fresh == edges ? step - 1 : (start + step) % edges;
        const char* failed = nullptr;
        if (r->fresh[i] && !running)
            failed = __append_object(r, lines, i, nullptr);
        if (!failed && r->fresh[i])
            failed = __append_object(r, lines, (i + 1) % n, nullptr);
        if (failed)
            return failed;
        if (!r->fresh[i] && running)
            end_line_gather(lines);
        running = r->fresh[i];
    }
    if (running)
        end_line_gather(lines);
    return nullptr;
}

static const char* __face_object(ObjectReader* r, uint64_t face, uint64_t n, const uint8_t* color)
{
    if (n == 1) {
        r->counts.points++;
        return __append_object(r, &r->shapes[SHAPE_POINTS], 0, color);
    }
    if (n >= 3) {
        r->counts.faces++;
        const char* wrong = split_polygon(
            r->list.coords, r->dim, r->corners, static_cast<uint32_t>(n), r->triangles, &r->polygon);
        if (wrong && strcmp(wrong, "concave") == 0)
            return refuse_object(r,
                "face %llu is concave with %llu corners: at most %u are split into triangles",
                static_cast<unsigned long long>(face), static_cast<unsigned long long>(n),
                concave_limit_polygon);
        if (wrong)
            return refuse_object(r, "%s", wrong);
        for (uint64_t k = 0; k < 3 * (n - 2); k++)
            if (const char* failed = __append_object(r, &r->shapes[SHAPE_TRIANGLES], r->triangles[k], color))
                return failed;
    }
    return __edges_object(r, n);
}

// Reads NDIM where the key word calls for it, sets m from the coordinates
// per vertex (size) that the key word and NDIM give, and reads the counts
// of vertices and of faces or polylines.
static const char* __header_object(ObjectReader* r, ObjectKey key, uint64_t line, uint64_t* ndim, int* size,
    uint64_t* vertices, uint64_t* items, const char* items_count)
{
    if (key.n)
        if (const char* failed = __count_object(r, ndim, {"the dimension NDIM"}))
            return failed;
    uint64_t values = key.n ? *ndim + key.four : key.four ? 4 : 3;
    if (const char* failed = __dim_object(r, values, line))
        return failed;
    *size = static_cast<int>(values);
    const char* failed = __count_object(r, vertices, {"the vertex count"});
    return failed ? failed : __count_object(r, items, {items_count});
}

const char* read_off_object(ObjectReader* r, ObjectKey key, uint64_t line)
{
    uint64_t ndim = 3, vertices, faces;
    int size;
    const char* failed = __header_object(r, key, line, &ndim, &size, &vertices, &faces, "the face count");
    Word word = peek_scan(&r->scan);
    // The edge count must be there, but is neither used nor checked.
    if (!failed && !integral_scan(word))
        failed = unexpected_object(r, {"the edge count"}, word);
    if (failed)
        return failed;
    take_scan(&r->scan, word);
    failed = __vertices_object(
        r, vertices, size, key.normals ? static_cast<int>(ndim) : 0, key.c, key.st ? 2 : 0);
    if (!failed)
        failed = __fits_object(r, faces, 4, "faces");
    clear_edges_gather(&r->edges);
    for (uint64_t f = 0; !failed && f < faces; f++) {
        uint64_t n;
        uint8_t rgba[4];
        const uint8_t* color;
        failed = __item_object(r, "face", f, &n, rgba, &color);
        if (!failed)
            failed = __face_object(r, f, n, color);
    }
    return failed;
}

const char* read_skel_object(ObjectReader* r, ObjectKey key, uint64_t line)
{
    uint64_t ndim = 3, vertices, polylines;
    int size;
    const char* failed
        = __header_object(r, key, line, &ndim, &size, &vertices, &polylines, "the polyline count");
    if (!failed)
        failed = __vertices_object(r, vertices, size, 0, false, 0);
    if (!failed)
        failed = __fits_object(r, polylines, 4, "polylines");
    Gathered* lines = &r->shapes[SHAPE_LINES];
    for (uint64_t p = 0; !failed && p < polylines; p++) {
        uint64_t n;
        uint8_t rgba[4];
        const uint8_t* color;
        failed = __item_object(r, "polyline", p, &n, rgba, &color);
        if (!failed && n == 1) {
            r->counts.points++;
            failed = __append_object(r, &r->shapes[SHAPE_POINTS], 0, color);
            continue;
        }
        uint64_t first = lines->count;
        for (uint64_t k = 0; !failed && k < n; k++)
            failed = __append_object(r, lines, k, nullptr);
        if (failed)
            break;
        end_line_gather(lines);
        r->counts.segments += n - 1;
        if (color && paint_gather(lines, first, color))
            failed = refuse_object(r, "out of memory");
    }
    return failed;
}

void free_object(ObjectReader* r)
{
    free_edges_gather(&r->edges);
    free_polygon(&r->polygon);
    free(r->corners);
    free(r->triangles);
    free(r->fresh);
    r->corners = r->triangles = nullptr;
    r->fresh = nullptr;
    r->corner_capacity = 0;
}
