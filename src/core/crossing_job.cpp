// The double curve beside the drawing: one thread for the life of the
// process finds the curve of the job last asked for and lifts it to the
// surface, so that the thread that draws only polls, takes the arrays and
// uploads them. Polling and taking neither lock nor wait.
#include "core/crossing.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "core/crossing_parts.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

int lines_crossing(const Crossing* curve, const float* coords, uint8_t dim, CrossingLines* lines)
{
    uint64_t n = curve->point_count;
    *lines = {};
    lines->count = n;
    for (float*& sheet : lines->sheets)
        sheet = static_cast<float*>(malloc(n * dim * sizeof(float)));
    lines->joins = static_cast<uint8_t*>(malloc(n));
    double* lifted = static_cast<double*>(malloc(2 * dim * sizeof(double)));
    if (!lines->sheets[0] || !lines->sheets[1] || !lines->sheets[2] || !lines->joins || !lifted) {
        free(lifted);
        free_lines_crossing(lines);
        return 0;
    }
    for (uint64_t line = 0; line < curve->line_count; line++)
        for (uint64_t k = curve->starts[line]; k < curve->starts[line + 1]; k++) {
            lift_crossing(curve, coords, dim, k, 0, lifted);
            lift_crossing(curve, coords, dim, k, 1, lifted + dim);
            for (int c = 0; c < dim; c++) {
                lines->sheets[0][k * dim + c] = static_cast<float>(lifted[c]);
                lines->sheets[1][k * dim + c] = static_cast<float>(lifted[dim + c]);
                lines->sheets[2][k * dim + c] = static_cast<float>(0.5 * (lifted[c] + lifted[dim + c]));
            }
            lines->joins[k] = k + 1 < curve->starts[line + 1];
        }
    free(lifted);
    return 1;
}

void free_lines_crossing(CrossingLines* lines)
{
    for (float* sheet : lines->sheets)
        free(sheet);
    free(lines->joins);
    *lines = {};
}

namespace {

// What a job finds the curve of.
struct Task {
    const float* coords;
    uint8_t dim;
    uint64_t n;
    CrossingView view;
};

// The caller's thread alone sets serial; the worker hands a job back by
// filling curve and lines and then setting state, after which it leaves
// them alone until the next job, so the caller can read them unlocked.
struct Worker {
    std::mutex lock; // over task, busy and the hand-over
    std::condition_variable changed;
    bool started;
    bool busy; // the thread is at a task
    Task task;
    std::atomic<uint32_t> serial; // the job asked for; 0: none
    std::atomic<int> state;       // as done_crossing says
    std::atomic<bool> stop;
    Crossing curve;
    CrossingLines lines;
};

// Never destroyed: the thread may still wait on it as the process ends.
Worker& worker = *new Worker();

// The job's work: the curve and its lines, or why not.
const char* __work_crossing(const Task& t, Crossing* curve, CrossingLines* lines)
{
    const char* fault = find_crossing(t.coords, t.dim, t.n, &t.view, curve, &worker.stop);
    if (!fault && !lines_crossing(curve, t.coords, t.dim, lines))
        fault = "out of memory";
    return fault;
}

// Hands what a job found over, unless it was stopped or a newer one asked
// for; called with the lock held.
void __hand_crossing(uint32_t serial, const char* fault, Crossing* curve, CrossingLines* lines)
{
    Worker& w = worker;
    if (serial == w.serial && !w.stop && !fault) {
        w.curve = *curve;
        w.lines = *lines;
    } else {
        free_crossing(curve);
        free_lines_crossing(lines);
    }
    if (serial == w.serial && !w.stop)
        w.state = fault ? 2 : 1;
}

void __run_crossing()
{
#ifdef __linux__
    // The priority of the search against the drawing's 0: on two busy cores
    // a thread at 0 takes half of one from the frames, and at this niceness
    // about a tenth, so the frames keep their pace and the curve takes what
    // they leave. Linux takes a thread's own id here, for that thread alone;
    // the threads it starts inherit it.
    constexpr int nice_crossing = 10;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice_crossing);
#endif
    Worker& w = worker;
    std::unique_lock<std::mutex> hold(w.lock);
    for (;;) {
        w.changed.wait(hold, [&] { return w.serial != 0 && w.state == 0 && !w.stop; });
        uint32_t serial = w.serial;
        Task task = w.task;
        w.busy = true;
        hold.unlock();
        Crossing curve = {};
        CrossingLines lines = {};
        const char* fault = __work_crossing(task, &curve, &lines);
        hold.lock();
        w.busy = false;
        __hand_crossing(serial, fault, &curve, &lines);
        w.changed.notify_all();
    }
}

// Forgets the job and what it found; the thread is not at it.
void __forget_crossing()
{
    Worker& w = worker;
    free_crossing(&w.curve);
    free_lines_crossing(&w.lines);
    w.serial = 0;
    w.state = 0;
}

} // namespace

void start_crossing(const float* coords, uint8_t dim, uint64_t n, const CrossingView* view, uint32_t serial)
{
    Worker& w = worker;
    stop_crossing(w.serial);
    std::lock_guard<std::mutex> hold(w.lock);
    w.task = {coords, dim, n, *view};
    w.stop = false;
    w.state = 0;
    w.serial = serial;
    if (!has_threads_platform)
        return;
    if (!w.started) {
        std::thread(__run_crossing).detach();
        w.started = true;
    }
    w.changed.notify_all();
}

int done_crossing(uint32_t serial, bool wait)
{
    Worker& w = worker;
    if (!serial || serial != w.serial)
        return -1;
    if (!has_threads_platform && w.state == 0) {
        Crossing curve = {};
        CrossingLines lines = {};
        const char* fault = __work_crossing(w.task, &curve, &lines);
        __hand_crossing(serial, fault, &curve, &lines);
    }
    if (wait && w.state == 0) {
        std::unique_lock<std::mutex> hold(w.lock);
        w.changed.wait(hold, [&] { return w.state != 0; });
    }
    int state = w.state;
    if (state == 2)
        __forget_crossing();
    return state;
}

int take_crossing(uint32_t serial, Crossing* curve, CrossingLines* lines)
{
    Worker& w = worker;
    if (done_crossing(serial, false) != 1)
        return 0;
    *curve = w.curve;
    w.curve = {};
    if (lines) {
        *lines = w.lines;
        w.lines = {};
    }
    __forget_crossing();
    return 1;
}

void stop_crossing(uint32_t serial)
{
    Worker& w = worker;
    if (!serial || serial != w.serial)
        return;
    std::unique_lock<std::mutex> hold(w.lock);
    w.stop = true;
    w.changed.wait(hold, [&] { return !w.busy; });
    __forget_crossing();
}
