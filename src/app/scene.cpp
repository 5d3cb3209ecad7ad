// The scene: the view on show, taken into and put back from View records.
#include "app/scene.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/course.h"
#include "app/input.h"
#include "core/log.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "core/motion.h"
#include "core/output.h"
#include "core/ranges.h"
#include "draw/platform.h"
#include "core/viewfile.h"

void restore_scene(const View* scene)
{
    View next = *scene;
    memcpy(next.show, view.show, sizeof next.show);
    next.dim = view.dim;
    next.reach = view.reach;
    next.reach_w = view.reach_w;
    memcpy(next.moved, view.moved, sizeof next.moved);
    // A frame waits for a surface of its dimension, and is a coordinate
    // choice where it is one.
    next.framed = false;
    set_view(&next);
    if (scene->framed && scene->frame.dim == view.dim)
        show_frame_course(&scene->frame);
}

long spin_frames_scene(const Options* options)
{
    return turn_frames_motion(rate_motion(&options->asked.spin));
}

// The view options: on top of a restored view, so that one saved view can
// give pictures of several choices.
static int __apply_options_scene(const Options* options)
{
    if (options->frame_count) {
        Frame f = {};
        f.dim = static_cast<uint8_t>(options->frame_count / 4);
        for (int k = 0; k < options->frame_count; k++)
            f.rows[k / f.dim][k % f.dim] = options->frame[k];
        const char* fault = f.dim != view.dim ? "its rows are not of the surface's m"
            : !(error_frame(&f) <= 1e-4f)           ? "its rows are not orthonormal"
                                                    : nullptr;
        if (fault) {
            complain_log("--basis: %s (m = %d)", fault, view.dim);
            return 2;
        }
        show_frame_course(&f);
    }
    for (int k = 0; k < options->turn_count; k++) {
        const Turn& t = options->turns[k];
        if (!t.coordinates) {
            turn_plane_motion(t.a, t.b, radians_range(t.degrees));
        } else if (!turn_coordinates_course(t.a, t.b, radians_range(t.degrees))) {
            complain_log("--turn %d:%d: coordinate %d is past the surface's %d", t.a + 1, t.b + 1,
                std::max(t.a, t.b) + 1, view.dim);
            return 2;
        }
    }
    View next = view;
    read_view_options(options, &next);
    set_view(&next);
    if (options->tour > 0)
        start_tour_course(static_cast<TourKind>(options->tour),
            options->seeded || options->tour == TOUR_LITTLE ? options->seed
                                                            : static_cast<uint64_t>(time(nullptr)),
            view.tour.speed);
    return 0;
}

int apply_scene(const Options* options, const View* saved, uint8_t dim)
{
    uint8_t chosen[4];
    bool choosing = false;
    const char* source = nullptr;
    const char* option = "";
    View sized = view;
    sized.dim = dim;
    set_view(&sized);
    if (saved) {
        restore_scene(saved);
        // A frame takes the place of the coordinate choice.
        choosing = !saved->framed;
        memcpy(chosen, saved->show, sizeof chosen);
        source = options->view;
    }
    if (options->show) {
        // The coordinates chosen take the place of a frame.
        View next = view;
        next.framed = false;
        set_view(&next);
        memcpy(chosen, options->coordinates, sizeof chosen);
        choosing = true;
        source = options->show;
        option = "--show ";
    }
    for (int k = 0; k < 4 && choosing; k++) {
        if (chosen[k] < dim)
            continue;
        // The preferences' coordinates are for the surfaces that have them.
        if (!source) {
            choosing = false;
            break;
        }
        complain_log("%s%s: coordinate %d is past the surface's %d", option, source, chosen[k] + 1, dim);
        return 2;
    }
    if (choosing) {
        View next = view;
        memcpy(next.show, chosen, sizeof next.show);
        set_view(&next);
    }
    // Turns in planes of the surface's coordinates start from the choice.
    return __apply_options_scene(options);
}

