// The double curve: the whole curve of the largest surfaces on both cores,
// the curve of each sample, and how many curves a second one core finds
// for a surface of 100,000 triangles while its view turns. Each time goes
// beside one pass over the coordinates (reach_frame), alternating with it.
#include <sched.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bench.h"
#include "core/crossing.h"
#include "core/frame.h"
#include "core/klein.h"

namespace fs = std::filesystem;

// A view of no special place: a frame drawn from a fixed seed, turned by
// angle in the plane of x and w.
static CrossingView some_view(uint8_t dim, double angle)
{
    CrossingView view = {};
    uint64_t state = 30;
    random_frame(&state, dim, &view.frame);
    turn_frame(&view.frame, 0, 3, static_cast<float>(angle));
    return view;
}

// Seconds of the processor spent by the whole process, on every core.
static double processor()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The median time of the curve, of the processor's time it took, and of one
// pass over the coordinates, in seconds, and the curve.
static void timed_curve(const SurfaceData& data, const CrossingView& view, int reps, double* curve_time,
    double* busy_time, double* pass_time, Crossing* curve)
{
    std::vector<double> curves, busy, passes;
    for (int k = 0; k < reps; k++) {
        double t0 = now(), p0 = processor();
        free_crossing(curve);
        find_crossing(data.coords, data.dim, data.vertex_count, &view, curve);
        busy.push_back(processor() - p0);
        double t1 = now();
        volatile float reach = reach_frame(&view.frame, data.coords, data.vertex_count);
        (void)reach;
        double t2 = now();
        curves.push_back(t1 - t0);
        passes.push_back(t2 - t1);
    }
    *curve_time = median(curves);
    *busy_time = median(busy);
    *pass_time = median(passes);
}

static void whole_curve(const Surface& s, const char* figure, const char* target, int reps)
{
    SurfaceData data;
    if (create_surface_klein(s.path.c_str(), &data)) {
        std::fprintf(stderr, "plexorama-bench: cannot read %s\n", s.path.c_str());
        return;
    }
    Crossing curve = {};
    double seconds, busy, pass;
    timed_curve(data, some_view(data.dim, 0.5), reps, &seconds, &busy, &pass, &curve);
    char note[128];
    std::snprintf(note, sizeof note,
        "%.3g ms of processor time; %llu components, length %.3g, %llu triple, %llu branch points",
        1e3 * busy, static_cast<unsigned long long>(curve.line_count), curve.length,
        static_cast<unsigned long long>(curve.triple_count),
        static_cast<unsigned long long>(curve.branch_count));
    row({figure, s.name, 1e3 * seconds, "ms", target, 1e3 * pass, "reach_frame, one pass", note});
    free_crossing(&curve);
    free(data.coords);
    free(data.normals);
}

// Holds every thread of the process to the cores given: the job's thread
// lives on from whatever part started it.
static void hold_threads(const cpu_set_t& cores)
{
    for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task"))
        sched_setaffinity(std::atoi(task.path().filename().c_str()), sizeof cores, &cores);
}

// Curves found one after another by the job, as the window will ask for
// them, each for the view turned a degree on, with the process held to
// one core; curves a second.
static double turning_curves(const SurfaceData& data, double seconds)
{
    cpu_set_t all, one;
    if (sched_getaffinity(0, sizeof all, &all))
        return NAN;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; cpu++)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    // The job's thread starts with the first job, if no part started it.
    CrossingView first = some_view(data.dim, 0.0);
    start_crossing(data.coords, data.dim, data.vertex_count, &first, UINT32_MAX);
    stop_crossing(UINT32_MAX);
    hold_threads(one);
    int count = 0;
    double start = now();
    for (uint32_t serial = 1; now() - start < seconds; serial++, count++) {
        CrossingView view = some_view(data.dim, M_PI / 180 * serial);
        start_crossing(data.coords, data.dim, data.vertex_count, &view, serial);
        Crossing curve = {};
        if (done_crossing(serial, true) != 1 || !take_crossing(serial, &curve)) {
            hold_threads(all);
            return NAN;
        }
        free_crossing(&curve);
    }
    double rate = count / (now() - start);
    hold_threads(all);
    return rate;
}

void crossing(const std::vector<Surface>& largest, const fs::path& dir, bool quick, int reps)
{
    for (const Surface& s : largest)
        whole_curve(s, "crossing: whole curve, 2 cores", "<= 1000 ms at 2 M triangles", reps);
    const char* samples[] = {"klein-bottle", "clifford-torus", "complex-square", "veronese", "torus-10d"};
    for (const char* name : samples) {
        Surface s;
        if (describe_surface(std::string(PLEXORAMA_SAMPLES_DIR) + "/" + name + ".klein", &s)) {
            s.name = std::string(name) + " 32 x 32";
            whole_curve(s, "crossing: whole curve, 2 cores", "<= 5 ms", quick ? reps : 5 * reps);
        }
    }
    // Resolution 224 has 2 x 224^2 = 100,352 triangles.
    Surface moving;
    SurfaceData data;
    if (!make_surface(dir, quick ? 60 : 224, "klein-bottle.klein", &moving)
        || create_surface_klein(moving.path.c_str(), &data))
        return;
    double rate = turning_curves(data, quick ? 1.0 : 5.0);
    row({"crossing: curves a second, view turning, 1 core", moving.name, rate, "/s",
        ">= 10 at 100 k triangles", NAN, "", "each from start_crossing to take_crossing"});
    free(data.coords);
    free(data.normals);
}
