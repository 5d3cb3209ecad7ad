// plexorama-bench [--quick] [--reps N]: one table of what the viewer costs on
// large surfaces, each figure beside its target and a baseline measured in
// the same run, alternating with it, so that a busy machine moves both.
// The table is printed and written as CSV.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <epoxy/gl.h>

#include "context.h"
#include "input.h"
#include "klein.h"
#include "main.h"
#include "mesh.h"
#include "window.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double now()
{
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// The value below which the given share of values lies, nearest rank.
static double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

struct Row {
    std::string figure, surface;
    double value;
    std::string unit, target;
    double baseline; // NAN when the figure has none
    std::string baseline_what, note;
};

static std::vector<Row> table;

static void row(Row r)
{
    table.push_back(std::move(r));
    // Rows show up as they are measured; the whole table follows at the end.
    const Row& t = table.back();
    std::fprintf(stderr, "  %s %s: %.3f %s\n", t.figure.c_str(), t.surface.c_str(), t.value, t.unit.c_str());
}

static std::string ratio_text(const Row& r)
{
    if (std::isnan(r.baseline) || r.baseline == 0)
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f x", r.value / r.baseline);
    return text;
}

static std::string number(double value)
{
    if (std::isnan(value))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) >= 100 ? "%.0f" : "%.3g", value);
    return text;
}

static void print_table()
{
    std::printf("\n%-34s %-12s %9s %-5s %-20s %9s %-18s %8s  %s\n", "figure", "surface", "value", "unit",
        "target", "baseline", "baseline is", "ratio", "note");
    for (const Row& r : table)
        std::printf("%-34s %-12s %9s %-5s %-20s %9s %-18s %8s  %s\n", r.figure.c_str(), r.surface.c_str(),
            number(r.value).c_str(), r.unit.c_str(), r.target.c_str(), number(r.baseline).c_str(),
            r.baseline_what.c_str(), ratio_text(r).c_str(), r.note.c_str());
}