int prepare_scene(const Options* options, const View* saved)
{
    int failed = apply_scene(options, saved, view.dim);
    if (failed)
        return failed;
    if ((saved || options->show) && shape_count > 0)
        bind_shapes(view.show);
    if (options->swap)
        __key_callback_input(nullptr, options->swap, 0, GLFW_PRESS, 0);
    return 0;
}

const char* read_scene(const char* path, View* scene, uint8_t dim, const View* base, bool partial)
{
    static char reason[160];
    FILE* file = fopen(path, "rb");
    if (!file) {
        snprintf(reason, sizeof reason, "cannot open: %s", strerror(errno));
        return reason;
    }
    // A view file is a few hundred bytes, or some 17 KB with a frame of
    // R^255; anything much larger is not one. A byte more than the longest
    // tells a file of that length from a longer one.
    static char text[longest_view + 1];
    size_t length = fread(text, 1, sizeof text, file);
    int failed = ferror(file);
    int error = errno;
    fclose(file);
    if (failed) {
        snprintf(reason, sizeof reason, "cannot read: %s", strerror(error));
        return reason;
    }
    if (length > longest_view)
        return "not a valid view file: larger than 64 KiB";
    const char* fault = parse_over_view(text, length, base, partial, scene, dim);
    if (!fault)
        return nullptr;
    snprintf(reason, sizeof reason, "not a valid view file: %s", fault);
    return reason;
}

int write_scene(const char* path, const View* scene)
{
    static char text[longest_view];
    size_t length = format_view(scene, text, sizeof text);
    Output output;
    if (!open_output(path, 0, &output))
        return 0;
    if (fwrite(text, 1, length, output.file) != length) {
        int error = errno;
        discard_output(&output);
        errno = error;
        return 0;
    }
    return commit_output(&output);
}

int save_scene(const char* path)
{
    if (write_scene(path, &view))
        return 0;
    complain_log("%s: cannot write: %s", path, strerror(errno));
    return 1;
}

const char* save_path_scene = nullptr;

const char* fresh_path_scene(const char* stem)
{
    static char path[PATH_MAX];
    for (int k = 1; k <= 1000; k++) {
        snprintf(path, sizeof path, "%s-%d.view", stem, k);
        if (access(path, F_OK) != 0 && errno == ENOENT)
            return path;
    }
    return nullptr;
}

const char* save_now_scene()
{
    const char* path = save_path_scene ? save_path_scene : fresh_path_scene("plexorama");
    if (!path) {
        complain_log("cannot save the view: plexorama-1.view to plexorama-1000.view are all taken");
        return nullptr;
    }
    if (save_scene(path))
        return nullptr;
    char said[PATH_MAX + 32];
    snprintf(said, sizeof said, "view saved to %s\n", path);
    mlog(said);
    return path;
}

// Where the preferences are: $XDG_CONFIG_HOME/plexorama, else
// ~/.config/plexorama. Returns 0 with neither. A relative $XDG_CONFIG_HOME
// is ignored, as the XDG Base Directory rules have it: only absolute paths count.
static int __preferences_path_scene(char* path, size_t size)
{
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    int written = config && *config == '/' ? snprintf(path, size, "%s/plexorama/default.view", config)
        : home && *home                    ? snprintf(path, size, "%s/.config/plexorama/default.view", home)
                                           : -1;
    return written > 0 && static_cast<size_t>(written) < size;
}

int read_preferences_scene(View* scene)
{
    char path[PATH_MAX];
    if (!__preferences_path_scene(path, sizeof path))
        return 0;
    struct stat status;
    bool found = stat(path, &status) == 0;
    int error = errno;
    // None at all is the usual case, and says nothing; a symbolic link to
    // none is a mistake.
    bool dangling = !found && error == ENOENT && lstat(path, &status) == 0;
    if (!found && error == ENOENT && !dangling)
        return 0;
    // A pipe or a device would hold the start up, or never end.
    const char* fault = "not a regular file";
    if (dangling)
        fault = "a symbolic link to no file";
    else if (!found || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
        fault = read_scene(path, scene, 0, &initial_view, true);
    if (!fault)
        return 1;
    complain_log("warning: %s: %s: going on without the preferences", path, fault);
    return 0;
}
