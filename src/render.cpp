// Rendering: one frame, uploads, the swap animation, clearing and drawing.
#include "render.h"

#include <initializer_list>

#include "context.h"
#include "cues.h"
#include "gizmo.h"
#include "glsl.h"
#include "input.h"
#include "legend.h"
#include "load.h"
#include "mesh.h"
#include "motion.h"
#include "panel.h"
#include "platform.h"
#include "shader.h"
#include "smooth.h"
#include "target.h"
#include "view.h"
#include "window.h"

unsigned int shader = 0;
unsigned int shader_plain = 0;

unsigned int build_program_render(const char* fragment, const char* vertex)
{
    unsigned int program = create_shader();
    if (!program)
        return 0;
    load_program_to_shader(program, vertex, 0);
    load_program_to_shader(program, fragment, 1);
    fix_matrix_load(program, 1.0f);
    motion_load(program, &view);
    return program;
}

namespace {

// What the programs' stages are made for.
struct Stages {
    Tint tint;
    bool layered; // the lit program draws a transparent surface's layers
    bool smooth;  // the lit program takes the tangent planes
    bool operator==(const Stages&) const = default;
};

// The stages the programs were built for.
Stages built = {TINT_FIXED, false, false};

// The map's texture, made when first coloured by w.
unsigned int map = 0;
// Set once the layers could not be made: transparency blends plainly then.
bool layers_refused = false;

} // namespace

// The stages the view asks for. Smooth light draws flat until the tangent
// planes are found, which a picture waits for.
static Stages __stages_render()
{
    bool layered = view.finish.opacity < 1.0f && offers_layers_target() && !layers_refused;
    bool smooth = view.light == LIGHT_SMOOTH && ready_smooth(hidden_window);
    return {view.cues.tint, layered, smooth};
}

