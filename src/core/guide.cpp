// Guided tours: the index of a frame, the searches along random geodesics
// and the walk toward better frames, with the index found off the caller's
// thread.
#include "core/guide.h"

#include <cmath>
#include <cstring>
#include <thread>

#include "core/host.h"

namespace {

// Frames tried a search: a small angle either way along each of eight
// random geodesics, as tourr tries both ways along each of its five.
constexpr int tries_guide = 16;
// How far a try, and each leg of the walk, goes: 4 degrees, long enough
// for the double curve to change and short enough to follow its slope;
// where no try gains, 16 degrees, to step off a frame where sheets
// coincide, whose curve any small turn makes longer (tourr looks along its
// best geodesic as far as 45 degrees).
constexpr double probe_guide = 4.0 * M_PI / 180.0;
constexpr double wide_guide = 16.0 * M_PI / 180.0;
// The least share of the index a step must gain, as tourr's 0.001.
constexpr double tolerance_guide = 1e-3;

// Frames whose index is found together on the worker thread.
struct Batch {
    std::thread thread;
    std::atomic<bool> stop;
    std::atomic<int> state; // 0 none, 1 under way, 2 done
    TourKind kind;
    GuideSource source;
    int count;
    Frame frames[tries_guide + 1];
    double values[tries_guide + 1];
    const char* fault;
};

enum Phase {
    PHASE_NONE,   // no path: the next step searches from the frame
    PHASE_SEARCH, // the tries' indices are on the way
    PHASE_WALK,   // walking a leg of the path to next
    PHASE_AHEAD,  // at a point, waiting for the index of the one after it
};

// Where the tour is: the path from the last search's start, the point
// reached (leg legs along it) and the one walked to.
struct Walk {
    Phase phase;
    TourKind kind;
    uint32_t serial;
    Frame left; // where the last step left the frame
    Frame at;
    double value; // at at's
    Geodesic path;
    double probe; // how far the tries go: probe_guide, then wide_guide
    double leg_t; // the fraction of the path a leg is, negative to walk it backward
    int leg;
    Frame next;
    double next_value;
    long steps, step; // of the leg on the way
    bool ahead;       // the batch holds the point after next
    bool fresh;       // the index where the tour set off is not yet told
};

Batch batch;
Walk walk;

void __run_guide()
{
    batch.fault = nullptr;
    for (int k = 0; k < batch.count && !batch.fault; k++)
        batch.fault = index_guide(batch.kind, &batch.source, &batch.frames[k], &batch.values[k], &batch.stop);
    batch.state = 2;
}

void __end_guide()
{
    if (batch.thread.joinable())
        batch.thread.join();
    batch.state = 0;
}

// Finds the indices of the batch's frames, on the thread where there are
// threads.
void __start_guide(TourKind kind, const GuideSource* source, int count)
{
    batch.kind = kind;
    batch.source = *source;
    batch.count = count;
    batch.stop = false;
    batch.state = 1;
    if (has_threads_platform)
        batch.thread = std::thread(__run_guide);
}

// Whether the batch is done, waited for when wait is set.
bool __done_guide(bool wait)
{
    if (!has_threads_platform && batch.state == 1)
        __run_guide();
    if (wait && batch.thread.joinable())
        batch.thread.join();
    if (batch.state != 2)
        return false;
    if (batch.thread.joinable())
        batch.thread.join();
    return true;
}

// Search k's geodesic d (from 1) leads toward a frame drawn from the seed.
void __target_guide(const Tour* tour, uint32_t k, int d, uint8_t dim, Frame* target)
{
    uint64_t state
        = tour->seed * 0x9e3779b97f4a7c15ull + uint64_t {k} * tries_guide + static_cast<uint64_t>(d);
    random_frame(&state, dim, target);
}

// The fraction of path that a leg of the walk is.
double __leg_guide(const Geodesic* path)
{
    return path->angle > walk.probe ? walk.probe / path->angle : 1.0;
}

// Sends the frame where it is and the tries from it, probe away, to be
// measured.
void __search_guide(Tour* tour, const GuideSource* source, double probe = probe_guide)
{
    walk.probe = probe;
    batch.frames[0] = walk.at;
    for (int j = 1; j <= tries_guide; j += 2) {
        Frame target;
        __target_guide(tour, tour->target, (j + 1) / 2, walk.at.dim, &target);
        Geodesic path;
        bool walked = start_geodesic_frame(&walk.at, &target, &path);
        for (int way = 0; way < 2; way++) {
            batch.frames[j + way] = walk.at;
            if (walked)
                walk_geodesic_frame(
                    &path, way ? -__leg_guide(&path) : __leg_guide(&path), &batch.frames[j + way]);
        }
    }
    __start_guide(tour->kind, source, tries_guide + 1);
    walk.phase = PHASE_SEARCH;
}

// Sets off along the path toward next, sending the point after it to be
// measured while the frame walks, unless the path ends first.
void __leg_start_guide(const Tour* tour, const GuideSource* source)
{
    double pace = static_cast<double>(tour->speed) * M_PI / 180.0 / 60.0;
    double steps = std::ceil(std::fabs(walk.leg_t) * walk.path.angle / pace - 1e-9);
    walk.steps = steps >= 1.0 ? static_cast<long>(std::fmin(steps, 1e6)) : 1;
    walk.step = 0;
    double t = (walk.leg + 2) * walk.leg_t;
    walk.ahead = std::fabs(t) <= 1.0 + 1e-9;
    if (walk.ahead) {
        walk_geodesic_frame(&walk.path, t, &batch.frames[0]);
        __start_guide(tour->kind, source, 1);
    }
    walk.phase = PHASE_WALK;
}

} // namespace

