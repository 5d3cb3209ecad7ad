// Fuzzes the KLEIN reader through a file, as the viewer reads one, and holds
// every verdict to what the bytes call for: what is read is exactly the
// header's surface, a refusal leaves the record alone and names the first
// fault of the file, and no allocation of a read is larger than the file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/klein.h"
#include "reading.h"

namespace {

[[noreturn]] void __fail_fuzz(const char* what, unsigned long long got, unsigned long long wanted)
{
    fprintf(stderr, "klein_fuzz: %s: got %llu, wanted %llu\n", what, got, wanted);
    abort();
}

void __check_fuzz(const char* what, unsigned long long got, unsigned long long wanted)
{
    if (got != wanted)
        __fail_fuzz(what, got, wanted);
}

// The reader's verdict worked out from the bytes alone.
KleinReport __verdict_fuzz(const uint8_t* bytes, size_t size)
{
    if (size < 5 || memcmp(bytes, "KLEIN", 5) != 0)
        return {KLEIN_NOT_KLEIN, 0, 0, 0};
    if (size < 15)
        return {KLEIN_TRUNCATED, 0, 15, size};
    uint64_t vertex_count = 0;
    memcpy(&vertex_count, bytes + 7, 8);
    uint64_t count = bytes[6] * (vertex_count & 0xffffffffu);
    if (count >> 32)
        return {KLEIN_TOO_LARGE, 0, 0, 0};
    if (size < 15 + 8 * count)
        return {KLEIN_TRUNCATED, 0, 15 + 8 * count, size};
    return {KLEIN_READ, 0, 0, 0};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const char* path = input_file_fuzz(bytes, size);
    const SurfaceData untouched = {reinterpret_cast<float*>(0x5a5a), nullptr, 0x1234, 0x56};
    SurfaceData data = untouched;
    KleinReport report;

    reading_fuzz = true;
    largest_fuzz = 0;
    int refused = create_surface_klein(path, &data, &report);
    reading_fuzz = false;

    __check_fuzz("an allocation beyond the file's size", largest_fuzz > size, 0);
    KleinReport verdict = __verdict_fuzz(bytes, size);
    __check_fuzz("status", report.status, verdict.status);
    __check_fuzz("refused", refused, verdict.status != KLEIN_READ);
    if (refused) {
        __check_fuzz("record left alone", memcmp(&data, &untouched, sizeof data), 0);
        if (verdict.status == KLEIN_TRUNCATED) {
            __check_fuzz("bytes expected", report.expected, verdict.expected);
            __check_fuzz("bytes found", report.found, verdict.found);
        }
        return 0;
    }

    uint64_t vertex_count = 0;
    memcpy(&vertex_count, bytes + 7, 8);
    __check_fuzz("m", data.dim, bytes[6]);
    __check_fuzz("n", data.vertex_count, vertex_count);
    uint64_t count = data.dim * (data.vertex_count & 0xffffffffu);
    __check_fuzz("file holds the arrays", size >= 15 + 8 * count, 1);
    __check_fuzz("coordinates", memcmp(data.coords, bytes + 15, 4 * count), 0);
    __check_fuzz("normals", memcmp(data.normals, bytes + 15 + 4 * count, 4 * count), 0);
    free(data.coords);
    free(data.normals);
    return 0;
}
