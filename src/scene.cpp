// The scene: the view on show, taken into and put back from Scene records.
#include "scene.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include <cglm/cglm.h>

#include "input.h"
#include "mesh.h"
#include "motion.h"
#include "platform.h"
#include "viewfile.h"
#include "window.h"

void capture_scene(Scene* scene)
{
    memcpy(scene->q, q, sizeof scene->q);
    memcpy(scene->axis, axis, sizeof scene->axis);
    const uint8_t shown[4] = {projection.x, projection.y, projection.z, projection.w};
    memcpy(scene->show, shown, sizeof shown);
    scene->view = view;
}

void restore_scene(const Scene* scene)
{
    memcpy(q, scene->q, sizeof scene->q);
    memcpy(axis, scene->axis, sizeof scene->axis);
    View next = scene->view;
    next.spin = view.spin;
    next.reach = view.reach;
    memcpy(next.moved, view.moved, sizeof next.moved);
    set_view(&next);
}

long spin_frames_scene(const Options* options)
{
    // A whole number of frames to the turn, so that the last frame leads
    // back into the first.
    double frames = std::round(360.0 * 60.0 / std::fabs(options->spin.degrees));
    return frames < 1.0 ? 1 : static_cast<long>(frames);
}

// The view options: on top of a restored view, so that one saved view can
// give pictures of several choices.
static void __apply_options_scene(const Options* options)
{
    for (int k = 0; k < options->turn_count; k++) {
        const Turn& t = options->turns[k];
        turn_plane_motion(t.a, t.b, glm_rad(t.degrees));
    }
    View next = view;
    Cues& c = next.cues;
    if (options->zoom > 0.0f)
        next.zoom = options->zoom;
    if (options->light >= 0)
        next.light = static_cast<Light>(options->light);
    if (options->tint >= 0)
        c.tint = static_cast<Tint>(options->tint);
    if (options->tint_scale > 0.0f)
        c.tint_scale = options->tint_scale;
    if (options->slice) {
        c.slice = true;
        c.slice_at = options->band[0];
        c.slice_width = options->band[1];
    }
    if (options->eye4 > 0.0f) {
        c.eye4 = true;
        c.eye4_at = options->eye4;
    }
    c.gizmo = c.gizmo || options->gizmo;
    if (options->wire >= 0)
        c.wire = options->wire;
    Finish& f = next.finish;
    if (options->aa > 0)
        f.aa = options->aa;
    if (options->opacity > 0.0f)
        f.opacity = options->opacity;
    if (options->stereo >= 0)
        f.stereo = static_cast<Stereo>(options->stereo);
    if (options->eyes > 0.0f)
        f.eyes = options->eyes;
    if (options->spin.degrees != 0.0f) {
        float step = 2.0f * GLM_PIf / static_cast<float>(spin_frames_scene(options));
        next.spin = {SPIN_PLANE, 0.0f, 0.0f, options->spin.a, options->spin.b,
            options->spin.degrees < 0.0f ? -step : step};
    }
    set_view(&next);
}

int apply_scene(const Options* options, const Scene* saved, uint8_t dim)
{
    uint8_t chosen[4];
    const char* source = nullptr;
    const char* option = "";
    if (saved) {
        restore_scene(saved);
        memcpy(chosen, saved->show, sizeof chosen);
        source = options->view;
    }
    if (options->show) {
        memcpy(chosen, options->coordinates, sizeof chosen);
        source = options->show;
        option = "--show ";
    }
    __apply_options_scene(options);
    if (!saved && !options->show)
        return 0;
    for (uint8_t c : chosen)
        if (c >= dim) {
            // The preferences' coordinates are for the surfaces that have them.
            if (!source)
                return 0;
            fprintf(stderr, "plexorama: %s%s: coordinate %d is past the surface's %d\n", option, source,
                c + 1, dim);
            return 2;
        }
    projection.x = chosen[0];
    projection.y = chosen[1];
    projection.z = chosen[2];
    projection.w = chosen[3];
    return 0;
}

int prepare_scene(const Options* options, const Scene* saved)
{
    int failed = apply_scene(options, saved, projection.dim);
    if (failed)
        return failed;
    if (saved || options->show)
        set_projection_mesh(projection);
    if (options->swap)
        __key_callback_input(window, options->swap, 0, GLFW_PRESS, 0);
    return 0;
}

int save_scene(const char* path)
{
    Scene scene;
    capture_scene(&scene);
    if (write_view(path, &scene))
        return 0;
    fprintf(stderr, "plexorama: %s: cannot write: %s\n", path, strerror(errno));
    return 1;
}

// Where the preferences are: $XDG_CONFIG_HOME/plexorama, else
// ~/.config/plexorama. Returns 0 with neither.
static int __preferences_path_scene(char* path, size_t size)
{
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    int written = config && *config ? snprintf(path, size, "%s/plexorama/default.view", config)
        : home && *home             ? snprintf(path, size, "%s/.config/plexorama/default.view", home)
                                    : -1;
    return written > 0 && static_cast<size_t>(written) < size;
}

int read_preferences_scene(Scene* scene)
{
    char path[PATH_MAX];
    struct stat status;
    // None at all is the usual case, and says nothing.
    if (!__preferences_path_scene(path, sizeof path) || (stat(path, &status) != 0 && errno == ENOENT))
        return 0;
    const char* fault = read_view(path, &initial_scene, true, scene);
    if (!fault)
        return 1;
    fprintf(stderr, "plexorama: warning: %s: %s: going on without the preferences\n", path, fault);
    return 0;
}
