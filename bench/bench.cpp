// plexorama-bench [--quick] [--reps N]: one table of what the viewer costs on
// large surfaces, each figure beside its target and a baseline measured in
// the same run, alternating with it, so that a busy machine moves both.
// The table is printed and written as CSV.
#include <algorithm>
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

// The parts of a run, which --only chooses among.
static const char* const parts[]
    = {"first-frame", "loading", "split", "cues", "finish", "smooth", "tours", "pacing", "crossing", "shapes"};

static std::string part_list()
{
    std::string list;
    for (const char* part : parts)
        list += std::string(list.empty() ? "" : ", ") + part;
    return list;
}

// The parts named, comma-separated, into chosen as ",a,b,"; false when one
// is unknown.
static bool parse_parts(std::string_view text, std::string* chosen)
{
    *chosen = ",";
    while (!text.empty()) {
        std::string_view part = text.substr(0, text.find(','));
        bool known = false;
        for (const char* p : parts)
            known = known || part == p;
        if (!known)
            return false;
        *chosen += std::string(part) + ",";
        text.remove_prefix(std::min(text.size(), part.size() + 1));
    }
    return *chosen != ",";
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
    std::string only;
    for (int k = 1; k < argc; k++) {
        std::string_view arg = argv[k];
        bool known = false;
        if (arg == "--quick")
            known = quick = true;
        else if (arg == "--reps")
            known = k + 1 < argc && parse_int(argv[++k], 1, 100, &reps);
        else if (arg == "--only" && k + 1 < argc)
            known = parse_parts(argv[++k], &only);
        if (!known) {
            std::fprintf(stderr,
                "usage: plexorama-bench [--quick (small surfaces, few runs: a smoke run)] [--reps N]\n"
                "                       [--only PART,... (of %s)]\n"
                "       plexorama-bench --peak-of COMMAND [ARG...]  (prints the command's peak "
                "resident bytes)\n",
                part_list().c_str());
            return 2;
        }
    }
    auto chosen = [&](const char* part) {
        return only.empty() || only.find(std::string(",") + part + ",") != only.npos;
    };
    int load_reps = reps ? reps : quick ? 3 : 11;
    int other_reps = reps ? reps : quick ? 2 : 5;
    int frames = quick ? 60 : 600;

    fs::path dir = fs::path(PLEXORAMA_BENCH_DIR) / "surfaces";
    fs::remove_all(dir);
    fs::create_directories(dir);
    // klein-bottle and torus-10d at resolution N have 6 N^2 vertices; the
    // surface in R^28 is torus-10d widened. Only those the parts chosen use
    // are written.
    bool every = chosen("first-frame") || chosen("loading") || chosen("split");
    bool largest = every || chosen("cues") || chosen("finish") || chosen("smooth") || chosen("crossing")
        || chosen("shapes");
    bool tours = chosen("tours");
    struct Wanted {
        int resolution;
        const char* file;
        bool made;
    };
    int small = quick ? 20 : 129, middle = quick ? 60 : 577, large = quick ? 60 : 1000;
    std::vector<Wanted> wanted = {{small, "klein-bottle.klein", every}, {middle, "klein-bottle.klein", every},
        {large, "klein-bottle.klein", largest}, {large, "torus-10d.klein", every || tours || chosen("crossing")}};
    std::vector<Surface> surfaces;
    for (const Wanted& w : wanted) {
        Surface s;
        if (w.made && !make_surface(dir, w.resolution, w.file, &s)) {
            fs::remove_all(dir);
            return 1;
        }
        if (w.made)
            surfaces.push_back(s);
    }
    Surface wide;
    if (tours && !widen_surface(surfaces.back(), 28, (dir / "torus-28d.klein").string(), &wide)) {
        fs::remove_all(dir);
        return 1;
    }
    // 10^5 polylines of 64 vertices, 6.4 M vertices in R^4.
    std::string lines;
    if (chosen("loading") && !make_lines(dir, quick ? 10000 : 100000, &lines)) {
        fs::remove_all(dir);
        return 1;
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

    if (chosen("first-frame"))
        for (const Surface& s : surfaces)
            if (s.dim == 4)
                first_frame(s, dir, other_reps);
    if (chosen("loading")) {
        for (const Surface& s : surfaces)
            loading(s, load_reps);
        loading_lines(lines, other_reps);
    }
    Surface sample;
    if (chosen("split") && describe_surface(PLEXORAMA_README_SAMPLE, &sample)) {
        sample.name = "README sample";
        frame_split(sample, quick ? other_reps : 60);
    }
    if (chosen("split"))
        for (const Surface& s : surfaces)
            frame_split(s, other_reps);
    const Surface* r4 = nullptr;
    for (const Surface& s : surfaces)
        r4 = s.dim == 4 ? &s : r4;
    if (chosen("cues"))
        frame_cues(*r4, other_reps);
    if (chosen("finish"))
        frame_finish(*r4, other_reps);
    if (chosen("smooth"))
        picture_smooth(*r4, dir, other_reps);
    if (tours) {
        for (const Surface* s : {&surfaces.back(), &wide})
            frame_tours(*s, other_reps);
        for (const Surface* s : {&surfaces.back(), &wide})
            frames_framed(*s, other_reps);
        step_tours();
    }
    if (chosen("pacing"))
        pacing(frames);
    if (chosen("shapes"))
        frame_shapes(*r4, other_reps, quick);
    if (chosen("crossing")) {
        std::vector<Surface> most;
        for (const Surface& s : surfaces)
            if (s.vertices == surfaces.back().vertices)
                most.push_back(s);
        crossing(most, dir, quick, other_reps);
    }

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
