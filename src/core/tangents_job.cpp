// The search for tangent planes on a thread of its own, while the window
// draws: one job at a time, its planes the caller's once it is done; and
// the half floats they are kept in.
#include "core/tangents.h"

#include <cstring>
#include <thread>

#include "core/host.h"
#include "core/room.h"

namespace {

struct Job {
    std::thread thread;
    std::atomic<bool> stop;
    std::atomic<int> state; // as done_tangents says
    uint32_t serial;        // 0: none
    const float* coords;
    uint8_t dim;
    uint64_t n;
    uint32_t* points;
    Planes planes;     // once done
    Progress progress; // the planes as they come
    bool handed;       // whether the caller has taken them as they come
};

Job job;

void __run_tangents()
{
    int found = find_tangents(job.coords, job.dim, job.n, job.points, &job.planes, &job.stop, &job.progress);
    job.state = found ? 1 : 2;
    // Whoever waits for planes as they come waits no more.
    job.progress.taken = true;
    job.progress.taken.notify_all();
    job.progress.ready = UINT64_MAX;
    job.progress.ready.notify_all();
}

} // namespace

void start_tangents(const float* coords, uint8_t dim, uint64_t n, uint32_t* points, uint32_t serial)
{
    // Planes taken as they come are drawn: they are finished, not stopped.
    if (job.handed && job.thread.joinable())
        job.thread.join();
    stop_tangents(job.serial);
    job.stop = false;
    job.state = 0;
    job.serial = serial;
    job.coords = coords;
    job.dim = dim;
    job.n = n;
    job.points = points;
    job.planes = {nullptr, 0};
    job.progress.planes = {nullptr, 0};
    job.progress.taken = false;
    job.progress.ready = 0;
    job.handed = false;
    if (has_threads_platform)
        job.thread = std::thread(__run_tangents);
}

int done_tangents(uint32_t serial, bool wait, Planes* planes)
{
    if (!serial || serial != job.serial)
        return -1;
    if (!has_threads_platform && job.state == 0)
        __run_tangents();
    if (wait && job.thread.joinable())
        job.thread.join();
    int state = job.state;
    if (state == 0)
        return 0;
    if (job.thread.joinable())
        job.thread.join();
    job.serial = 0;
    // Planes given as they came and not taken are nobody's once it fails.
    if (state == 2 && !job.handed)
        give_room(job.progress.planes.halves, 4 * uint64_t {job.dim} * job.progress.planes.count);
    *planes = job.planes;
    job.planes = {nullptr, 0};
    return state;
}

uint64_t early_tangents(uint32_t serial, Planes* planes)
{
    *planes = {nullptr, 0};
    if (!serial || serial != job.serial || !has_threads_platform)
        return 0;
    job.progress.taken.wait(false);
    if (job.state != 0 || !job.progress.planes.halves)
        return 0;
    job.handed = true;
    *planes = job.progress.planes;
    return job.progress.ready;
}

uint64_t wait_tangents(uint32_t serial, uint64_t vertices)
{
    if (!serial || serial != job.serial || !job.handed)
        return UINT64_MAX;
    uint64_t ready = job.progress.ready;
    while (ready < vertices) {
        job.progress.ready.wait(ready);
        ready = job.progress.ready;
    }
    return ready;
}

void stop_tangents(uint32_t serial)
{
    if (!serial || serial != job.serial)
        return;
    job.stop = true;
    if (job.thread.joinable())
        job.thread.join();
    // Planes found before the stop came are nobody's, unless the caller
    // has taken them as they came.
    if (job.handed)
        job.planes = {nullptr, 0};
    else if (job.progress.planes.halves)
        job.planes = job.progress.planes;
    give_room(job.planes.halves, 4 * uint64_t {job.dim} * job.planes.count);
    job.planes = {nullptr, 0};
    job.serial = 0;
}

uint16_t half_tangents(float value)
{
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
    int exponent = static_cast<int>((bits >> 23) & 0xffu) - 127 + 15;
    if (exponent <= 0)
        return sign;
    // Rounded to nearest, a carry going on into the exponent.
    uint32_t half = (static_cast<uint32_t>(exponent) << 10 | (bits & 0x7fffffu) >> 13) + ((bits >> 12) & 1u);
    return static_cast<uint16_t>(sign | (half < 0x7c00u ? half : 0x7c00u));
}
