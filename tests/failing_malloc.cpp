// Replaces the allocator's entry points with ones that forward to glibc's own
// (the __libc_ names), failing where a plan says so. glibc routes its own
// allocations, and the dynamic loader's, through these too.
#include "failing_malloc.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
void* __libc_memalign(size_t alignment, size_t size);

// Bounds of this executable's code, from the linker.
extern char __executable_start[], etext[];
}

namespace {

// Per thread, so that the count is only the armed thread's. Constant
// initialisers keep the thread-local storage free of allocation.
thread_local bool armed = false;
thread_local FailurePlan plan = {};
thread_local uint64_t counted = 0;
thread_local uint64_t failed = 0;

// The live blocks counted since forget_failure: few, so a list searched
// under a spin lock serves, and it needs no memory of its own.
const size_t max_blocks = 1 << 14;
LiveBlock blocks[max_blocks];
size_t block_count = 0;
std::atomic<size_t> tracked {0};
std::atomic_flag lock = ATOMIC_FLAG_INIT;

void take_lock()
{
    while (lock.test_and_set(std::memory_order_acquire)) { }
}

void drop_lock()
{
    lock.clear(std::memory_order_release);
}

// Whether an allocation called from caller is counted in this run.
bool counts(void* caller)
{
    return armed && (!plan.ours_only || (caller >= __executable_start && caller < etext));
}

// Whether the allocation about to be made fails. Counts it when armed.
bool fails(void* caller)
{
    if (!counts(caller))
        return false;
    counted++;
    bool fail = plan.k && (counted == plan.k || (plan.from_on && counted > plan.k));
    if (fail) {
        failed++;
        errno = ENOMEM;
    }
    return fail;
}

// A tracker that overflows would miss leaks, so it stops the run.
void track(void* address, void* caller)
{
    if (!address || !counts(caller))
        return;
    take_lock();
    if (block_count == max_blocks) {
        static const char message[] = "failing_malloc: too many live blocks to track\n";
        if (write(2, message, sizeof message - 1) < 0) { }
        drop_lock(); // abort may free
        abort();
    }
    blocks[block_count++] = {address, caller};
    tracked.store(block_count, std::memory_order_release);
    drop_lock();
}

void untrack(void* address)
{
    if (!address || tracked.load(std::memory_order_acquire) == 0)
        return;
    take_lock();
    for (size_t i = 0; i < block_count; i++) {
        if (blocks[i].address == address) {
            blocks[i] = blocks[--block_count];
            break;
        }
    }
    tracked.store(block_count, std::memory_order_release);
    drop_lock();
}

void* aligned(size_t alignment, size_t size, void* caller)
{
    if (fails(caller))
        return nullptr;
    void* block = __libc_memalign(alignment, size);
    track(block, caller);
    return block;
}

} // namespace

void arm_failure(FailurePlan p)
{
    plan = p;
    counted = 0;
    failed = 0;
    armed = true;
}

void disarm_failure()
{
    armed = false;
}

uint64_t failed_failure()
{
    return failed;
}

void forget_failure()
{
    take_lock();
    block_count = 0;
    tracked.store(0, std::memory_order_release);
    drop_lock();
}

std::vector<LiveBlock> live_failure()
{
    // Copied under the lock into memory of its own: the vector's allocations
    // must not run while it is held.
    static LiveBlock copy[max_blocks];
    take_lock();
    size_t count = block_count;
    std::copy(blocks, blocks + count, copy);
    drop_lock();
    std::vector<LiveBlock> live(copy, copy + count);
    std::sort(live.begin(), live.end(),
        [](const LiveBlock& a, const LiveBlock& b) { return a.address < b.address; });
    return live;
}

std::string describe_failure(const std::vector<LiveBlock>& live)
{
    std::string text;
    for (const LiveBlock& block : live) {
        Dl_info info;
        if (!dladdr(block.caller, &info) || !info.dli_fname)
            continue;
        char offset[32];
        snprintf(offset, sizeof offset, "+0x%lx",
            static_cast<unsigned long>(
                static_cast<char*>(block.caller) - static_cast<char*>(info.dli_fbase)));
        text += std::string(" ") + info.dli_fname + offset;
    }
    return text;
}

extern "C" {

void* malloc(size_t size)
{
    void* caller = __builtin_return_address(0);
    if (fails(caller))
        return nullptr;
    void* block = __libc_malloc(size);
    track(block, caller);
    return block;
}

void* calloc(size_t count, size_t size)
{
    void* caller = __builtin_return_address(0);
    if (fails(caller))
        return nullptr;
    void* block = __libc_calloc(count, size);
    track(block, caller);
    return block;
}

// A failed realloc leaves the block as it was; a moved one is tracked anew.
void* realloc(void* block, size_t size)
{
    void* caller = __builtin_return_address(0);
    if (block && size == 0) {
        untrack(block);
        __libc_free(block);
        return nullptr;
    }
    if (fails(caller))
        return nullptr;
    void* moved = __libc_realloc(block, size);
    if (moved) {
        untrack(block);
        track(moved, caller);
    }
    return moved;
}

void free(void* block)
{
    untrack(block);
    __libc_free(block);
}

void* aligned_alloc(size_t alignment, size_t size)
{
    return aligned(alignment, size, __builtin_return_address(0));
}

void* memalign(size_t alignment, size_t size)
{
    return aligned(alignment, size, __builtin_return_address(0));
}

int posix_memalign(void** result, size_t alignment, size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* block = aligned(alignment, size, __builtin_return_address(0));
    if (!block)
        return ENOMEM;
    *result = block;
    return 0;
}

} // extern "C"
