// Rendering: one frame, uploads, the swap animation, clearing and drawing.
#include "app/render.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <cglm/cglm.h>

#include "draw/context.h"
#include "core/cues.h"
#include "draw/gizmo.h"
#include "draw/glsl.h"
#include "app/input.h"
#include "draw/legend.h"
#include "draw/load.h"
#include "draw/mesh.h"
#include "core/motion.h"
#include "app/panel.h"
#include "app/reach.h"
#include "draw/platform.h"
#include "draw/shader.h"
#include "draw/smooth.h"
#include "draw/stream.h"
#include "draw/target.h"
#include "draw/text.h"
#include "core/view.h"
#include "app/window.h"

unsigned int shader = 0;
unsigned int shader_plain = 0;

namespace {

// What the programs' stages are made for.
struct Stages {
    Tint tint;
    bool framed;  // they read the surface through a frame of R^m
    bool layered; // the lit program draws a transparent surface's layers
    bool smooth;  // the lit program takes the tangent planes
    bool operator==(const Stages&) const = default;
};

// The programs in use.
Stages built = {TINT_FIXED, false, false, false};
// The frame's columns, for the programs that read through one.
unsigned int frame_block = 0;
// The map's texture, made when first coloured by w.
unsigned int map = 0;
// Set once the layers could not be made: transparency blends plainly then.
bool layers_refused = false;

// The texture units: a frame's coordinates, normals and tangent planes, the
// map; the layers of transparency take 4 and 5.
enum Unit { UNIT_COORDS, UNIT_NORMALS, UNIT_TANGENTS, UNIT_MAP };

} // namespace

// The 4-D turn, zoom, pan and lighting. A frame of R^4, which a tour can
// hold, is a 4-D turn of the coordinates bound: F = turn4 frame, each
// column for the coordinate its attribute reads.
static void __motion_render(unsigned int program)
{
    if (!view.framed || built.framed || view.frame.dim != 4) {
        motion_load(program, &view);
        return;
    }
    View shown = view;
    mat4 turn4;
    glm_mat4_copy(shown.turn4, turn4);
    const uint8_t bound[4] = {projection.x, projection.y, projection.z, projection.w};
    mat4 frame = GLM_MAT4_ZERO_INIT;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            frame[j][i] = view.frame.rows[i][bound[j]];
    glm_mat4_mul(turn4, frame, shown.turn4);
    motion_load(program, &shown);
}

unsigned int build_program_render(const char* vertex, const char* fragment)
{
    unsigned int program = create_shader();
    if (!program)
        return 0;
    load_program_to_shader(program, vertex, 0);
    load_program_to_shader(program, fragment, 1);
    fix_matrix_load(program, 1.0f);
    __motion_render(program);
    return program;
}

// How the surface on show is drawn: through the attributes bound to a
// coordinate choice (also for a frame of R^4, a 4-D turn of one), through
// the view's frame of R^m by the stage that fetches every coordinate, or,
// where GL cannot fetch them all, from the stream worked out on the CPU.
enum Drawn { DRAWN_BOUND, DRAWN_FETCHED, DRAWN_STREAMED };

static Drawn __drawn_render()
{
    Mesh* mesh = projection.mesh;
    if (!view.framed || !mesh || mesh->dim != view.frame.dim || mesh->dim == 4)
        return DRAWN_BOUND;
    return texture_mesh(mesh) ? DRAWN_FETCHED : DRAWN_STREAMED;
}

// The stages the view asks for. Smooth light draws flat until the tangent
// planes are found, which a picture waits for, and where they cannot be
// read: from the stream, or fetched where GL has no buffer textures.
static Stages __stages_render(Drawn drawn)
{
    bool framed = drawn == DRAWN_FETCHED;
    bool layered = view.finish.opacity < 1.0f && offers_layers_target() && !layers_refused;
    bool smooth = view.light == LIGHT_SMOOTH && drawn != DRAWN_STREAMED
        && (!framed || has_buffer_textures_platform) && ready_smooth(hidden_window)
        && (!framed || texture_smooth());
    return {view.cues.tint, framed, layered, smooth};
}

// Colour by w, transparency, a frame of R^m and smooth light take stages of
// their own: the plain stages do without w, since a value passed to every
// fragment costs every frame, and so on. Switching builds both programs
// anew; a program that cannot be made leaves the old ones in place.
// Returns whether the programs are new.
static bool __build_render(Stages stages)
{
    bool tint = stages.tint == TINT_W;
    unsigned int lit
        = build_program_render(vertex_glsl(stages.smooth, stages.framed), lit_glsl(tint, stages.layered));
    unsigned int plain = lit ? build_program_render(vertex_glsl(false, stages.framed), plain_glsl(tint)) : 0;
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
    for (unsigned int program : {shader, shader_plain}) {
        if (tint)
            load_int_to_shader(program, "map", UNIT_MAP);
        if (stages.framed)
            frame_load(program, UNIT_COORDS, UNIT_NORMALS, 0);
    }
    if (stages.smooth && stages.framed)
        load_int_to_shader(shader, "tangents", UNIT_TANGENTS);
    return true;
}

