// KLEIN surface files, read whole into memory after the header is checked
// against the file's size, so that no claim in a header costs memory or time.
#include "klein.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The arrays are read straight into memory as little-endian floats.
static_assert(std::endian::native == std::endian::little);

static const uint64_t header_size = 15;

static int __refuse_klein(KleinReport* report, KleinStatus status)
{
    report->status = status;
    return 1;
}

// Large arrays take 2 MiB pages where the kernel offers them on request:
// faulting in 4 KiB pages one by one costs more than reading the file.
// Small ones come from malloc, given at least a byte: malloc(0) may return
// none, which would read as a failure.
static float* __allocate_klein(uint64_t bytes)
{
    const uint64_t huge = 2u << 20;
    if (bytes < huge)
        return static_cast<float*>(malloc(bytes ? bytes : 1));
    void* array = aligned_alloc(huge, (bytes + huge - 1) / huge * huge);
    if (array)
        madvise(array, bytes, MADV_HUGEPAGE);
    return static_cast<float*>(array);
}

// Reads count floats, or reports how far the file fell short.
static float* __read_array_klein(FILE* file, uint64_t count, KleinReport* report)
{
    float* array = __allocate_klein(4 * count);
    if (!array) {
        __refuse_klein(report, KLEIN_NO_MEMORY);
        return nullptr;
    }
    if (fread(array, 4, count, file) != count) {
        // The file shrank after its size was checked.
        long position = ftell(file);
        report->found = position < 0 ? 0 : static_cast<uint64_t>(position);
        __refuse_klein(report, KLEIN_TRUNCATED);
        free(array);
        return nullptr;
    }
    return array;
}

static int __read_klein(FILE* file, SurfaceData* data, KleinReport* report)
{
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return __refuse_klein(report, KLEIN_NOT_FILE);
    uint64_t size = static_cast<uint64_t>(info.st_size);

    unsigned char header[header_size] = {};
    size_t got = fread(header, 1, header_size, file);
    if (got < 5 || strncmp(reinterpret_cast<const char*>(header), "KLEIN", 5) != 0)
        return __refuse_klein(report, KLEIN_NOT_KLEIN);
    report->expected = header_size;
    report->found = size;
    if (got < header_size)
        return __refuse_klein(report, KLEIN_TRUNCATED);

    // header[5] is ignored.
    uint8_t dim = header[6];
    uint64_t vertex_count = 0;
    for (int k = 7; k >= 0; k--)
        vertex_count = vertex_count << 8 | header[7 + k];

    uint64_t count = dim * (vertex_count & 0xffffffffu);
    if (count >> 32)
        return __refuse_klein(report, KLEIN_TOO_LARGE);
    report->expected = header_size + 8 * count;
    if (size < report->expected)
        return __refuse_klein(report, KLEIN_TRUNCATED);

    float* coords = __read_array_klein(file, count, report);
    if (!coords)
        return 1;
    float* normals = __read_array_klein(file, count, report);
    if (!normals) {
        free(coords);
        return 1;
    }

    *data = {coords, normals, vertex_count, dim};
    return 0;
}

int create_surface_klein(const char* path, SurfaceData* data, KleinReport* report)
{
    KleinReport ignored;
    if (!report)
        report = &ignored;
    *report = {KLEIN_READ, 0, 0, 0};

    // Opening a named pipe with fopen would wait for a writer forever; opened
    // without blocking, it is refused below as not a regular file.
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    FILE* file = descriptor < 0 ? nullptr : fdopen(descriptor, "rb");
    if (!file) {
        report->error = errno;
        if (descriptor >= 0)
            close(descriptor);
        return __refuse_klein(report, KLEIN_CANNOT_OPEN);
    }
    int refused = __read_klein(file, data, report);
    fclose(file);
    return refused;
}
