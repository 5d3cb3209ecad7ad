// The search for tangent planes on a thread of its own, while the window
// draws: one job at a time, its planes the caller's once it is done.
#include "core/tangents.h"

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
    Planes planes; // once done
};

Job job;

void __run_tangents()
{
    int found = find_tangents(job.coords, job.dim, job.n, job.points, &job.planes, &job.stop);
    job.state = found ? 1 : 2;
}

} // namespace

void start_tangents(const float* coords, uint8_t dim, uint64_t n, uint32_t* points, uint32_t serial)
{
    stop_tangents(job.serial);
    job.stop = false;
    job.state = 0;
    job.serial = serial;
    job.coords = coords;
    job.dim = dim;
    job.n = n;
    job.points = points;
    job.planes = {nullptr, 0};
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
    *planes = job.planes;
    job.planes = {nullptr, 0};
    return state;
}

void stop_tangents(uint32_t serial)
{
    if (!serial || serial != job.serial)
        return;
    job.stop = true;
    if (job.thread.joinable())
        job.thread.join();
    // Planes found before the stop came are nobody's.
    give_room(job.planes.halves, 4 * uint64_t {job.dim} * job.planes.count);
    job.planes = {nullptr, 0};
    job.serial = 0;
}
