// Commands timed as whole processes: the viewer from start to its first
// frame, against f3d on the same triangles, and their peak memory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bench.h"

extern char** environ;

namespace fs = std::filesystem;

double run(const std::vector<std::string>& command, double* peak)
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
double peak_of(const std::vector<std::string>& command)
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

void first_frame(const Surface& s, const fs::path& dir, int reps)
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

// Runs a and b in turn, reps times each, into their medians' seconds, and
// a note of the ratios; false, having said so, when a run fails.
static bool in_turn(const std::vector<std::string>& a, const std::vector<std::string>& b, int reps,
    double* ta, double* tb, std::string* note)
{
    std::vector<double> first, second, ratios;
    for (int k = 0; k < reps; k++) {
        double x = run(a), y = run(b);
        if (x < 0 || y < 0) {
            std::fprintf(stderr, "plexorama-bench: plexorama %s failed\n", a.back().c_str());
            return false;
        }
        first.push_back(x);
        second.push_back(y);
        ratios.push_back(y / x);
    }
    char text[64];
    std::snprintf(text, sizeof text, "median of %d pairs %.2f x, worst %.2f x", reps, median(ratios),
        *std::max_element(ratios.begin(), ratios.end()));
    *ta = median(first);
    *tb = median(second);
    *note = text;
    return true;
}

void picture_smooth(const Surface& s, const fs::path& dir, int reps)
{
    std::string png = (dir / "picture.png").string();
    std::vector<std::string> plain
        = {PLEXORAMA_BINARY, "--quiet", "--no-preferences", "--output", png, s.path};
    std::vector<std::string> smooth = plain;
    smooth.insert(smooth.end() - 1, {"--light", "smooth"});
    double flat, lit;
    std::string note;
    bool ran = in_turn(plain, smooth, reps, &flat, &lit, &note);
    fs::remove(png);
    if (!ran)
        return;
    row({"picture, whole process: smooth light", s.name, 1e3 * lit, "ms", "<= 1.25 x", 1e3 * flat,
        "the picture", note + "; the planes found included"});
    // The drawing's own memory moves with the timing of GL's threads, so
    // peaks are paired as times are.
    std::vector<double> peaks, plain_peaks, ratios;
    for (int k = 0; k < reps; k++) {
        double a = peak_of(plain), b = peak_of(smooth);
        if (a <= 0 || b < 0) {
            std::fprintf(stderr, "plexorama-bench: --peak-of %s failed\n", s.path.c_str());
            return;
        }
        plain_peaks.push_back(a);
        peaks.push_back(b);
        ratios.push_back(b / a);
    }
    char peak_note[96];
    std::snprintf(peak_note, sizeof peak_note, "median of %d pairs %.2f x, worst %.2f x; the data are %s MB", reps,
        median(ratios), *std::max_element(ratios.begin(), ratios.end()), number(s.bytes / 1e6).c_str());
    row({"picture: peak memory, smooth light", s.name, median(peaks) / 1e6, "MB", "<= 1.2 x",
        median(plain_peaks) / 1e6, "the picture", std::string("whole process; ") + peak_note});
}

void frames_framed(const Surface& s, int reps)
{
    std::vector<std::string> chosen
        = {PLEXORAMA_BINARY, "--quiet", "--no-preferences", "--frames", "5", s.path};
    // Turns in two planes that mix shown and hidden coordinates: a frame
    // that is no coordinate choice.
    std::vector<std::string> general = chosen;
    general.insert(general.end() - 1, {"--turn", "1:5=30,2:7=40"});
    double plain, framed;
    std::string note;
    if (in_turn(chosen, general, reps, &plain, &framed, &note))
        row({"5 frames, whole process: general", s.name, 1e3 * framed, "ms", "<= 1.2 x", 1e3 * plain,
            "coordinate choice", note});
}
