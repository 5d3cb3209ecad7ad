// The view: the one record of what decides the picture, and what changed.
#include "core/view.h"

#include <cstring>

#include <cglm/cglm.h>

const View initial_view = {
    GLM_MAT4_IDENTITY_INIT,
    1.0f,
    {0.0f, 0.0f},
    LIGHT_FILE,
    {SPIN_NONE, 0.0f, 0.0f, 0, 0, 0.0f},
    {TINT_FIXED, false, 0.0f, 0.0f, false, 0.0f, false, true, 0.0f, false, false},
    {1, 1.0f, STEREO_OFF, 0.25f, 2.0f, 4.0f, 0.0f, {}, 0},
    0.0f,
    {0, 1, 2, 3},
    false,
    {},
    {TOUR_NONE, false, 0, default_speed_tour, 0},
    0.0f,
    {0.0f, 0.0f, 0.0f, 1.0f},
    {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
    {0, 1, 2, 3},
    0,
};


static View state = initial_view;
const View& view = state;

static int changes = 0;

void set_view(const View* next)
{
    // Field by field: the padding of the records holds nothing to compare.
    const View& now = state;
    if (memcmp(now.turn4, next->turn4, sizeof now.turn4) != 0 || now.zoom != next->zoom
        || memcmp(now.pan, next->pan, sizeof now.pan) != 0 || now.light != next->light
        || memcmp(now.q, next->q, sizeof now.q) != 0 || memcmp(now.axis, next->axis, sizeof now.axis) != 0)
        changes |= CHANGE_MOTION;
    const Cues &a = now.cues, &b = next->cues;
    if (a.tint != b.tint || a.slice != b.slice || a.slice_at != b.slice_at || a.slice_width != b.slice_width
        || a.eye4 != b.eye4 || a.eye4_at != b.eye4_at || a.gizmo != b.gizmo || a.wire != b.wire
        || a.tint_scale != b.tint_scale || a.curve != b.curve || a.broken != b.broken || now.reach != next->reach || now.reach_w != next->reach_w)
        changes |= CHANGE_CUES;
    const Finish &f = now.finish, &g = next->finish;
    if (f.aa != g.aa || f.opacity != g.opacity || f.stereo != g.stereo || f.eyes != g.eyes
        || f.line_width != g.line_width || f.point_size != g.point_size || f.tubes != g.tubes)
        changes |= CHANGE_FINISH;
    if (f.color_count != g.color_count || memcmp(f.colors, g.colors, sizeof f.colors) != 0)
        changes |= CHANGE_COLORS;
    if (now.framed != next->framed
        || (next->framed && memcmp(&now.frame, &next->frame, sizeof now.frame) != 0))
        changes |= CHANGE_FRAME;
    if (memcmp(now.show, next->show, sizeof now.show) != 0 || now.dim != next->dim)
        changes |= CHANGE_CHOICE;

    if (next != &state)
        state = *next;
}

// Gram-Schmidt on the rows: each turn is exact only to float rounding,
// and thousands of them would shear and scale the picture.
static void __orthonormalise_view()
{
    mat4 rows;
    glm_mat4_transpose_to(state.turn4, rows);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < i; j++) {
            vec4 part;
            glm_vec4_scale(rows[j], glm_vec4_dot(rows[i], rows[j]), part);
            glm_vec4_sub(rows[i], part, rows[i]);
        }
        glm_vec4_normalize(rows[i]);
    }
    glm_mat4_transpose_to(rows, state.turn4);
}

int take_changes_view()
{
    int taken = changes;
    if (taken & CHANGE_MOTION)
        __orthonormalise_view();
    changes = 0;
    return taken;
}