// Colour by w and transparency take stages of their own: the plain stages
// do without w, since a value passed to every fragment costs every frame,
// and draw one picture. Switching builds both programs anew; a program that
// cannot be made leaves the old ones in place. Returns whether the programs
// are new.
static bool __stages_changed_render(Stages stages)
{
    bool tint = stages.tint == TINT_W;
    unsigned int lit = build_program_render(lit_glsl(tint, stages.layered), vertex_glsl(stages.smooth));
    unsigned int plain = lit ? build_program_render(plain_glsl(tint), vs) : 0;
    if (!lit || !plain) {
        destroy_shader(lit);
        return false;
    }
    destroy_shader(shader);
    destroy_shader(shader_plain);
    shader = lit;
    shader_plain = plain;
    if (tint && !map)
        map = create_map_load();
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

// The gizmo and the legend, over the frame in the viewport.
static void __overlays_render(const float* orientation)
{
    const Cues& c = view.cues;
    bool centre = c.slice && moves_slice_input();
    if (!c.gizmo && c.tint != TINT_W && !centre)
        return;
    // The overlays write no clip distances.
    bool clipped = c.eye4 || c.slice;
    if (clipped)
        set_clip_context(false, false);
    if (c.gizmo)
        draw_gizmo(orientation, view.turn4[0]);
    if (c.tint == TINT_W || centre)
        draw_legend(c.tint == TINT_W, tint_scale_cues(), centre, c.slice_at);
    if (clipped)
        set_clip_context(c.eye4, c.slice);
}

// The filled surface, seen through where it is not opaque, and its
// wireframe over it. Transparent, the wireframe goes first, so that the
// surface is laid over the lines behind it and not over those in front.
static void __surface_render(bool own)
{
    const Mesh* mesh = projection.mesh;
    if (view.cues.tint == TINT_W)
        glBindTexture(GL_TEXTURE_2D, map);
    float opacity = view.finish.opacity;
    if (opacity >= 1.0f) {
        draw_mesh(shader, mesh);
        if (view.cues.wire)
            draw_mesh_lines(shader_plain, mesh);
        return;
    }
    if (view.cues.wire)
        draw_mesh_lines(shader_plain, mesh);
    if (built.layered) {
        if (own && begin_layers_target()) {
            draw_mesh(shader, mesh);
            end_layers_target();
        } else {
            layers_refused = true;
        }
        return;
    }
    // Where the GL has no colour buffers of floats: blended in the order drawn.
    float colour[4] = {color[0] / 255.0f, color[1] / 255.0f, color[2] / 255.0f, opacity};
    load_float4_to_shader(shader, "color", colour);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    glDepthMask(GL_FALSE);
    draw_mesh(shader, mesh);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

// Puts eye 0 (the left) or 1 on show: its camera, and its colours or its
// half of the drawing area, whole.
static void __eye_render(int eye, const int* whole)
{
    const Finish& f = view.finish;
    float moved = (eye ? 0.5f : -0.5f) * f.eyes;
    for (unsigned int program : {shader, shader_plain})
        fix_eye_matrix_load(program, 1.0f, moved);
    if (f.stereo == STEREO_ANAGLYPH) {
        // Red for the left eye, cyan for the right, each over all it sees.
        glColorMask(eye == 0, eye == 1, eye == 1, GL_TRUE);
        if (eye == 1)
            glClear(GL_DEPTH_BUFFER_BIT);
    } else {
        // Each eye's picture keeps the square's shape, in its half.
        glViewport(whole[0] + eye * (whole[2] / 2), whole[1] + whole[3] / 4, whole[2] / 2, whole[3] / 2);
    }
}

// A frame of anti-aliasing, transparency or stereo.
static void __finished_render(const float* orientation)
{
    const Finish& f = view.finish;
    bool own = begin_target(f.aa, built.layered);
    int whole[4];
    glGetIntegerv(GL_VIEWPORT, whole);
    int eyes = f.stereo == STEREO_OFF ? 1 : 2;
    for (int eye = 0; eye < eyes; eye++) {
        if (eyes == 2)
            __eye_render(eye, whole);
        if (projection.mesh)
            __surface_render(own);
        __overlays_render(orientation);
    }
    if (eyes == 2) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glViewport(whole[0], whole[1], whole[2], whole[3]);
        for (unsigned int program : {shader, shader_plain})
            fix_matrix_load(program, 1.0f);
    }
    end_target();
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    bool rebuilt = false;
    Stages wanted = __stages_render();
    if (!(wanted == built)) {
        rebuilt = __stages_changed_render(wanted);
        built = wanted;
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
    if ((changes & CHANGE_MOTION) || rebuilt) {
        for (unsigned int program : {shader, shader_plain})
            motion_load(program, &view);
        // Smooth stages light with the normal they pass on.
        if (built.smooth)
            load_float_to_shader(shader, "light", 0.0f);
    }
    if ((changes & CHANGE_CUES) || rebuilt) {
        for (unsigned int program : {shader, shader_plain}) {
            cues_load(program, &view);
            if (view.cues.tint == TINT_W)
                tint_load(program);
        }
        set_clip_context(view.cues.eye4, view.cues.slice);
    }
    if ((changes & CHANGE_FINISH) || rebuilt) {
        if (built.layered)
            load_float_to_shader(shader, "opacity", view.finish.opacity);
        const Finish& f = view.finish;
        if (f.aa <= 1 && f.opacity >= 1.0f && f.stereo == STEREO_OFF)
            destroy_target();
    }
    const Finish& f = view.finish;
    if (f.aa > 1 || f.opacity < 1.0f || f.stereo != STEREO_OFF) {
        __finished_render(orientation);
    } else {
        clean_context();
        if (projection.mesh)
            __surface_render(false);
        __overlays_render(orientation);
    }
    draw_panel();
    advance_spin_input();
}

void destroy_render()
{
    if (map)
        glDeleteTextures(1, &map);
    map = 0;
    destroy_target();
}
