// plexorama-bench [--resolution N] [--reps N] [--quick]: times start-up, and
// reading, uploading, re-binding and drawing large sample surfaces.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <epoxy/gl.h>

#include "input.h"
#include "klein.h"
#include "main.h"
#include "mesh.h"

using Clock = std::chrono::steady_clock;

struct Stats {
    double median, min; // seconds
};

static double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// body() returns the seconds of its own timed part, so set-up stays untimed.
template <class Body> static Stats measure(int reps, Body body)
{
    std::vector<double> times;
    for (int k = 0; k < reps; k++)
        times.push_back(body());
    std::sort(times.begin(), times.end());
    size_t half = times.size() / 2;
    double median = times.size() % 2 ? times[half] : (times[half - 1] + times[half]) / 2;
    return {median, times.front()};
}

static void row(const char* what, const char* surface, Stats s, const char* unit, double scale,
    const std::string& note = "")
{
    std::printf("  %-34s %-13s %9.2f %9.2f %-3s %s\n", what, surface, s.median * scale, s.min * scale, unit,
        note.c_str());
}

static std::string note(const char* format, double value)
{
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// start_main and stop_main log progress to stdout; the table keeps it to itself.
static void quiet(bool on)
{
    static int saved = -1;
    fflush(stdout);
    if (on && saved < 0) {
        saved = dup(STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    } else if (!on && saved >= 0) {
        dup2(saved, STDOUT_FILENO);
        close(saved);
        saved = -1;
    }
}

// Seconds start_main took, or -1 when it failed.
static double start_quiet()
{
    quiet(true);
    Clock::time_point start = Clock::now();
    int failed = start_main();
    double seconds = since(start);
    quiet(false);
    return failed ? -1 : seconds;
}

static void stop_quiet()
{
    quiet(true);
    stop_main();
    quiet(false);
}

static Stats time_frames(int reps)
{
    main_loop(); // the first draw after a change pays for validating state
    glFinish();
    return measure(reps, [] {
        Clock::time_point start = Clock::now();
        main_loop();
        glFinish();
        return since(start);
    });
}

static bool bench_startup(int reps)
{
    std::printf("\nStart-up: window, context, both programs; stop_main between runs\n");
    bool failed = false;
    auto once = [&] {
        double seconds = start_quiet();
        failed = failed || seconds < 0;
        if (seconds >= 0)
            stop_quiet();
        return seconds;
    };
    Stats first = measure(1, once);
    Stats later = measure(reps, once);
    if (failed)
        return false;
    row("start_main, first in process", "", first, "ms", 1e3, "loads the GL driver");
    row("start_main, later", "", later, "ms", 1e3);
    return true;
}

static void bench_surface(const std::string& path, const char* name, int reps)
{
    // This read also warms the page cache for the timed ones.
    SurfaceData data;
    if (create_surface_klein(path.c_str(), &data)) {
        std::printf("\n%s: cannot read %s\n", name, path.c_str());
        return;
    }
    double megabytes = 8e-6 * data.dim * static_cast<double>(data.vertex_count);
    std::printf("\n%s: %d coordinates, %llu vertices, %.1f MB of arrays\n", name, data.dim,
        static_cast<unsigned long long>(data.vertex_count), megabytes);

    Stats read = measure(reps, [&] {
        SurfaceData again;
        Clock::time_point start = Clock::now();
        int refused = create_surface_klein(path.c_str(), &again);
        double seconds = since(start);
        if (!refused) {
            free(again.coords);
            free(again.normals);
        }
        return seconds;
    });
    row("create_surface_klein", name, read, "ms", 1e3, note("%6.0f MB/s", megabytes / read.median));

    Stats upload = measure(reps, [&] {
        Projection p = {nullptr, data.dim, 0, 1, 2, 3};
        Clock::time_point start = Clock::now();
        p.mesh = create_mesh(data);
        if (p.mesh)
            set_projection_mesh(p);
        glFinish();
        double seconds = since(start);
        destroy_mesh(p.mesh);
        return seconds;
    });
    row("create_mesh + set_projection_mesh", name, upload, "ms", 1e3,
        note("%6.0f MB/s", megabytes / upload.median));
    free(data.coords);
    free(data.normals);

    // Each run replaces the mesh the one before left on show, as a drop does.
    Stats show = measure(reps, [&] {
        Clock::time_point start = Clock::now();
        show_surface_input(path.c_str(), nullptr);
        glFinish();
        return since(start);
    });
    row("show_surface_input (read, upload)", name, show, "ms", 1e3);
    if (!projection.mesh || projection.dim != data.dim) {
        std::printf("  show_surface_input refused %s\n", path.c_str());
        return;
    }

    // Cycles through other choices of coordinates, as the keys would.
    const int batch = 1000;
    Projection shown = projection;
    Stats rebind = measure(reps, [&] {
        Projection q = shown;
        Clock::time_point start = Clock::now();
        for (int k = 0; k < batch; k++) {
            q.x = static_cast<uint8_t>(k % q.dim);
            q.y = static_cast<uint8_t>((k + 1) % q.dim);
            q.z = static_cast<uint8_t>((k + 2) % q.dim);
            q.w = static_cast<uint8_t>((k + 3) % q.dim);
            set_projection_mesh(q);
        }
        glFinish();
        return since(start) / batch;
    });
    set_projection_mesh(shown);
    row("set_projection_mesh", name, rebind, "us", 1e6, "per call, in batches of 1000");

    Stats frame = time_frames(reps);
    row("main_loop + glFinish", name, frame, "ms", 1e3, note("%6.1f fps", 1 / frame.median));
}

static bool parse_int(const char* text, int low, int high, int* value)
{
    const char* end = text + std::string_view(text).size();
    auto parsed = std::from_chars(text, end, *value);
    return parsed.ec == std::errc() && parsed.ptr == end && *value >= low && *value <= high;
}

int main(int argc, char** argv)
{
    int resolution = 0, reps = 0;
    bool quick = false;
    for (int k = 1; k < argc; k++) {
        std::string_view arg = argv[k];
        bool known = false;
        if (arg == "--quick")
            known = quick = true;
        else if (arg == "--resolution")
            known = k + 1 < argc && parse_int(argv[++k], 2, 4096, &resolution);
        else if (arg == "--reps")
            known = k + 1 < argc && parse_int(argv[++k], 1, 1000, &reps);
        if (!known) {
            std::fputs(
                "usage: plexorama-bench [--resolution N (2-4096, default 512)] [--reps N (default 5)]\n"
                "                       [--quick (resolution 32, 3 reps: a smoke run)]\n",
                stderr);
            return 2;
        }
    }
    // Explicit values win over --quick.
    resolution = resolution ? resolution : quick ? 32 : 512;
    reps = reps ? reps : quick ? 3 : 5;

    std::string dir = (std::filesystem::temp_directory_path() / "plexorama-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        std::perror("plexorama-bench: mkdtemp");
        return 1;
    }
    const std::string command
        = std::string(MAKE_SAMPLES) + " " + dir + " --resolution " + std::to_string(resolution);
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "plexorama-bench: %s failed\n", command.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }
    const char* surfaces[] = {"klein-bottle", "torus-10d"};

    std::printf("plexorama-bench: sample resolution %d, %d repetitions a row, times as median and min\n",
        resolution, reps);
    std::printf("Files are read once before timing: reads run from a warm page cache.\n");
    std::printf("Uploads and frames end in glFinish, so they include the GL work.\n");
    std::printf("\n  %-34s %-13s %9s %9s\n", "what", "surface", "median", "min");

    if (!bench_startup(reps) || start_quiet() < 0) {
        std::fprintf(stderr, "plexorama-bench: start_main failed\n");
        std::filesystem::remove_all(dir);
        return 1;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::printf("\nFrames, 512x512 window: %s, %s\n", renderer,
        reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    if (std::string_view(renderer).find("llvmpipe") != std::string_view::npos)
        std::printf("llvmpipe renders on the CPU: frame times measure the processor, not a GPU.\n");
    Stats empty = time_frames(reps);
    row("main_loop + glFinish, no surface", "", empty, "ms", 1e3, note("%6.1f fps", 1 / empty.median));

    for (const char* name : surfaces)
        bench_surface((std::filesystem::path(dir) / (std::string(name) + ".klein")).string(), name, reps);

    stop_quiet();
    std::filesystem::remove_all(dir);
    return 0;
}
