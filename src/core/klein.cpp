// KLEIN surface files. The header is checked against the file's size before
// anything is allocated, so that no claim in a header costs memory or time;
// the arrays are then read with pread straight into the caller's memory.
#include "core/klein.h"

#include <fcntl.h>
#include <pthread.h>
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

// The file's size now, or 0 when it cannot be had.
static uint64_t __size_klein(int descriptor)
{
    struct stat info;
    return fstat(descriptor, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

static int __check_klein(int descriptor, KleinFile* file, KleinReport* report)
{
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
        return __refuse_klein(report, KLEIN_NOT_FILE);
    uint64_t size = static_cast<uint64_t>(info.st_size);

    unsigned char header[header_size] = {};
    ssize_t got = pread(descriptor, header, header_size, 0);
    if (got < 5 || memcmp(header, "KLEIN", 5) != 0)
        return __refuse_klein(report, KLEIN_NOT_KLEIN);
    report->expected = header_size;
    report->found = size;
    if (static_cast<uint64_t>(got) < header_size)
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

    *file = {descriptor, dim, vertex_count, count};
    return 0;
}

int open_surface_klein(const char* path, KleinFile* file, KleinReport* report)
{
    *report = {KLEIN_READ, 0, 0, 0};
    // Opening a named pipe blocking would wait for a writer forever; opened
    // without blocking, it is refused as not a regular file.
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        report->error = errno;
        return __refuse_klein(report, KLEIN_CANNOT_OPEN);
    }
    if (__check_klein(descriptor, file, report)) {
        close(descriptor);
        return 1;
    }
    return 0;
}

// Reads bytes from offset on; a short count means the file ended early.
static int __pread_klein(int descriptor, void* memory, uint64_t bytes, uint64_t offset)
{
    char* at = static_cast<char*>(memory);
    while (bytes > 0) {
        ssize_t got = pread(descriptor, at, bytes, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 1;
        at += got;
        bytes -= static_cast<uint64_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return 0;
}

struct KleinPart {
    int descriptor;
    float* memory;
    uint64_t bytes, offset;
    int failed;
};

static void* __read_part_klein(void* part)
{
    KleinPart* p = static_cast<KleinPart*>(part);
    p->failed = __pread_klein(p->descriptor, p->memory, p->bytes, p->offset);
    return nullptr;
}

int read_surface_klein(const KleinFile* file, float* coords, float* normals, KleinReport* report)
{
    uint64_t bytes = 4 * file->count;
    // Without the normals, the coordinates are read in two halves.
    uint64_t half = normals ? bytes : bytes / 8 * 4;
    KleinPart parts[2] = {
        {file->descriptor, coords, half, header_size, 0},
        normals ? KleinPart {file->descriptor, normals, bytes, header_size + bytes, 0}
                : KleinPart {file->descriptor, coords + half / 4, bytes - half, header_size + half, 0},
    };
    // Large arrays are read side by side: into fresh memory, most of a read
    // is the kernel faulting in its pages, and a second core halves that.
    // Without a thread they are read one after the other.
    pthread_t thread;
    bool side_by_side
        = bytes >= (1u << 20) && pthread_create(&thread, nullptr, __read_part_klein, &parts[0]) == 0;
    if (!side_by_side)
        __read_part_klein(&parts[0]);
    __read_part_klein(&parts[1]);
    if (side_by_side)
        pthread_join(thread, nullptr);

    if (parts[0].failed || parts[1].failed) {
        report->expected = header_size + 2 * bytes;
        report->found = __size_klein(file->descriptor);
        return __refuse_klein(report, KLEIN_TRUNCATED);
    }
    return 0;
}

void close_surface_klein(KleinFile* file)
{
    close(file->descriptor);
    file->descriptor = -1;
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

int create_surface_klein(const char* path, SurfaceData* data, KleinReport* report)
{
    KleinReport ignored;
    if (!report)
        report = &ignored;
    KleinFile file;
    if (open_surface_klein(path, &file, report))
        return 1;

    float* coords = __allocate_klein(4 * file.count);
    float* normals = __allocate_klein(4 * file.count);
    int refused = 0;
    if (!coords || !normals)
        refused = __refuse_klein(report, KLEIN_NO_MEMORY);
    else
        refused = read_surface_klein(&file, coords, normals, report);
    close_surface_klein(&file);
    if (refused) {
        free(coords);
        free(normals);
        return 1;
    }
    *data = {coords, normals, file.vertex_count, file.dim};
    return 0;
}

void describe_klein(const KleinReport* report, char* text, size_t size)
{
    switch (report->status) {
    case KLEIN_READ:
        snprintf(text, size, "read");
        break;
    case KLEIN_CANNOT_OPEN:
        snprintf(text, size, "cannot open: %s", strerror(report->error));
        break;
    case KLEIN_NOT_FILE:
        snprintf(text, size, "cannot open: not a regular file");
        break;
    case KLEIN_NOT_KLEIN:
        snprintf(text, size, "not a KLEIN file");
        break;
    case KLEIN_TRUNCATED:
        snprintf(text, size, "truncated: expected %llu bytes, found %llu",
            static_cast<unsigned long long>(report->expected),
            static_cast<unsigned long long>(report->found));
        break;
    case KLEIN_TOO_LARGE:
        snprintf(text, size, "too large: 2^32 or more coordinates");
        break;
    case KLEIN_NO_MEMORY:
        snprintf(text, size, "out of memory");
        break;
    }
}
