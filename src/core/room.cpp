// Room for work over millions of items: small blocks from the heap, large
// ones mapped apart, where the host maps memory.
#include "core/room.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace {

const uint64_t huge_room = uint64_t {2} << 20;
#ifdef __linux__
constexpr bool maps_room = true;
#else
constexpr bool maps_room = false;
#endif

uint64_t __page_room()
{
    return static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

bool __mapped_room(uint64_t bytes)
{
    return maps_room && bytes >= huge_room;
}

} // namespace

void* take_room(uint64_t bytes)
{
    uint64_t page = __page_room(), whole = (bytes + page) / page * page;
    if (!__mapped_room(bytes))
        return aligned_alloc(static_cast<size_t>(page), static_cast<size_t>(whole));
    void* room = mmap(nullptr, static_cast<size_t>(whole), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (room == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(room, static_cast<size_t>(whole), MADV_HUGEPAGE);
#endif
    return room;
}

void give_room(void* room, uint64_t bytes)
{
    uint64_t page = __page_room();
    if (room && __mapped_room(bytes))
        munmap(room, static_cast<size_t>((bytes + page) / page * page));
    else
        free(room);
}

uint64_t spend_room(void* block, uint64_t from, uint64_t to)
{
    uint64_t page = __page_room(), start = reinterpret_cast<uintptr_t>(block);
    uint64_t first = (start + from + page - 1) / page * page, end = (start + to) / page * page;
    if (end <= first)
        return from;
    if (maps_room)
        madvise(reinterpret_cast<void*>(first), static_cast<size_t>(end - first), MADV_DONTNEED);
    return end - start;
}

void use_heap_room(HeapUse use)
{
    mallopt(M_MMAP_THRESHOLD, use == HEAP_FRAMES ? 32 << 20 : 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}
