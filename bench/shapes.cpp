// Frames of lines and points, against frames of triangles.
#include <cmath>
#include <cstdlib>
#include <random>

#include <epoxy/gl.h>

#include "app/course.h"
#include "app/render.h"
#include "app/surface.h"
#include "bench.h"
#include "core/shape.h"
#include "core/tour.h"
#include "core/view.h"
#include "draw/shapes.h"

struct Frames {
    double wall; // the median frame, ms
    double cpu;  // CPU time a frame, over all threads, ms
};

// Frames drawn and finished, each timed.
static Frames __time_shapes(int count)
{
    main_loop(); // the first draw after a change pays for validating state
    glFinish();
    std::vector<double> times;
    double cpu = cpu_now();
    for (int k = 0; k < count; k++) {
        double start = now();
        main_loop();
        glFinish();
        times.push_back(now() - start);
    }
    return {1e3 * median(times), 1e3 * (cpu_now() - cpu) / count};
}

// The CPU times of a figure and its baseline, which other work on the
// machine disturbs less than their medians.
static std::string __cpu_shapes(Frames value, Frames baseline)
{
    char text[96];
    std::snprintf(text, sizeof text, "CPU a frame %.0f against %.0f ms, %.2f x", value.cpu, baseline.cpu,
        value.cpu / baseline.cpu);
    return text;
}

// count points in R^dim near a flat torus, as a cloud of data.
static ShapeData __cloud_shapes(uint64_t count, uint8_t dim)
{
    ShapeData cloud = {SHAPE_POINTS, dim, count, nullptr, nullptr, nullptr, nullptr};
    cloud.coords = static_cast<float*>(std::malloc(count * dim * sizeof(float)));
    std::mt19937 random(10);
    std::uniform_real_distribution<float> turn(0.0f, 6.2831853f);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (uint64_t v = 0; cloud.coords && v < count; v++) {
        float* p = cloud.coords + v * dim;
        for (int k = 0; k < dim; k++)
            p[k] = noise(random);
        float a = turn(random), b = turn(random);
        p[0] += 0.7f * std::cos(a), p[1] += 0.7f * std::sin(a);
        p[2] += 0.7f * std::cos(b), p[3] += 0.7f * std::sin(b);
    }
    return cloud;
}

void frame_shapes(const Surface& large, int reps, bool quick)
{
    // 10^6 points in R^10 on a grand tour, against the largest surface still.
    if (show(large) < 0)
        return;
    plain_view();
    Frames still = __time_shapes(reps);
    drop_shown();
    uint64_t count = quick ? 100000 : 1000000;
    ShapeData cloud = __cloud_shapes(count, 10);
    if (!cloud.coords || show_shapes_surface(&cloud, 1) != SHOW_DONE) {
        std::fprintf(stderr, "plexorama-bench: cannot show %llu points\n", static_cast<unsigned long long>(count));
        free_shape(&cloud);
        return;
    }
    free_shape(&cloud);
    start_tour_course(TOUR_GRAND, 7, default_speed_tour);
    Frames toured = __time_shapes(reps);
    row({"frame: points in R^10, grand tour", std::to_string(count) + " points", toured.wall, "ms", "<= 1 x",
        still.wall, "still frame of " + large.name, __cpu_shapes(toured, still)});
    plain_view();
    drop_shown();

    // The 120-cell's 1,200 edges, 2 px wide, anti-aliased, against the
    // Klein bottle sample with the same finish.
    const std::string samples = PLEXORAMA_SAMPLES_DIR;
    Frames frames[2];
    const char* files[2] = {"klein-bottle.klein", "120-cell.off"};
    for (int k = 0; k < 2; k++) {
        if (show_file_surface((samples + "/" + files[k]).c_str(), nullptr) != SHOW_DONE) {
            std::fprintf(stderr, "plexorama-bench: cannot show %s\n", files[k]);
            return;
        }
        View next = view;
        next.finish.aa = 4;
        set_view(&next);
        frames[k] = __time_shapes(10 * reps);
        plain_view();
        drop_shown();
    }
    row({"frame: 120-cell edges, 2 px, 4 samples", "120-cell.off", frames[1].wall, "ms", "<= 1.2 x",
        frames[0].wall, "Klein bottle sample, 4 samples", __cpu_shapes(frames[1], frames[0])});
}
