// Frames: the cost of each pass of a frame, and the window's pacing.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <epoxy/gl.h>

#include "bench.h"
#include "draw/context.h"
#include "app/course.h"
#include "core/cues.h"
#include "core/frame.h"
#include "app/render.h"
#include "app/input.h"
#include "app/surface.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "app/reach.h"
#include "core/motion.h"
#include "draw/smooth.h"
#include "core/tour.h"
#include "core/view.h"
#include "app/window.h"

void frame_split(const Surface& s, int reps)
{
    if (show(s) < 0)
        return;
    main_loop(); // the first draw after a change pays for validating state
    glFinish();
    std::vector<double> whole, filled, lines;
    for (int k = 0; k < reps; k++) {
        double t0 = now();
        main_loop();
        glFinish();
        double t1 = now();
        clean_context();
        draw_mesh(shader, shapes[0].mesh);
        glFinish();
        double t2 = now();
        draw_mesh_lines(shader_plain, shapes[0].mesh);
        glFinish();
        double t3 = now();
        whole.push_back(t1 - t0);
        filled.push_back(t2 - t1);
        lines.push_back(t3 - t2);
    }
    double frame = 1e3 * median(whole);
    row({"frame: main_loop + glFinish", s.name, frame, "ms", "", NAN, "", ""});
    row({"frame: filled pass", s.name, 1e3 * median(filled), "ms", "", frame, "whole frame",
        "clear included"});
    row({"frame: wireframe pass", s.name, 1e3 * median(lines), "ms", "", frame, "whole frame", ""});
    drop_shown();
}

void plain_view()
{
    View plain = initial_view;
    plain.dim = view.dim;
    memcpy(plain.show, view.show, sizeof plain.show);
    set_view(&plain);
}

// One frame, drawn and finished; its seconds.
static double timed_frame()
{
    double start = now();
    main_loop();
    glFinish();
    return now() - start;
}

// Frames timed in a row after each change of the view, whose median a
// pair takes: one frame alone moves with whatever else the machine runs.
constexpr int block_frames = 3;

// The median seconds of block_frames frames, after one frame that pays for
// the programs and uniforms the view has just changed, and the CPU seconds
// of a frame among them, which other work on the machine moves less.
static double timed_block(double* cpu)
{
    main_loop();
    std::vector<double> frames;
    double start = cpu_now();
    for (int k = 0; k < block_frames; k++)
        frames.push_back(timed_frame());
    *cpu = (cpu_now() - start) / block_frames;
    return median(frames);
}

// Alternates blocks of plain frames with blocks of frames in which cue() has
// set a cue, then adds the row of the second against the first: the median
// of each, and of the pairs' ratios.
template <class Cue>
static void alternate(
    const Surface& s, int reps, const char* figure, Cue cue, const char* target = "<= 1.10 x")

{
    std::vector<double> plain, cued, ratios, cpu_ratios;
    for (int k = 0; k < reps; k++) {
        // The two alternate so that a busy machine moves both.
        plain_view();
        double cpu_a, cpu_b;
        double a = timed_block(&cpu_a);
        cue();
        double b = timed_block(&cpu_b);
        plain.push_back(a);
        cued.push_back(b);
        ratios.push_back(b / a);
        cpu_ratios.push_back(cpu_b / cpu_a);
    }
    char note[112];
    std::snprintf(note, sizeof note, "median of %d pairs of %d frames %.2f x, worst %.2f x; CPU time %.2f x", reps,
        block_frames, median(ratios), *std::max_element(ratios.begin(), ratios.end()), median(cpu_ratios));
    row({figure, s.name, 1e3 * median(cued), "ms", target, 1e3 * median(plain), "plain frame", note});
}

void frame_cues(const Surface& s, int reps)
{
    double load = show(s);
    if (load < 0)
        return;
    alternate(s, reps, "frame: 4-D turn, shape lighting", [] {
        turn_plane_motion(0, 3, 0.6f);
        turn_plane_motion(1, 3, -0.4f);
        View shaped = view;
        shaped.light = LIGHT_SHAPE;
        set_view(&shaped);
    });
    alternate(s, reps, "frame: colour by w, slice, 4-D eye", [] {
        View cued = view;
        cued.cues = {TINT_W, true, 0.0f, 0.0f, true, 0.0f, false, true, 0.0f, false, false};
        set_view(&cued);
    });
    // s is measured once a cue needs it, not at loading.
    std::vector<double> measure;
    for (int k = 0; k < reps; k++) {
        double start = now();
        largest_reach(nullptr);
        measure.push_back(now() - start);
    }
    row({"s: largest length measured", s.name, 1e3 * median(measure), "ms", "", 1e3 * load, "loading",
        "when a cue first needs it, and at each new binding"});
    plain_view();
    drop_shown();
}

void frame_finish(const Surface& s, int reps)
{
    if (show(s) < 0)
        return;
    alternate(
        s, reps, "frame: smooth light",
        [] {
            View smooth = view;
            smooth.light = LIGHT_SMOOTH;
            set_view(&smooth);
            // The planes once found, the frames draw with them.
            ready_smooth(shapes[0].mesh, true);
        },
        "<= 1.3 x");
    alternate(
        s, reps, "frame: anti-aliased, 4 samples",
        [] {
            View smooth = view;
            smooth.finish.aa = 4;
            set_view(&smooth);
        },
        "<= 2.5 x");
    alternate(
        s, reps, "frame: opacity 0.5",
        [] {
            View clear = view;
            clear.finish.opacity = 0.5f;
            set_view(&clear);
        },
        "<= 2 x");
    alternate(
        s, reps, "frame: colour by w",
        [] {
            View tinted = view;
            tinted.cues.tint = TINT_W;
            set_view(&tinted);
        },
        "<= 1.05 x");
    plain_view();
    drop_shown();
}

