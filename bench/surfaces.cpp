// Surfaces: writing them with the samples tool, and loading them into the
// viewer's buffers step by step, against a naive read and copy; and a file of
// polylines read, against a naive read of its numbers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <epoxy/gl.h>

#include "bench.h"
#include "app/input.h"
#include "app/surface.h"
#include "core/klein.h"
#include "core/oogl.h"
#include "draw/shapes.h"
#include "draw/mesh.h"

namespace fs = std::filesystem;

bool describe_surface(const std::string& path, Surface* surface)
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
bool make_surface(const fs::path& dir, int resolution, const char* file, Surface* surface)
{
    fs::path at = dir / std::to_string(resolution);
    if (!fs::exists(at / file)) {
        // One fibre and one point spare the time of the shapes beside the surfaces.
        if (run({PLEXORAMA_MAKE_SAMPLES, at.string(), "--resolution", std::to_string(resolution), "--fibres",
                "1", "--points", "1"})
            < 0) {
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
bool write_stl(const Surface& s, const std::string& path)
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

bool widen_surface(const Surface& s, int dim, const std::string& path, Surface* wide)
{
    SurfaceData data;
    if (create_surface_klein(s.path.c_str(), &data))
        return false;
    FILE* out = std::fopen(path.c_str(), "wb");
    const int d = data.dim;
    uint8_t m = static_cast<uint8_t>(dim);
    uint64_t n = data.vertex_count;
    bool written = out && std::fwrite("KLEIN", 1, 6, out) == 6 && std::fwrite(&m, 1, 1, out) == 1
        && std::fwrite(&n, 8, 1, out) == 1;
    std::vector<float> vertex(dim);
    for (int array = 0; array < 2; array++)
        for (uint64_t v = 0; written && v < n; v++) {
            const float* c = (array ? data.normals : data.coords) + v * d;
            for (int k = 0; k < dim; k++) {
                // Coordinate k past d: the product of two of the first d.
                int j = (k - d) % d, i = (j + 1 + (k - d) / d) % d;
                vertex[k] = k < d ? c[k] : array ? 0.0f : c[i] * c[j];
            }
            written = std::fwrite(vertex.data(), 4, dim, out) == static_cast<size_t>(dim);
        }
    if (out)
        written = std::fclose(out) == 0 && written;
    free(data.coords);
    free(data.normals);
    return written && describe_surface(path, wide);
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

void drop_shown()
{
    clear_shapes();
}

double show(const Surface& s)
{
    drop_shown();
    double start = now();
    ShowStatus status = show_file_surface(s.path.c_str(), nullptr);
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

// Times ours and the naive way reps times each, the naive first once in
// two; returns false, saying so, when either fails.
template <class Ours, class Naive>
static bool alternate(const std::string& path, int reps, Ours ours_way, Naive naive_way,
    std::vector<double>* ours, std::vector<double>* naive, char* note, size_t size)
{
    naive_way(); // warms the page cache for every timed read
    std::vector<double> ratios;
    for (int k = 0; k < reps; k++) {
        // Alternating which goes first spreads the cost of a cold start evenly.
        double a, b;
        if (k % 2) {
            a = ours_way();
            b = naive_way();
        } else {
            b = naive_way();
            a = ours_way();
        }
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "plexorama-bench: loading %s failed\n", path.c_str());
            return false;
        }
        ours->push_back(a);
        naive->push_back(b);
        ratios.push_back(a / b);
    }
    std::snprintf(note, size, "median of %d pairs %.2f x, worst %.2f x", reps, median(ratios),
        *std::max_element(ratios.begin(), ratios.end()));
    return true;
}

void loading(const Surface& s, int reps)
{
    std::vector<double> ours, naive;
    char note[64];
    if (!alternate(
            s.path, reps, [&] { return show(s); }, [&] { return naive_load(s); }, &ours, &naive, note,
            sizeof note))
        return;
    double base = median(naive);
    row({"load: show_file_surface", s.name, 1e3 * median(ours), "ms", "<= 0.65 x, worst <= 1", 1e3 * base,
        "naive read + copy", note});

    // The same steps as show_file_surface, timed one by one.
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
        const uint8_t first[4] = {0, 1, 2, 3};
        bind_mesh(mesh, first);
        glFinish();
        double t5 = now();
        destroy_mesh(mesh);
        read.push_back((t1 - t0) + (t3 - t2));
        upload.push_back((t2 - t1) + (t4 - t3));
        bind.push_back(t5 - t4);
    }
    row({"load: read (open, pread)", s.name, 1e3 * median(read), "ms", "", base * 1e3, "naive read + copy",
        "into the buffers' storage"});
    row({"load: upload (buffers, map, unmap)", s.name, 1e3 * median(upload), "ms", "", base * 1e3,
        "naive read + copy", ""});
    row({"load: bind (bind_mesh)", s.name, 1e3 * median(bind), "ms", "", base * 1e3,
        "naive read + copy", ""});

    drop_shown();
    double ours_peak = peak_rise([&] { show(s); });
    drop_shown();
    double naive_peak = peak_rise([&] { naive_load(s); });
    row({"load: peak memory rise", s.name, ours_peak / 1e6, "MB", "<= 1.15 x data", s.bytes / 1e6, "the data",
        "naive read + copy: " + number(naive_peak / s.bytes) + " x"});
}

bool make_lines(const fs::path& dir, int fibres, std::string* path)
{
    fs::path at = dir / "lines";
    if (run({PLEXORAMA_MAKE_SAMPLES, at.string(), "--fibres", std::to_string(fibres), "--points", "1"}) < 0) {
        std::fprintf(
            stderr, "plexorama-bench: %s failed writing %d fibres\n", PLEXORAMA_MAKE_SAMPLES, fibres);
        return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(at))
        if (entry.path().filename() != "hopf.skel")
            fs::remove(entry.path());
    *path = (at / "hopf.skel").string();
    return true;
}

// What a reader of a text file of numbers does with no care: read it whole,
// then strtof over it, stepping over what is no number.
static double naive_numbers(const std::string& path)
{
    double start = now();
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return -1;
    std::fseek(in, 0, SEEK_END);
    long size = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
    bool ok = text && std::fread(text, 1, static_cast<size_t>(size), in) == static_cast<size_t>(size);
    float sum = 0;
    for (char *at = text, *end; ok && *at; at = end) {
        float value = std::strtof(at, &end);
        sum += value;
        end += end == at;
    }
    asm volatile("" : : "r"(sum));
    double seconds = now() - start;
    std::fclose(in);
    std::free(text);
    return ok ? seconds : -1;
}

// Reads the file's shapes; their vertices and the bytes of their arrays,
// when asked for.
static double read_lines(const std::string& path, double* vertices = nullptr, double* bytes = nullptr)
{
    ShapeData shapes[max_shapes_oogl];
    int count;
    double start = now();
    const char* failed = read_shapes_oogl(path.c_str(), shapes, &count);
    double seconds = now() - start;
    for (int k = 0; !failed && k < count; k++) {
        double n = static_cast<double>(shapes[k].vertex_count);
        if (vertices)
            *vertices += n;
        if (bytes)
            *bytes += n * (4.0 * shapes[k].dim + (shapes[k].joins ? 1 : 0) + (shapes[k].colors ? 4 : 0));
        free_shape(&shapes[k]);
    }
    return failed ? -1 : seconds;
}

void loading_lines(const std::string& path, int reps)
{
    std::vector<double> ours, naive;
    char name[32], note[64];
    if (!alternate(
            path, reps, [&] { return read_lines(path); }, [&] { return naive_numbers(path); }, &ours, &naive,
            note, sizeof note))
        return;
    double vertices = 0, data = 0;
    read_lines(path, &vertices, &data);
    std::snprintf(name, sizeof name, "SKEL n%.3gM", vertices / 1e6);
    row({"load: read_shapes_oogl", name, 1e3 * median(ours), "ms", "<= 1.5 x", 1e3 * median(naive),
        "read + strtof loop", note});
    // Measured in processes of their own: this one's allocator keeps what
    // earlier reads freed.
    std::string tiny = path + ".tiny.skel";
    FILE* out = std::fopen(tiny.c_str(), "w");
    bool written = out && std::fputs("4SKEL 1 1 0 0 0 0 1 0\n", out) >= 0;
    if (out)
        written = std::fclose(out) == 0 && written;
    double full = peak_of({PLEXORAMA_BINARY, "--info", path}),
           empty = peak_of({PLEXORAMA_BINARY, "--info", tiny});
    if (written && full >= 0 && empty >= 0)
        row({"load: OOGL peak memory rise", name, (full - empty) / 1e6, "MB", "", data / 1e6,
            "the shapes' arrays", "plexorama --info, over a file of one point"});
    // Shown and drawn once, in a picture too small for its pixels to count:
    // what the driver holds to draw them comes with them.
    std::string picture = path + ".png";
    full = peak_of({PLEXORAMA_BINARY, "--size", "16", "--output", picture, path});
    empty = peak_of({PLEXORAMA_BINARY, "--size", "16", "--output", picture, tiny});
    if (written && full >= 0 && empty >= 0)
        row({"load: OOGL shown, peak memory rise", name, (full - empty) / 1e6, "MB", "<= 1.15 x data", data / 1e6,
            "the shapes' arrays", "one 16-pixel picture, over a file of one point"});
}
