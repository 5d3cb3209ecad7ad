// The benchmark's parts: the table every figure goes into, commands timed
// as whole processes, and surfaces loaded and drawn inside this process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The table and its statistics: table.cpp.
struct Row {
    std::string figure, surface;
    double value;
    std::string unit, target;
    double baseline; // NAN when the figure has none
    std::string baseline_what, note;
};

// Seconds on a steady clock.
double now();
// Seconds of CPU the whole process has spent, on every thread: what a frame
// costs however busy the machine is with other work.
double cpu_now();
double median(std::vector<double> values);
// The value below which the given share of values lies, nearest rank.
double percentile(std::vector<double> values, double share);
// A figure as the table prints it; empty for NAN.
std::string number(double value);
// Adds a row, and shows it at once on standard error.
void row(Row r);
void print_table();
bool write_csv(const char* path);

// Surfaces written by the samples tool: surfaces.cpp.
struct Surface {
    std::string name, path;
    uint8_t dim;
    uint64_t vertices;
    double bytes; // of both arrays
};

bool describe_surface(const std::string& path, Surface* surface);
bool make_surface(const std::filesystem::path& dir, int resolution, const char* file, Surface* surface);
bool write_stl(const Surface& s, const std::string& path);
// The surface in R^dim made from s (of fewer coordinates) by products of
// its coordinates, the normals' new components 0, written to path.
bool widen_surface(const Surface& s, int dim, const std::string& path, Surface* wide);
// Puts s on show in place of what was shown; returns the seconds it took, or -1.
double show(const Surface& s);
void drop_shown();
// Loading, split into its steps, against a naive read and copy.
void loading(const Surface& s, int reps);
// Writes the Hopf sample of that many fibres of 64 vertices into dir; its path.
bool make_lines(const std::filesystem::path& dir, int fibres, std::string* path);
// Reading a file of polylines, against a naive read of its numbers.
void loading_lines(const std::string& path, int reps);

// Commands run as processes: processes.cpp.
// Runs a command with its output thrown away; returns its wall seconds, or
// -1 when it could not start or did not exit with 0. peak, when given,
// receives its largest resident size in bytes.
double run(const std::vector<std::string>& command, double* peak = nullptr);
double peak_of(const std::vector<std::string>& command);
// Process start to first frame, against f3d on the same triangles.
void first_frame(const Surface& s, const std::filesystem::path& dir, int reps);
// A picture with smooth light, its tangent planes found, against one without.
void picture_smooth(const Surface& s, const std::filesystem::path& dir, int reps);
// Five frames through a general frame of R^m, against the coordinate choice.
void frames_framed(const Surface& s, int reps);

// Frames of the shown surface, and the window's pacing: frames.cpp.
// Puts the first view on show, for the shapes on show.
void plain_view();
void frame_split(const Surface& s, int reps);
// Frames with the 4-D turn and shape lighting, and with the cues to w,
// against the plain frame; and the time s takes to measure.
void frame_cues(const Surface& s, int reps);
// Frames with smooth light, anti-aliasing, transparency and colour by w,
// against the plain frame.
void frame_finish(const Surface& s, int reps);
// A frame of a surface in R^m through a general frame, and one of a running
// grand tour, against its coordinate choice; and a tour's step in R^255.
void frame_tours(const Surface& s, int reps);
void step_tours();
void pacing(int frames);

// Lines and points: shapes.cpp. 10^6 points in R^10 on a grand tour against
// the largest surface's still frame, and the 120-cell's edges against the
// Klein bottle sample, both anti-aliased.
void frame_shapes(const Surface& large, int reps, bool quick);

// The double curve: crossing.cpp. The whole curve of the largest surfaces
// and of the samples, and curves a second of a surface of 100,000
// triangles, made in dir, while its view turns.
void crossing(const std::vector<Surface>& largest, const std::filesystem::path& dir, bool quick, int reps);
