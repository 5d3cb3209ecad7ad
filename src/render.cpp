// Rendering: one frame, uploads, the swap animation, clearing and drawing.
#include "render.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <cglm/cglm.h>

#include "context.h"
#include "gizmo.h"
#include "glsl.h"
#include "input.h"
#include "load.h"
#include "mesh.h"
#include "motion.h"
#include "panel.h"
#include "platform.h"
#include "shader.h"
#include "stream.h"
#include "view.h"
#include "window.h"

unsigned int shader = 0;
unsigned int shader_plain = 0;

// The programs in use: their colouring, and whether they read the surface
// through a frame of R^m.
static Tint built_tint = TINT_FIXED;
static bool built_framed = false;
// The frame's columns, for the programs that read through one.
static unsigned int frame_block = 0;

// The 4-D turn, zoom, pan and lighting. A frame of R^4, which a tour can
// hold, is a 4-D turn of the coordinates bound: F = turn4 frame, each
// column for the coordinate its attribute reads.
static void __motion_render(unsigned int program)
{
    if (!view.framed || built_framed || view.frame.dim != 4) {
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

// Colour by w takes fragment stages of its own, which look the map up from
// w at every fragment: the plain stages do without w, since a value passed
// to every fragment costs every frame. A frame of R^m takes a vertex stage
// of its own, for the same reason. Switching builds both programs anew; a
// program that cannot be made leaves the old ones in place. Returns whether
// the programs are new.
static bool __build_render(Tint tint, bool framed)
{
    const char* vertex = framed ? vs_frame : vs;
    unsigned int lit = build_program_render(vertex, tint == TINT_W ? fs_tint : fs);
    unsigned int plain = lit ? build_program_render(vertex, tint == TINT_W ? fs_plain_tint : fs_plain) : 0;
    if (!lit || !plain) {
        destroy_shader(lit);
        return false;
    }
    destroy_shader(shader);
    destroy_shader(shader_plain);
    shader = lit;
    shader_plain = plain;
    for (unsigned int program : {shader, shader_plain}) {
        if (tint == TINT_W)
            ramp_load(program);
        if (framed)
            frame_load(program, 0, 1, 0);
    }
    return true;
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

// The largest length of the shown (x, y, z, w) over the surface.
static float __reach_render()
{
    const Mesh* mesh = projection.mesh;
    if (!mesh)
        return 0.0f;
    if (!view.framed || view.frame.dim != mesh->dim)
        return reach_mesh(mesh, projection);
    float* part
        = mesh->memory ? nullptr : static_cast<float*>(malloc(chunk_mesh * mesh->dim * sizeof(float)));
    if (!mesh->memory && !part)
        return 0.0f;
    float largest = 0.0f;
    for (uint64_t first = 0; first < mesh->vertex_count; first += chunk_mesh) {
        uint64_t count = std::min<uint64_t>(chunk_mesh, mesh->vertex_count - first);
        largest = std::max(largest, reach_frame(&view.frame, read_mesh(mesh, 0, first, count, part), count));
    }
    free(part);
    return largest;
}

// s is measured again whenever the surface, its shown coordinates or its
// frame change while a cue needs it, and never else: it reads the whole
// surface. While a tour runs it is held, so that colours keep their meaning.
static void __measure_render(bool frame_changed)
{
    static uint32_t measured_serial = 0;
    static uint8_t measured[4] = {};
    const Projection& p = projection;
    const Cues& c = view.cues;
    const uint8_t shown[4] = {p.x, p.y, p.z, p.w};
    uint32_t serial = p.mesh ? p.mesh->serial : 0;
    bool same = serial == measured_serial && memcmp(shown, measured, sizeof shown) == 0
        && !(frame_changed && !view.tour.running);
    if (!(c.tint == TINT_W || c.slice || c.eye4) || same)
        return;
    View next = view;
    next.reach = __reach_render();
    set_view(&next);
    measured_serial = serial;
    memcpy(measured, shown, sizeof measured);
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
        frame_load(program, 0, 1, f.dim);
}

// The textures a frame's programs fetch every coordinate from.
static void __textures_render(const Mesh* mesh)
{
    GLenum target = has_buffer_textures_platform ? GL_TEXTURE_BUFFER : GL_TEXTURE_2D;
    for (int k = 1; k >= 0; k--) {
        glActiveTexture(GL_TEXTURE0 + k);
        glBindTexture(target, mesh->textures[k]);
    }
}

void stop_render()
{
    if (frame_block)
        glDeleteBuffers(1, &frame_block);
    frame_block = 0;
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    Drawn drawn = __drawn_render();
    bool framed = drawn == DRAWN_FETCHED, rebuilt = false;
    if (view.cues.tint != built_tint || framed != built_framed) {
        rebuilt = __build_render(view.cues.tint, framed);
        built_tint = view.cues.tint;
        built_framed = framed;
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
    if (built_framed && (changes & CHANGE_FRAME || rebuilt))
        __frame_render();
    __stream_render(drawn, changes & CHANGE_FRAME);
    __measure_render(changes & CHANGE_FRAME);
    changes |= take_changes_view();
    if (changes & CHANGE_MOTION || (changes & CHANGE_FRAME && !built_framed))
        for (unsigned int program : {shader, shader_plain})
            __motion_render(program);
    if ((changes & CHANGE_CUES) || rebuilt) {
        for (unsigned int program : {shader, shader_plain})
            cues_load(program, &view);
        set_clip_context(view.cues.eye4, view.cues.slice);
    }

    clean_context();

    if (projection.mesh) {
        if (built_framed)
            __textures_render(projection.mesh);
        draw_mesh(shader, projection.mesh);
        if (view.cues.wire)
            draw_mesh_lines(shader_plain, projection.mesh);
    }
    if (view.cues.gizmo)
        draw_gizmo(orientation, view.turn4[0]);
    draw_panel();
    advance_spin_input();
    advance_tour_motion();
}
