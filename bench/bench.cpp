// plexorama-bench [--quick] [--reps N]: one table of what the viewer costs on
// large surfaces, each figure beside its target and a baseline measured in
// the same run, alternating with it, so that a busy machine moves both.
// The table is printed and written as CSV.
#include <charconv>
#include <cstdio>
#include <string_view>

#include <epoxy/gl.h>

#include "bench.h"
#include "core/log.h"
#include "app/main.h"

namespace fs = std::filesystem;

static bool parse_int(const char* text, int low, int high, int* value)
{
    const char* end = text + std::string_view(text).size();
    auto parsed = std::from_chars(text, end, *value);
    return parsed.ec == std::errc() && parsed.ptr == end && *value >= low && *value <= high;
}

int main(int argc, char** argv)
{
    if (argc > 2 && std::string_view(argv[1]) == "--peak-of") {
        double peak = 0;
        if (run(std::vector<std::string>(argv + 2, argv + argc), &peak) < 0)
            return 1;
        std::printf("%.0f\n", peak);
        return 0;
    }
    int reps = 0;
    bool quick = false;
    for (int k = 1; k < argc; k++) {
        std::string_view arg = argv[k];
        bool known = false;
        if (arg == "--quick")
            known = quick = true;
        else if (arg == "--reps")
            known = k + 1 < argc && parse_int(argv[++k], 1, 100, &reps);
        if (!known) {
            std::fputs("usage: plexorama-bench [--quick (small surfaces, few runs: a smoke run)] [--reps N]\n"
                       "       plexorama-bench --peak-of COMMAND [ARG...]  (prints the command's peak "
                       "resident bytes)\n",
                stderr);
            return 2;
        }
    }
    int load_reps = reps ? reps : quick ? 3 : 11;
    int other_reps = reps ? reps : quick ? 2 : 5;
    int frames = quick ? 60 : 600;

    fs::path dir = fs::path(PLEXORAMA_BENCH_DIR) / "surfaces";
    fs::remove_all(dir);
    fs::create_directories(dir);
    // klein-bottle and torus-10d at resolution N have 6 N^2 vertices.
    struct Wanted {
        int resolution;
        const char* file;
    };
    std::vector<Wanted> wanted = quick
        ? std::vector<Wanted> {{20, "klein-bottle.klein"}, {60, "klein-bottle.klein"},
            {60, "torus-10d.klein"}}
        : std::vector<Wanted> {{129, "klein-bottle.klein"}, {577, "klein-bottle.klein"},
            {1000, "klein-bottle.klein"}, {1000, "torus-10d.klein"}};
    std::vector<Surface> surfaces;
    for (const Wanted& w : wanted) {
        Surface s;
        if (!make_surface(dir, w.resolution, w.file, &s)) {
            fs::remove_all(dir);
            return 1;
        }
        surfaces.push_back(s);
    }

    // The table keeps standard output to itself.
    quiet_log(true);
    int failed = start_main();
    if (failed) {
        std::fprintf(stderr, "plexorama-bench: start_main failed\n");
        fs::remove_all(dir);
        return 1;
    }
    std::printf("plexorama-bench%s: %s, %s; medians; files read from a warm page cache\n",
        quick ? " --quick" : "", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
        reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    std::printf("surfaces: m coordinates and n vertices, n / 3 triangles; ratios are value over baseline\n");
    std::fflush(stdout);

    for (const Surface& s : surfaces)
        if (s.dim == 4)
            first_frame(s, dir, other_reps);
    for (const Surface& s : surfaces)
        loading(s, load_reps);
    Surface sample;
    if (describe_surface(PLEXORAMA_README_SAMPLE, &sample)) {
        sample.name = "README sample";
        frame_split(sample, quick ? other_reps : 60);
    }
    for (const Surface& s : surfaces)
        frame_split(s, other_reps);
    const Surface& largest = surfaces.back().dim == 4 ? surfaces.back() : surfaces[surfaces.size() - 2];
    frame_cues(largest, other_reps);
    frame_finish(largest, other_reps);
    picture_smooth(largest, dir, other_reps);
    if (surfaces.back().dim > 4)
        frame_tours(surfaces.back(), other_reps);
    pacing(frames);
    std::vector<Surface> most;
    for (const Surface& s : surfaces)
        if (s.vertices == surfaces.back().vertices)
            most.push_back(s);
    crossing(most, dir, quick, other_reps);

    stop_main();
    fs::remove_all(dir);

    print_table();
    if (!write_csv(PLEXORAMA_BENCH_CSV)) {
        std::fprintf(stderr, "plexorama-bench: cannot write %s\n", PLEXORAMA_BENCH_CSV);
        return 1;
    }
    std::printf("\nwritten to %s\n", PLEXORAMA_BENCH_CSV);
    return 0;
}