static std::string csv_field(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

static bool write_csv(const char* path)
{
    FILE* out = std::fopen(path, "w");
    if (!out)
        return false;
    std::fprintf(out, "figure,surface,value,unit,target,baseline,baseline_is,ratio,note\n");
    for (const Row& r : table) {
        std::string ratio
            = std::isnan(r.baseline) || r.baseline == 0 ? "" : std::to_string(r.value / r.baseline);
        std::fprintf(out, "%s,%s,%.6g,%s,%s,%s,%s,%s,%s\n", csv_field(r.figure).c_str(),
            csv_field(r.surface).c_str(), r.value, csv_field(r.unit).c_str(), csv_field(r.target).c_str(),
            std::isnan(r.baseline) ? "" : std::to_string(r.baseline).c_str(),
            csv_field(r.baseline_what).c_str(), ratio.c_str(), csv_field(r.note).c_str());
    }
    return std::fclose(out) == 0;
}

// start_main and stop_main log progress to stdout; the table keeps it to itself.
static void quiet(bool on)
{
    static int saved = -1;
    std::fflush(stdout);
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

// Runs a command with its output thrown away; returns its wall seconds, or
// -1 when it could not start or did not exit with 0. peak, when given,
// receives its largest resident size in bytes.
static double run(const std::vector<std::string>& command, double* peak = nullptr)
{
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    double start = now();
    pid_t child = 0;
    int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    int status = 0;
    rusage usage = {};
    wait4(child, &status, 0, &usage);
    double seconds = now() - start;
    if (peak)
        *peak = 1024.0 * static_cast<double>(usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The peak resident size of a command, in bytes, or -1. A child started from
// this process would start with this process's own peak as its recorded
// one, so a copy of this program started afresh runs it and prints its peak.
static double peak_of(const std::vector<std::string>& command)
{
    std::string line = "'" + fs::read_symlink("/proc/self/exe").string() + "' --peak-of";
    for (const std::string& word : command)
        line += " '" + word + "'";
    FILE* out = popen(line.c_str(), "r");
    if (!out)
        return -1;
    double peak = -1;
    if (std::fscanf(out, "%lf", &peak) != 1)
        peak = -1;
    return pclose(out) == 0 ? peak : -1;
}

static bool on_path(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        fs::path candidate = fs::path(rest.substr(0, colon)) / program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    }
    return false;
}

struct Surface {
    std::string name, path;
    uint8_t dim;
    uint64_t vertices;
    double bytes; // of both arrays
};

static bool describe_surface(const std::string& path, Surface* surface)
{
    KleinFile klein;
    KleinReport report;
    if (open_surface_klein(path.c_str(), &klein, &report)) {
        std::fprintf(stderr, "plexorama-bench: cannot read %s\n", path.c_str());
        return false;
    }
    close_surface_klein(&klein);
    char name[32];
    std::snprintf(name, sizeof name, "m%d n%.3gM", klein.dim, static_cast<double>(klein.vertex_count) / 1e6);
    *surface = {name, path, klein.dim, klein.vertex_count, 8.0 * static_cast<double>(klein.count)};
    return true;
}

// The samples tool writes all its surfaces at one resolution; the bench keeps
// the one it wants and drops the others at once, to spare the disk.
static bool make_surface(const fs::path& dir, int resolution, const char* file, Surface* surface)
{
    fs::path at = dir / std::to_string(resolution);
    if (!fs::exists(at / file)) {
        if (run({PLEXORAMA_MAKE_SAMPLES, at.string(), "--resolution", std::to_string(resolution)}) < 0) {
            std::fprintf(
                stderr, "plexorama-bench: %s failed at resolution %d\n", PLEXORAMA_MAKE_SAMPLES, resolution);
            return false;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(at)) {
            std::string name = entry.path().filename().string();
            if (name != "klein-bottle.klein" && name != "torus-10d.klein")
                fs::remove(entry.path());
        }
    }
    return describe_surface((at / file).string(), surface);
}

// The same triangles as binary STL, the first three coordinates of each
// vertex, for a viewer that reads no KLEIN.
static bool write_stl(const Surface& s, const std::string& path)
{
    SurfaceData data;
    if (create_surface_klein(s.path.c_str(), &data))
        return false;
    FILE* out = std::fopen(path.c_str(), "wb");
    bool written = out != nullptr;
    uint32_t triangles = static_cast<uint32_t>(data.vertex_count / 3);
    char header[80] = "plexorama-bench";
    if (written)
        written = std::fwrite(header, 1, 80, out) == 80 && std::fwrite(&triangles, 4, 1, out) == 1;
    std::vector<char> record(50);
    for (uint32_t t = 0; written && t < triangles; t++) {
        const float* n = data.normals + 3 * t * data.dim;
        std::memcpy(record.data(), n, 12);
        for (int v = 0; v < 3; v++)
            std::memcpy(record.data() + 12 + 12 * v, data.coords + (3 * t + v) * data.dim, 12);
        written = std::fwrite(record.data(), 1, 50, out) == 50;
    }
    if (out)
        written = std::fclose(out) == 0 && written;
    free(data.coords);
    free(data.normals);
    return written;
}

static void first_frame(const Surface& s, const fs::path& dir, int reps)
{
    std::vector<double> ours, theirs, ratios;
    bool f3d = on_path("f3d");
    std::string stl = (dir / "surface.stl").string(), png = (dir / "f3d.png").string();
    if (f3d && !write_stl(s, stl))
        f3d = false;
    for (int k = 0; k < reps; k++) {
        double a = run({PLEXORAMA_BINARY, "--frames", "1", s.path});
        double b = f3d ? run({"f3d", "--edges", "--output=" + png, "--resolution=512,512", stl}) : -1;
        if (a < 0) {
            std::fprintf(stderr, "plexorama-bench: plexorama --frames 1 %s failed\n", s.path.c_str());
            return;
        }
        ours.push_back(a);
        if (b > 0) {
            theirs.push_back(b);
            ratios.push_back(a / b);
        }
    }
    fs::remove(stl);
    double shown = peak_of({PLEXORAMA_BINARY, "--frames", "1", s.path}),
           empty = peak_of({PLEXORAMA_BINARY, "--frames", "1"});
    if (shown >= 0 && empty >= 0)
        row({"first frame: peak memory rise", s.name, (shown - empty) / 1e6, "MB", "", s.bytes / 1e6,
            "the data", "whole process over a viewer showing nothing; drawing included"});
    if (ratios.empty()) {
        row({"first frame, whole process", s.name, 1e3 * median(ours), "ms", "<= 1.25 x f3d", NAN, "",
            f3d ? "f3d failed: no baseline" : "f3d not installed: no baseline"});
        return;
    }
    char note[64];
    std::snprintf(note, sizeof note, "median of %d pairs %.2f x, worst %.2f x", reps, median(ratios),
        *std::max_element(ratios.begin(), ratios.end()));
    row({"first frame, whole process", s.name, 1e3 * median(ours), "ms", "<= 1.25 x f3d",
        1e3 * median(theirs), "f3d --edges", note});
}

// What a viewer would do with no care: read into fresh memory, and let the
// driver take its own copy.
static double naive_load(const Surface& s)
{
    size_t bytes = static_cast<size_t>(s.bytes / 2);
    double start = now();
    FILE* in = std::fopen(s.path.c_str(), "rb");
    if (!in)
        return -1;
    char* read = static_cast<char*>(std::malloc(2 * bytes));
    char* copy = static_cast<char*>(std::malloc(2 * bytes));
    bool ok = read && copy && std::fseek(in, 15, SEEK_SET) == 0
        && std::fread(read, 1, 2 * bytes, in) == 2 * bytes;
    if (ok)
        std::memcpy(copy, read, 2 * bytes);
    // Without a use of the copy the compiler drops it, and the free with it.
    asm volatile("" : : "r"(copy) : "memory");
    double seconds = now() - start;
    std::fclose(in);
    std::free(read);
    std::free(copy);
    return ok ? seconds : -1;
}

static void drop_shown()
{
    destroy_mesh(projection.mesh);
    projection.mesh = nullptr;
}

static double show(const Surface& s)
{
    drop_shown();
    double start = now();
    ShowStatus status = show_surface_input(s.path.c_str(), nullptr);
    glFinish();
    return status == SHOW_DONE ? now() - start : -1;
}

// Kilobytes from /proc/self/status.
static double status_kb(const char* key)
{
    FILE* in = std::fopen("/proc/self/status", "r");
    char line[256];
    double kb = NAN;
    size_t length = std::strlen(key);
    while (in && std::fgets(line, sizeof line, in))
        if (std::strncmp(line, key, length) == 0)
            kb = std::atof(line + length);
    if (in)
        std::fclose(in);
    return kb;
}

// Bytes the process's resident memory rose to above where it stood. Reads
// with pread map no file, so the rise is anonymous and driver memory.
template <class Body> static double peak_rise(Body body)
{
    double before = status_kb("VmRSS:");
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (!clear)
        return NAN;
    std::fputs("5", clear); // resets the peak to the resident memory now
    std::fclose(clear);
    body();
    return 1024 * (status_kb("VmHWM:") - before);
}

static void loading(const Surface& s, int reps)
{
    naive_load(s); // warms the page cache for every timed read
    std::vector<double> ours, naive, ratios;
    for (int k = 0; k < reps; k++) {
        // Alternating which goes first spreads the cost of a cold start evenly.
        double a, b;
        if (k % 2) {
            a = show(s);
            b = naive_load(s);
        } else {
            b = naive_load(s);
            a = show(s);
        }
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "plexorama-bench: loading %s failed\n", s.path.c_str());
            return;
        }
        ours.push_back(a);
        naive.push_back(b);
        ratios.push_back(a / b);
    }
    char note[64];
    std::snprintf(note, sizeof note, "median of %d pairs %.2f x, worst %.2f x", reps, median(ratios),
        *std::max_element(ratios.begin(), ratios.end()));
    double base = median(naive);
    row({"load: show_surface_input", s.name, 1e3 * median(ours), "ms", "<= 0.65 x, worst <= 1", 1e3 * base,
        "naive read + copy", note});

    // The same steps as show_surface_input, timed one by one.
    std::vector<double> read, upload, bind;
    for (int k = 0; k < reps; k++) {
        drop_shown();
        KleinFile file;
        KleinReport report;
        float *coords, *normals;
        double t0 = now();
        if (open_surface_klein(s.path.c_str(), &file, &report))
            return;
        double t1 = now();
        Mesh* mesh = create_mapped_mesh(file.dim, file.vertex_count, &coords, &normals);
        double t2 = now();
        int refused = !mesh || read_surface_klein(&file, coords, normals, &report);
        double t3 = now();
        close_surface_klein(&file);
        if (refused || unmap_mesh(mesh)) {
            destroy_mesh(mesh);
            return;
        }
        glFinish();
        double t4 = now();
        projection = {mesh, file.dim, 0, 1, 2, 3};
        set_projection_mesh(projection);
        glFinish();
        double t5 = now();
        read.push_back((t1 - t0) + (t3 - t2));
        upload.push_back((t2 - t1) + (t4 - t3));
        bind.push_back(t5 - t4);
    }
    row({"load: read (open, pread)", s.name, 1e3 * median(read), "ms", "", base * 1e3, "naive read + copy",
        "into the buffers' storage"});
    row({"load: upload (buffers, map, unmap)", s.name, 1e3 * median(upload), "ms", "", base * 1e3,
        "naive read + copy", ""});
    row({"load: bind (set_projection_mesh)", s.name, 1e3 * median(bind), "ms", "", base * 1e3,
        "naive read + copy", ""});

    drop_shown();
    double ours_peak = peak_rise([&] { show(s); });
    drop_shown();
    double naive_peak = peak_rise([&] { naive_load(s); });
    row({"load: peak memory rise", s.name, ours_peak / 1e6, "MB", "<= 1.15 x data", s.bytes / 1e6, "the data",
        "naive read + copy: " + number(naive_peak / s.bytes) + " x"});
}

static void frame_split(const Surface& s, int reps)
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
        draw_mesh(shader, projection.mesh);
        glFinish();
        double t2 = now();
        draw_mesh_lines(shader_plain, projection.mesh);
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

struct Pacing {
    double p50, p99, max, rate, cpu; // ms, ms, ms, frames a second, CPU over wall
};

// The viewer's own loop, frames released by the window's pacing.
static Pacing pace(int frames)
{
    for (int k = 0; k < 30; k++) {
        main_loop();
        is_open_window(window);
    }
    std::vector<double> intervals;
    rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    double start = now(), last = start;
    for (int k = 0; k < frames; k++) {
        main_loop();
        is_open_window(window);
        double t = now();
        intervals.push_back(1e3 * (t - last));
        last = t;
    }
    getrusage(RUSAGE_SELF, &after);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
    };
    double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime)
        - seconds(before.ru_stime);
    double wall = last - start;
    return {percentile(intervals, 0.5), percentile(intervals, 0.99),
        *std::max_element(intervals.begin(), intervals.end()), frames / wall, cpu / wall};
}

