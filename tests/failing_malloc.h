// Allocation failure on demand: the executable that links failing_malloc.cpp
// has its malloc, calloc, realloc, free, aligned_alloc, posix_memalign and
// memalign replaced by ones that can be told to fail.
//
// Only the thread that arms it counts allocations and sees them fail, so
// other threads (the GL driver's workers) neither shift the count nor fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FailurePlan {
    uint64_t k;     // the allocation to fail, counting from 1; 0 fails none
    bool from_on;   // fail the k-th and every one after it, not only the k-th
    bool ours_only; // count only allocations called from this executable's code
};

// Starts counting allocations on the calling thread, from 0.
void arm_failure(FailurePlan plan);

// Stops counting.
void disarm_failure();

// How many allocations failed in the last run.
uint64_t failed_failure();

// Forgets the blocks that counted allocations made so far.
void forget_failure();

struct LiveBlock {
    void* address;
    void* caller; // where the allocation was called from
};

// The two below allocate: call them unarmed.

// The blocks that counted allocations made since forget_failure and that
// are not freed yet, whichever thread frees them, in address order.
std::vector<LiveBlock> live_failure();

// Where the blocks were allocated, as object file and offset for addr2line.
std::string describe_failure(const std::vector<LiveBlock>& blocks);