// Keeps the stream of the surface on show in step with the frame, or binds
// the coordinate choice again once there is no stream to draw.
static void __stream_render(Drawn drawn, bool changed)
{
    static uint32_t streamed = 0;
    Mesh* mesh = projection.mesh;
    uint32_t serial = mesh ? mesh->serial : 0;
    if (drawn == DRAWN_STREAMED && (changed || streamed != serial)) {
        streamed = frame_stream(mesh, &view.frame) ? serial : 0;
    } else if (drawn != DRAWN_STREAMED && streamed) {
        if (streamed == serial) {
            drop_stream(mesh);
            set_projection_mesh(projection);
        }
        streamed = 0;
    }
}

// The frame's columns into the uniform block the programs read them from.
static void __frame_render()
{
    if (!frame_block) {
        glGenBuffers(1, &frame_block);
        glBindBuffer(GL_UNIFORM_BUFFER, frame_block);
        glBufferData(GL_UNIFORM_BUFFER, 16 * max_dim_frame, nullptr, GL_DYNAMIC_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, frame_block);
    }
    float columns[max_dim_frame][4];
    const Frame& f = view.frame;
    for (int k = 0; k < f.dim; k++)
        for (int i = 0; i < 4; i++)
            columns[k][i] = f.rows[i][k];
    glBindBuffer(GL_UNIFORM_BUFFER, frame_block);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(sizeof columns[0]) * f.dim, columns);
    for (unsigned int program : {shader, shader_plain})
        frame_load(program, UNIT_COORDS, UNIT_NORMALS, f.dim);
}

// The textures the programs read: a frame's from every coordinate, and the
// map's; bound before each draw, since the layers take units of their own.
static void __textures_render(const Mesh* mesh)
{
    if (built.framed) {
        GLenum target = has_buffer_textures_platform ? GL_TEXTURE_BUFFER : GL_TEXTURE_2D;
        const unsigned int textures[3] = {mesh->textures[0], mesh->textures[1], mesh->tangent_texture};
        for (int k = built.smooth ? 2 : 1; k >= 0; k--) {
            glActiveTexture(GL_TEXTURE0 + k);
            glBindTexture(target, textures[k]);
        }
    }
    if (built.tint == TINT_W) {
        glActiveTexture(GL_TEXTURE0 + UNIT_MAP);
        glBindTexture(GL_TEXTURE_2D, map);
        glActiveTexture(GL_TEXTURE0);
    }
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
        draw_gizmo(orientation);
    if (c.tint == TINT_W || centre)
        draw_legend(c.tint == TINT_W, tint_scale_cues(), centre, c.slice_at);
    if (clipped)
        set_clip_context(c.eye4, c.slice);
}

// The wireframe over the laid layers of a transparent surface. The
// surface's depth goes in first, none of its colour; a red-cyan eye masks
// colours of its own.
static void __lines_again_render(const Mesh* mesh, float opacity)
{
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    draw_mesh(shader, mesh);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    draw_mesh_lines(shader_plain, mesh);
    // Every line through the surface: those in front are drawn in their
    // colour already. Untested against depth, and all of one colour, they
    // blend alike in any order, as the picture must.
    glDepthFunc(GL_ALWAYS);
    glEnable(GL_BLEND);
    glBlendColor(0.0f, 0.0f, 0.0f, 1.0f - opacity);
    glBlendFuncSeparate(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA, GL_ZERO, GL_ONE);
    draw_mesh_lines(shader_plain, mesh);
    glDisable(GL_BLEND);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
}

// The filled surface, seen through where it is not opaque, and its
// wireframe over it. Transparent, the wireframe goes first, so that the
// surface is laid over the lines behind it and not over those in front.
static void __surface_render(bool own)
{
    const Mesh* mesh = projection.mesh;
    if (built.framed || built.tint == TINT_W)
        __textures_render(mesh);
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
            // The layers are laid over whole pixels, and of several samples
            // a line covers only some: the surface's share in the rest
            // would dim the lines to dashes. They are drawn again: whole
            // where no part of the surface lies before them, and seen
            // through it, as its opacity lets them, where one does.
            // Lines coloured by w would blend and overlap unlike in
            // another order of the triangles, and are left as they were.
            if (view.cues.wire && view.finish.aa > 1 && built.tint != TINT_W)
                __lines_again_render(mesh, opacity);
        } else {
            layers_refused = true;
        }
        return;
    }
    // Where the GL has no colour buffers of floats: blended in the order
    // drawn, the picture's alpha left at 1.
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

void stop_render()
{
    if (frame_block)
        glDeleteBuffers(1, &frame_block);
    frame_block = 0;
    if (map)
        glDeleteTextures(1, &map);
    map = 0;
    destroy_target();
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    Drawn drawn = __drawn_render();
    Stages wanted = __stages_render(drawn);
    bool rebuilt = false;
    if (!(wanted == built)) {
        rebuilt = __build_render(wanted);
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
    int changes = take_changes_view();
    if (built.framed && (changes & CHANGE_FRAME || rebuilt))
        __frame_render();
    __stream_render(drawn, changes & CHANGE_FRAME);
    measure_reach(changes & CHANGE_FRAME);
    changes |= take_changes_view();
    if (changes & CHANGE_MOTION || (changes & CHANGE_FRAME && !built.framed) || rebuilt) {
        for (unsigned int program : {shader, shader_plain})
            __motion_render(program);
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
    clear_text();
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
    advance_tour_motion();
}