static void pacing(int frames)
{
    drop_shown();
    Pacing empty = pace(frames);
    if (show_surface_input(PLEXORAMA_README_SAMPLE, nullptr) != SHOW_DONE) {
        std::fprintf(stderr, "plexorama-bench: cannot show %s\n", PLEXORAMA_README_SAMPLE);
        return;
    }
    Pacing sample = pace(frames);
    drop_shown();
    std::string n = std::to_string(frames) + " frames";
    const char* shown = "README sample";
    row({"pacing: p50 interval", shown, sample.p50, "ms", "16.5 to 17.0", empty.p50, "nothing shown", n});
    row({"pacing: p99 interval", shown, sample.p99, "ms", "<= 18", empty.p99, "nothing shown", n});
    row({"pacing: max interval", shown, sample.max, "ms", "", empty.max, "nothing shown", n});
    row({"pacing: mean rate", shown, sample.rate, "fps", "60", empty.rate, "nothing shown", n});
    row({"pacing: CPU over wall", shown, sample.cpu, "", "", empty.cpu, "nothing shown",
        "all threads; 1 = one core busy"});
}

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

    quiet(true);
    int failed = start_main();
    quiet(false);
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
    pacing(frames);

    quiet(true);
    stop_main();
    quiet(false);
    fs::remove_all(dir);

    print_table();
    if (!write_csv(PLEXORAMA_BENCH_CSV)) {
        std::fprintf(stderr, "plexorama-bench: cannot write %s\n", PLEXORAMA_BENCH_CSV);
        return 1;
    }
    std::printf("\nwritten to %s\n", PLEXORAMA_BENCH_CSV);
    return 0;
}
