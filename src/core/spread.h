// Work spread over the host's cores: a range cut into parts, each run on a
// thread of its own, where the host has threads and the work is worth it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "core/host.h"

// How many parts work over n items is cut into: one a core, up to 16, each
// of at least 65536 items; one where there are no threads.
inline int parts_spread(uint64_t n)
{
    if (!has_threads_platform)
        return 1;
    uint64_t cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<int>(std::max<uint64_t>(1, std::min<uint64_t>({cores, 16, n / 65536})));
}

// Runs work(part, first, last) over the parts_spread(n) parts of 0 to n,
// the first on the calling thread, and waits for them all.
template <class Work> void run_spread(uint64_t n, Work work)
{
    const int parts = parts_spread(n);
    std::vector<std::thread> threads;
    for (int p = 1; p < parts; p++)
        threads.emplace_back([&work, n, p, parts] { work(p, n * p / parts, n * (p + 1) / parts); });
    work(0, uint64_t {0}, n / parts);
    for (std::thread& thread : threads)
        thread.join();
}