const char* index_guide(TourKind kind, const GuideSource* source, const Frame* frame, double* value,
    const std::atomic<bool>* stop)
{
    const GuideSource& s = *source;
    if (kind == TOUR_FEWEST_CROSSINGS) {
        CrossingView view = {*frame, s.eye};
        Crossing curve = {};
        const char* fault = find_crossing(s.coords, s.dim, s.n, &view, &curve, stop);
        *value = curve.length;
        free_crossing(&curve);
        return fault;
    }
    // The shadow's area counted with its folds: each triangle's area in
    // x, y, z, as the 4-D eye scales them. Triangles with a corner not
    // finite, or at or behind the eye, count nothing.
    double area = 0.0;
    for (uint64_t t = 0; t < s.n / 3; t++) {
        if (t % 65536 == 0 && stop && stop->load())
            return "stopped";
        double p[3][3];
        bool seen = true;
        for (int c = 0; c < 3; c++) {
            const float* v = s.coords + (3 * t + static_cast<uint64_t>(c)) * s.dim;
            double shown[4] = {};
            for (int i = 0; i < 4; i++)
                for (int k = 0; k < s.dim; k++)
                    shown[i] += static_cast<double>(frame->rows[i][k]) * v[k];
            double scale = s.eye > 0.0 ? s.eye / (s.eye - shown[3]) : 1.0;
            seen = seen && (s.eye <= 0.0 || shown[3] < s.eye);
            for (int i = 0; i < 3; i++)
                p[c][i] = shown[i] * scale;
        }
        double u[3], v[3];
        for (int i = 0; i < 3; i++) {
            u[i] = p[1][i] - p[0][i];
            v[i] = p[2][i] - p[0][i];
        }
        double a
            = std::hypot(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]) / 2;
        if (seen && std::isfinite(a))
            area += a;
    }
    *value = area;
    return nullptr;
}

bool improves_guide(TourKind kind, double from, double to)
{
    double gain = kind == TOUR_SPREAD ? to - from : from - to;
    return gain > tolerance_guide * std::fabs(from) && gain > 1e-12;
}

GuideStep step_guide(
    Tour* tour, Frame* frame, const GuideSource* source, bool wait, double* value, const char** fault)
{
    if ((tour->kind != TOUR_FEWEST_CROSSINGS && tour->kind != TOUR_SPREAD) || !tour->running || frame->dim < 4
        || source->dim != frame->dim)
        return GUIDE_HELD;
    bool moved = walk.phase == PHASE_NONE || walk.kind != tour->kind || walk.serial != source->serial
        || frame->dim != walk.left.dim || memcmp(frame->rows, walk.left.rows, sizeof frame->rows) != 0;
    if (moved) {
        stop_guide();
        walk.kind = tour->kind;
        walk.serial = source->serial;
        walk.at = *frame;
        walk.fresh = true;
        __search_guide(tour, source);
    }
    GuideStep result = GUIDE_HELD;
    for (;;) {
        if (walk.phase == PHASE_WALK) {
            walk.step++;
            double t
                = (walk.leg + static_cast<double>(walk.step) / static_cast<double>(walk.steps)) * walk.leg_t;
            walk_geodesic_frame(&walk.path, t, frame);
            result = GUIDE_MOVED;
            if (walk.step == walk.steps) {
                *frame = walk.at = walk.next;
                walk.value = walk.next_value;
                walk.leg++;
                walk.phase = PHASE_AHEAD;
                result = GUIDE_ARRIVED;
            }
            break;
        }
        if (walk.phase == PHASE_AHEAD && !walk.ahead) {
            __search_guide(tour, source);
            continue;
        }
        if (!__done_guide(wait))
            break;
        batch.state = 0;
        if (batch.fault) {
            *fault = batch.fault;
            tour->running = false;
            walk.phase = PHASE_NONE;
            return GUIDE_FAILED;
        }
        if (walk.phase == PHASE_AHEAD) {
            if (improves_guide(tour->kind, walk.value, batch.values[0])) {
                walk_geodesic_frame(&walk.path, (walk.leg + 1) * walk.leg_t, &walk.next);
                walk.next_value = batch.values[0];
                __leg_start_guide(tour, source);
            } else {
                __search_guide(tour, source);
            }
            continue;
        }
        // A search is done: the best try, if it gains enough.
        walk.value = batch.values[0];
        int best = 1;
        for (int j = 2; j <= tries_guide; j++)
            if (tour->kind == TOUR_SPREAD ? batch.values[j] > batch.values[best]
                                          : batch.values[j] < batch.values[best])
                best = j;
        bool gains = improves_guide(tour->kind, walk.value, batch.values[best]);
        if (!gains && walk.probe < wide_guide) {
            tour->target++;
            __search_guide(tour, source, wide_guide);
            continue;
        }
        if (!gains)
            best = 0;
        Frame target;
        if (best)
            __target_guide(tour, tour->target, (best + 1) / 2, frame->dim, &target);
        tour->target++;
        if (!best || !start_geodesic_frame(&walk.at, &target, &walk.path)) {
            *value = walk.value;
            tour->running = false;
            walk.phase = PHASE_NONE;
            return GUIDE_STOPPED;
        }
        walk.leg_t = best % 2 ? __leg_guide(&walk.path) : -__leg_guide(&walk.path);
        walk.leg = 0;
        walk.next = batch.frames[best];
        walk.next_value = batch.values[best];
        __leg_start_guide(tour, source);
        if (walk.fresh) {
            walk.fresh = false;
            result = GUIDE_ARRIVED;
            break;
        }
    }
    walk.left = *frame;
    *value = walk.value;
    return result;
}

void stop_guide()
{
    batch.stop = true;
    __end_guide();
    walk.phase = PHASE_NONE;
}
