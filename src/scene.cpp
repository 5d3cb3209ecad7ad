// The scene: the view on show, taken into and put back from View records.
#include "scene.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <cglm/cglm.h>
#include <GLFW/glfw3.h>

#include "input.h"
#include "main.h"
#include "cues.h"
#include "mesh.h"
#include "motion.h"

void capture_scene(View* view)
{
    memcpy(view->q, q, sizeof view->q);
    memcpy(view->axis, axis, sizeof view->axis);
    const uint8_t shown[4] = {projection.x, projection.y, projection.z, projection.w};
    memcpy(view->show, shown, sizeof shown);
    // Row by row, as a reader of the file writes a matrix.
    for (int row = 0; row < 4; row++)
        for (int column = 0; column < 4; column++)
            view->turn4[4 * row + column] = turn4[column][row];
    view->zoom = zoom;
    memcpy(view->pan, pan, sizeof view->pan);
    view->light = light;
    view->tint = cues.tint;
    view->slice = cues.slice;
    view->band[0] = cues.slice_at;
    view->band[1] = cues.slice_width;
    view->eye4 = cues.eye4;
    view->eye4_at = cues.eye4_at;
    view->gizmo = cues.gizmo;
    view->wire = cues.wire;
}

void restore_scene(const View* view)
{
    memcpy(q, view->q, sizeof view->q);
    memcpy(axis, view->axis, sizeof view->axis);
    for (int row = 0; row < 4; row++)
        for (int column = 0; column < 4; column++)
            turn4[column][row] = view->turn4[4 * row + column];
    zoom = view->zoom;
    memcpy(pan, view->pan, sizeof pan);
    light = view->light ? LIGHT_SHAPE : LIGHT_FILE;
    touch_motion();
    cues = {view->tint ? TINT_W : TINT_FIXED, view->slice != 0, view->band[0], view->band[1], view->eye4 != 0,
        view->eye4_at, view->gizmo != 0, view->wire != 0};
    touch_cues();
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
    if (options->zoom > 0.0f) {
        zoom = options->zoom;
        touch_motion();
    }
    if (options->light >= 0)
        set_light_motion(static_cast<Light>(options->light));
    if (options->tint >= 0)
        cues.tint = static_cast<Tint>(options->tint);
    if (options->slice) {
        cues.slice = true;
        cues.slice_at = options->band[0];
        cues.slice_width = options->band[1];
    }
    if (options->eye4 > 0.0f) {
        cues.eye4 = true;
        cues.eye4_at = options->eye4;
    }
    cues.gizmo = cues.gizmo || options->gizmo;
    if (options->wire >= 0)
        cues.wire = options->wire;
    // Nothing asked for, nothing to upload: the first frame is as ever.
    if (options->tint >= 0 || options->slice || options->eye4 > 0.0f || options->gizmo || options->wire >= 0)
        touch_cues();
    if (options->spin.degrees != 0.0f) {
        float step = 2.0f * GLM_PIf / static_cast<float>(spin_frames_scene(options));
        spin = {SPIN_PLANE, 0.0f, 0.0f, options->spin.a, options->spin.b,
            options->spin.degrees < 0.0f ? -step : step};
    }
}

int prepare_scene(const Options* options, const View* view)
{
    uint8_t chosen[4];
    const char* source = nullptr;
    const char* option = "";
    if (options->view) {
        restore_scene(view);
        memcpy(chosen, view->show, sizeof chosen);
        source = options->view;
    }
    if (options->show) {
        memcpy(chosen, options->coordinates, sizeof chosen);
        source = options->show;
        option = "--show ";
    }
    __apply_options_scene(options);
    if (source) {
        for (uint8_t c : chosen)
            if (c >= projection.dim) {
                fprintf(stderr, "plexorama: %s%s: coordinate %d is past the surface's %d\n", option, source,
                    c + 1, projection.dim);
                return 2;
            }
        projection.x = chosen[0];
        projection.y = chosen[1];
        projection.z = chosen[2];
        projection.w = chosen[3];
        set_projection_mesh(projection);
    }
    if (options->swap)
        __key_callback_input(window, options->swap, 0, GLFW_PRESS, 0);
    return 0;
}

int save_scene(const char* path)
{
    View view;
    capture_scene(&view);
    if (write_view(path, &view))
        return 0;
    fprintf(stderr, "plexorama: %s: cannot write: %s\n", path, strerror(errno));
    return 1;
}
