// Fuzzes the OOGL reader through a file, read a small buffer at a time, and
// through the same bytes in memory, and holds both to each other and to what
// any verdict must be: shapes of one m, finite coordinates, whole triangles
// and ended polylines; or a refusal of one line naming a line of the file,
// the shapes left alone. No allocation may pass what the file and the
// shapes made of it need.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/oogl.h"
#include "reading.h"

namespace {

void __check_fuzz(const char* what, bool holds)
{
    if (!holds) {
        fprintf(stderr, "oogl_fuzz: %s\n", what);
        abort();
    }
}

void __check_refusal_fuzz(const char* reason, const uint8_t* bytes, size_t size)
{
    if (reason == not_oogl)
        return;
    unsigned long long line = 0;
    int used = 0;
    __check_fuzz("a refusal names a line", sscanf(reason, "line %llu: %n", &line, &used) == 1 && used > 0);
    size_t lines = 1 + static_cast<size_t>(std::count(bytes, bytes + size, '\n'));
    __check_fuzz("the line is one of the file's", line >= 1 && line <= lines);
    __check_fuzz("a refusal is one line", !strchr(reason, '\n') && strlen(reason) < 256);
}

void __check_shapes_fuzz(const ShapeData* shapes, int count)
{
    __check_fuzz("one to three shapes", count >= 1 && count <= max_shapes_oogl);
    for (int k = 0; k < count; k++) {
        const ShapeData& s = shapes[k];
        __check_fuzz("kinds in order", k == 0 || s.kind > shapes[k - 1].kind);
        __check_fuzz("one m, 4 to 255", s.dim == shapes[0].dim && s.dim >= 4);
        __check_fuzz("no empty shape", s.vertex_count > 0);
        __check_fuzz("no normals", !s.normals);
        __check_fuzz("whole triangles", s.kind != SHAPE_TRIANGLES || s.vertex_count % 3 == 0);
        __check_fuzz("joins on lines alone", (s.kind == SHAPE_LINES) == (s.joins != nullptr));
        if (s.joins)
            __check_fuzz("the last polyline ends", s.joins[s.vertex_count - 1] == 0);
        for (uint64_t v = 0; v < s.vertex_count * s.dim; v++)
            __check_fuzz("finite coordinates", std::isfinite(s.coords[v]));
    }
}

bool __same_fuzz(const ShapeData& a, const ShapeData& b)
{
    size_t n = static_cast<size_t>(a.vertex_count);
    auto same = [n](const void* x, const void* y, size_t each) {
        return (!x && !y) || (x && y && memcmp(x, y, n * each) == 0);
    };
    return a.kind == b.kind && a.dim == b.dim && a.vertex_count == b.vertex_count
        && same(a.coords, b.coords, 4 * a.dim) && same(a.colors, b.colors, 4) && same(a.joins, b.joins, 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const char* path = input_file_fuzz(bytes, size);
    ShapeData from_file[max_shapes_oogl], from_memory[max_shapes_oogl];
    memset(from_file, 0x5a, sizeof from_file);
    int file_count = -7, memory_count = -7;

    reading_fuzz = true;
    largest_fuzz = 0;
    const char* file_reason = read_shapes_oogl(path, from_file, &file_count);
    const char* memory_reason
        = parse_shapes_oogl(reinterpret_cast<const char*>(bytes), size, from_memory, &memory_count);
    reading_fuzz = false;

    __check_fuzz("the same verdict", !file_reason == !memory_reason);
    if (file_reason) {
        __check_fuzz("the same reason", strcmp(file_reason, memory_reason) == 0);
        __check_fuzz("count left alone", file_count == -7 && memory_count == -7);
        const uint8_t* record = reinterpret_cast<const uint8_t*>(from_file);
        __check_fuzz("shapes left alone",
            std::all_of(record, record + sizeof from_file, [](uint8_t b) { return b == 0x5a; }));
        __check_refusal_fuzz(file_reason, bytes, size);
        return 0;
    }
    __check_shapes_fuzz(from_file, file_count);
    __check_fuzz("the same count", file_count == memory_count);
    size_t output = 0;
    for (int k = 0; k < file_count; k++) {
        __check_fuzz("the same shapes", __same_fuzz(from_file[k], from_memory[k]));
        output = std::max(output, static_cast<size_t>(from_file[k].vertex_count) * from_file[k].dim * 4);
        free_shape(&from_file[k]);
        free_shape(&from_memory[k]);
    }
    // Arrays grow by doubling; the vertex lists, edges and corners of a
    // file cost a few times its size; and a little more is small change.
    __check_fuzz("no allocation beyond the file's and the shapes' needs",
        largest_fuzz <= std::max(2 * output, 16 * size) + (128 << 10));
    return 0;
}
