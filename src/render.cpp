// Rendering: one frame, uploads, the swap animation, clearing and drawing.
#include "render.h"

#include <initializer_list>

#include "context.h"
#include "gizmo.h"
#include "glsl.h"
#include "input.h"
#include "load.h"
#include "mesh.h"
#include "motion.h"
#include "panel.h"
#include "shader.h"
#include "view.h"
#include "window.h"

unsigned int shader = 0;
unsigned int shader_plain = 0;

unsigned int build_program_render(const char* fragment)
{
    unsigned int program = create_shader();
    if (!program)
        return 0;
    load_program_to_shader(program, vs, 0);
    load_program_to_shader(program, fragment, 1);
    fix_matrix_load(program, 1.0f);
    motion_load(program, &view);
    return program;
}

// Colour by w takes fragment stages of its own, which look the map up from
// w at every fragment: the plain stages do without w, since a value passed
// to every fragment costs every frame. Switching builds both programs anew;
// a program that cannot be made leaves the old ones in place. Returns
// whether the programs are new.
static bool __tint_render(Tint tint)
{
    unsigned int lit = build_program_render(tint == TINT_W ? fs_tint : fs);
    unsigned int plain = lit ? build_program_render(tint == TINT_W ? fs_plain_tint : fs_plain) : 0;
    if (!lit || !plain) {
        destroy_shader(lit);
        return false;
    }
    destroy_shader(shader);
    destroy_shader(shader_plain);
    shader = lit;
    shader_plain = plain;
    if (tint == TINT_W)
        for (unsigned int program : {shader, shader_plain})
            ramp_load(program);
    return true;
}

// s is measured again whenever the surface or its shown coordinates change
// while a cue needs it, and never else: it reads the whole surface.
static void __measure_render()
{
    static uint32_t measured_serial = 0;
    static uint8_t measured[4] = {};
    const Projection& p = projection;
    const Cues& c = view.cues;
    const uint8_t shown[4] = {p.x, p.y, p.z, p.w};
    uint32_t serial = p.mesh ? p.mesh->serial : 0;
    if (!(c.tint == TINT_W || c.slice || c.eye4)
        || (serial == measured_serial && shown[0] == measured[0] && shown[1] == measured[1]
            && shown[2] == measured[2] && shown[3] == measured[3]))
        return;
    View next = view;
    next.reach = p.mesh ? reach_mesh(p.mesh, p) : 0.0f;
    set_view(&next);
    measured_serial = serial;
    for (int k = 0; k < 4; k++)
        measured[k] = shown[k];
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    // The colouring the programs were built for.
    static Tint built = TINT_FIXED;
    bool rebuilt = false;
    if (view.cues.tint != built) {
        rebuilt = __tint_render(view.cues.tint);
        built = view.cues.tint;
    }

    float* orientation = poll_input(window);
    rot_matrix_load(shader, orientation);
    rot_matrix_load(shader_plain, orientation);
    color_load(shader, color);
    color_load(shader_plain, color);

    // Just short of pi / 2: the turn's last frame shows 1.57 and the next
    // shows the exchanged coordinates bound at angle 0.
    if (static_cast<double>(angle) > 1.570795) {
        animate_index = 0;
        angle = 0.0f;
        load_float_to_shader(shader, "angle", angle);
        load_float_to_shader(shader_plain, "angle", angle);
        carry_motion();
        if (projection.mesh)
            set_projection_mesh(projection);
    }
    if (animate_index != 0) {
        float turning = static_cast<float>(animate_index - 1);
        load_float_to_shader(shader, "i", turning);
        load_float_to_shader(shader_plain, "i", turning);
        angle = static_cast<float>(angle + 0.01);
        load_float_to_shader(shader, "angle", angle);
        load_float_to_shader(shader_plain, "angle", angle);
    }
    __measure_render();
    int changes = take_changes_view();
    if (changes & CHANGE_MOTION)
        for (unsigned int program : {shader, shader_plain})
            motion_load(program, &view);
    if ((changes & CHANGE_CUES) || rebuilt) {
        for (unsigned int program : {shader, shader_plain})
            cues_load(program, &view);
        set_clip_context(view.cues.eye4, view.cues.slice);
    }

    clean_context();

    if (projection.mesh) {
        draw_mesh(shader, projection.mesh);
        if (view.cues.wire)
            draw_mesh_lines(shader_plain, projection.mesh);
    }
    if (view.cues.gizmo)
        draw_gizmo(orientation, view.turn4[0]);
    draw_panel();
    advance_spin_input();
}