void frame_tours(const Surface& s, int reps)
{
    if (show(s) < 0)
        return;
    // A general frame: every coordinate read and turned, against the
    // coordinate choice bound to the attributes.
    alternate(
        s, reps, "frame: a general frame of R^m",
        [] {
            uint64_t seed = 5;
            Frame f;
            random_frame(&seed, view.dim, &f);
            show_frame_course(&f);
        },
        "<= 1.15 x");
    // During a grand tour every frame is a new general frame.
    alternate(
        s, reps, "frame: a grand tour's, running",
        [] { start_tour_course(TOUR_GRAND, 7, default_speed_tour); }, "<= 1.2 x");
    plain_view();
    drop_shown();
}

void step_tours()
{
    // A step of a grand tour in R^255, the largest m.
    Tour tour = {TOUR_GRAND, true, 1, 20.0f, 0};
    Frame f;
    target_tour(&tour, 255, 100, &f);
    std::vector<double> steps;
    for (int k = 0; k < 5; k++) {
        double start = now();
        for (int j = 0; j < 200; j++)
            step_tour(&tour, &f);
        steps.push_back((now() - start) / 200);
    }
    row({"tour: one step in R^255", "", 1e3 * median(steps), "ms", "<= 0.1 ms", NAN, "",
        "a new target's geodesic included once in 120 steps or so"});
}

struct Pacing {
    double p50, p99, max, rate, cpu; // ms, ms, ms, frames a second, CPU over wall
};

// Frame intervals in ms, and the wall and processor seconds they took.
struct Intervals {
    std::vector<double> ms;
    double wall, cpu;
};

static double processor_seconds()
{
    rusage use;
    getrusage(RUSAGE_SELF, &use);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// The viewer's own loop, frames released by the window's pacing: settle
// frames untimed, then frames timed into into.
static void pace_into(int settle, int frames, Intervals* into)
{
    for (int k = 0; k < settle; k++) {
        main_loop();
        is_open_window(window);
    }
    double cpu = processor_seconds();
    double start = now(), last = start;
    for (int k = 0; k < frames; k++) {
        main_loop();
        is_open_window(window);
        double t = now();
        into->ms.push_back(1e3 * (t - last));
        last = t;
    }
    into->wall += last - start;
    into->cpu += processor_seconds() - cpu;
}

static Pacing summary(const Intervals& i)
{
    return {percentile(i.ms, 0.5), percentile(i.ms, 0.99), *std::max_element(i.ms.begin(), i.ms.end()),
        static_cast<double>(i.ms.size()) / i.wall, i.cpu / i.wall};
}

static Pacing pace(int frames)
{
    Intervals i = {};
    pace_into(30, frames, &i);
    return summary(i);
}

void pacing(int frames)
{
    drop_shown();
    Pacing empty = pace(frames);
    if (show_file_surface(PLEXORAMA_README_SAMPLE, nullptr) != SHOW_DONE) {
        std::fprintf(stderr, "plexorama-bench: cannot show %s\n", PLEXORAMA_README_SAMPLE);
        return;
    }
    Pacing sample = pace(frames);
    // Turning in x-w, each view's double curve found while the frames go
    // on, against the same turn without it: blocks of each in turn, so that
    // whatever else the machine runs weighs on both alike, and a block's
    // first frames, which copy the surface for the search, untimed.
    View turning = initial_view;
    turning.spin = plane_spin_motion(0, 3, 60.0f);
    set_view(&turning);
    Intervals blocks[2] = {};
    int block = std::max(frames / 12, 1);
    for (int done = 0; done < frames; done += block)
        for (bool curve : {false, true}) {
            View next = view;
            next.cues.curve = curve;
            set_view(&next);
            pace_into(10, std::min(block, frames - done), &blocks[curve]);
        }
    Pacing turned[2] = {summary(blocks[0]), summary(blocks[1])};
    set_view(&initial_view);
    drop_shown();
    std::string n = std::to_string(frames) + " frames";
    const char* shown = "README sample";
    row({"pacing: p50 interval", shown, sample.p50, "ms", "16.5 to 17.0", empty.p50, "nothing shown", n});
    row({"pacing: p99 interval", shown, sample.p99, "ms", "<= 18", empty.p99, "nothing shown", n});
    row({"pacing: max interval", shown, sample.max, "ms", "", empty.max, "nothing shown", n});
    row({"pacing: mean rate", shown, sample.rate, "fps", "60", empty.rate, "nothing shown", n});
    row({"pacing: CPU over wall", shown, sample.cpu, "", "", empty.cpu, "nothing shown",
        "all threads; 1 = one core busy"});
    const char* off = "turning, curve off";
    row({"pacing: turning, double curve on, p50", shown, turned[1].p50, "ms", "<= 1.05 x", turned[0].p50, off, n});
    row({"pacing: turning, double curve on, p99", shown, turned[1].p99, "ms", "<= 1.05 x", turned[0].p99, off, n});
    row({"pacing: turning, double curve on, rate", shown, turned[1].rate, "fps", "60", turned[0].rate, off, n});
}
