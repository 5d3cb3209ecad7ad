// What the fuzz targets that read files share: the input as a file, and
// the largest allocation of a read, counted on the reading thread alone
// (libFuzzer's own threads allocate when they please).
#pragma once

#include <sanitizer/allocator_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline thread_local bool reading_fuzz = false;
inline size_t largest_fuzz = 0;

inline void allocated_fuzz(const volatile void*, size_t size)
{
    if (reading_fuzz && size > largest_fuzz)
        largest_fuzz = size;
}

inline void freed_fuzz(const volatile void*)
{
}

// A target that includes this counts allocations made while reading_fuzz is
// set from its start.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    __sanitizer_install_malloc_and_free_hooks(allocated_fuzz, freed_fuzz);
    return 0;
}

// The path of a file in memory holding the input, the same file each time.
inline const char* input_file_fuzz(const uint8_t* bytes, size_t size)
{
    static int descriptor = -1;
    static char path[64];
    if (descriptor < 0) {
        descriptor = memfd_create("fuzz-input", MFD_CLOEXEC);
        snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
    }
    if (descriptor < 0 || ftruncate(descriptor, 0) != 0
        || pwrite(descriptor, bytes, size, 0) != static_cast<ssize_t>(size)) {
        fprintf(stderr, "cannot write the input to a file in memory\n");
        abort();
    }
    return path;
}
