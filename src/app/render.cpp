// Rendering: one frame, uploads, the swap animation, clearing and drawing.
#include "app/render.h"
#include "app/render_parts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <cglm/cglm.h>

#include "app/course.h"
#include "app/curve.h"
#include "draw/context.h"
#include "core/cues.h"
#include "draw/band.h"
#include "draw/gizmo.h"
#include "draw/glsl.h"
#include "app/input.h"
#include "draw/legend.h"
#include "draw/load.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
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

// Nothing built yet: stages of the surface's one colour, no program, no object.
Rendering rendering = {};

Every every()
{
    Every e = {};
    for (unsigned int program : {shader, shader_plain, rendering.lines, rendering.points, rendering.band})
        if (program)
            e.list[e.count++] = program;
    return e;
}

// The 4-D turn, zoom, pan and lighting. A frame of R^4, which a tour can
// hold, is a 4-D turn of the coordinates bound: F = turn4 frame, each
// column for the coordinate its attribute reads.
static void __motion_render(unsigned int program)
{
    if (!view.framed || rendering.built.framed || view.frame.dim != 4) {
        motion_load(program, &view);
        return;
    }
    View shown = view;
    mat4 turn4;
    glm_mat4_copy(shown.turn4, turn4);
    const uint8_t* bound = bound_shapes();
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

int forced_path_render = -1;

// How the triangles on show are drawn: through the attributes bound to a
// coordinate choice (also for a frame of R^4, a 4-D turn of one); through
// the view's frame of R^m, by the stage that reads every coordinate from
// attributes where they fit (with smooth light or not), or else by the one
// that fetches them; or, where GL cannot fetch them all, from the stream
// worked out on the CPU. Lines and points are drawn bound, or fetched.
enum Drawn { DRAWN_BOUND, DRAWN_COLUMNS, DRAWN_FETCHED, DRAWN_STREAMED };

static Drawn __drawn_render()
{
    uint8_t dim = dim_shapes();
    if (!view.framed || view.frame.dim != dim || dim == 4)
        return DRAWN_BOUND;
    int forced = forced_path_render;
    if ((forced < 0 || forced == PATH_COLUMNS) && locations_glsl(dim) <= most_columns_glsl)
        return DRAWN_COLUMNS;
    for (int k = 0; k < shape_count; k++)
        if (shapes[k].mesh && (forced == PATH_STREAMED || !texture_mesh(shapes[k].mesh)))
            return DRAWN_STREAMED;
    return DRAWN_FETCHED;
}

// How far the tangent planes of the meshes on show are: those of the first
// mesh that has none yet. Meshes are searched in turn; with wait, each is
// waited for.
static Smoothness __ready_smooth_render(bool wait)
{
    for (int k = 0; k < shape_count; k++) {
        Mesh* mesh = shapes[k].mesh;
        Smoothness state = mesh ? ready_smooth(mesh, wait) : SMOOTH_READY;
        if (state != SMOOTH_READY)
            return state;
    }
    return SMOOTH_READY;
}

// The stages the view asks for. Smooth light draws flat until the tangent
// planes are found, and where they cannot be read: from the stream. A
// picture waits for them, and is drawn smooth unless a search fails.
static Stages __stages_render(Drawn drawn)
{
    bool layered = view.finish.opacity < 1.0f && offers_layers_target() && !rendering.layers_refused;
    bool smooth = view.light == LIGHT_SMOOTH && drawn != DRAWN_STREAMED
        && __ready_smooth_render(false) >= (hidden_window ? SMOOTH_SEARCHING : SMOOTH_READY);
    bool framed = drawn == DRAWN_COLUMNS || drawn == DRAWN_FETCHED;
    uint8_t columns = drawn == DRAWN_COLUMNS ? dim_shapes() : 0;
    return {view.cues.tint, framed, columns, layered, smooth,
        shows_kind_shapes(SHAPE_LINES) || wanted_curve(), shows_kind_shapes(SHAPE_POINTS),
        drawn != DRAWN_BOUND, view.finish.tubes > 0.0f, shows_paint_shapes(),
        view.cues.broken && offers_band()};
}

// What the programs that read through a frame need of it: its m, and
// where its block and the coordinates are.
static void __frame_load_render(int dim)
{
    for (unsigned int program : every()) {
        bool strokes = program == rendering.lines || program == rendering.points || program == rendering.band;
        if (strokes ? rendering.built.fetched : rendering.built.framed)
            frame_load(program, UNIT_COORDS, UNIT_NORMALS, dim);
    }
}

// Colour by w, transparency, a frame of R^m and smooth light take stages of
// their own: the plain stages do without w, since a value passed to every
// fragment costs every frame, and so on. Switching builds both programs
// anew; a program that cannot be made leaves the old ones in place.
// Returns whether the programs are new.
static bool __build_render(Stages stages)
{
    bool tint = stages.tint == TINT_W;
    // Painted, both stages of a program take the colours; broken, the
    // fragment stages cut the band away.
    auto paint = [&](const char* stage, bool vertex) {
        const char* painted = stages.painted ? painted_glsl(stage, vertex) : stage;
        return stages.broken && !vertex ? broken_glsl(painted) : painted;
    };
    unsigned int lit
        = build_program_render(paint(vertex_glsl(stages.smooth, stages.framed, stages.columns), true),
            paint(lit_glsl(tint, stages.layered), false));
    unsigned int plain = lit
        ? build_program_render(
            paint(vertex_glsl(false, stages.framed, stages.columns), true), paint(plain_glsl(tint), false))
        : 0;
    unsigned int band = plain && stages.broken
        ? build_program_render(line_vertex_glsl(stages.fetched), band_fragment_glsl())
        : 0;
    unsigned int lines = plain && stages.lines
        ? build_program_render(line_vertex_glsl(stages.fetched), stroke_fragment_glsl(stages.tubes, tint))
        : 0;
    unsigned int points = plain && stages.points
        ? build_program_render(point_vertex_glsl(stages.fetched), stroke_fragment_glsl(true, tint))
        : 0;
    if (!lit || !plain || (stages.lines && !lines) || (stages.points && !points)
        || (stages.broken && !band)) {
        for (unsigned int program : {lit, plain, lines, points, band})
            destroy_shader(program);
        return false;
    }
    for (unsigned int program : every())
        destroy_shader(program);
    shader = lit;
    shader_plain = plain;
    rendering.lines = lines;
    rendering.points = points;
    rendering.band = band;
    rendering.built = stages;
    if (tint && !rendering.map)
        rendering.map = create_map_load();
    for (unsigned int program : every())
        if (tint)
            load_int_to_shader(program, "map", UNIT_MAP);
    __frame_load_render(0);
    if (stages.smooth)
        load_int_to_shader(shader, "tangents", UNIT_TANGENTS);
    if (stages.painted)
        for (unsigned int program : {shader, shader_plain})
            load_int_to_shader(program, "paint", UNIT_PAINT);
    if (stages.broken)
        for (unsigned int program : {shader, shader_plain})
            load_int_to_shader(program, "band", UNIT_BAND);
    return true;
}

// Points the attributes of the triangles on show where the stages read: at
// every coordinate, at the streams, kept in step with the frame, or at the
// coordinate choice once there is neither.
static void __layout_render(Drawn drawn, bool changed)
{
    const uint8_t* show = shape_count ? bound_shapes() : nullptr;
    for (int k = 0; k < shape_count; k++) {
        Mesh* mesh = shapes[k].mesh;
        if (!mesh)
            continue;
        if (drawn == DRAWN_STREAMED) {
            if (mesh->layout == LAYOUT_COLUMNS)
                bind_mesh(mesh, show);
            if (changed || !mesh->stream_buffer)
                frame_stream(mesh, &view.frame);
            continue;
        }
        if (mesh->stream_buffer)
            drop_stream(mesh);
        if (drawn == DRAWN_COLUMNS && mesh->layout != LAYOUT_COLUMNS)
            bind_columns_mesh(mesh);
        else if (drawn != DRAWN_COLUMNS && mesh->layout != LAYOUT_BOUND)
            bind_mesh(mesh, show);
    }
}

// The frame's columns into the uniform block the programs read them from.
static void __frame_render()
{
    if (!rendering.frame_block) {
        glGenBuffers(1, &rendering.frame_block);
        glBindBuffer(GL_UNIFORM_BUFFER, rendering.frame_block);
        glBufferData(GL_UNIFORM_BUFFER, 16 * max_dim_frame, nullptr, GL_DYNAMIC_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, rendering.frame_block);
    }
    float columns[max_dim_frame][4];
    const Frame& f = view.frame;
    for (int k = 0; k < f.dim; k++)
        for (int i = 0; i < 4; i++)
            columns[k][i] = f.rows[i][k];
    glBindBuffer(GL_UNIFORM_BUFFER, rendering.frame_block);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(sizeof columns[0]) * f.dim, columns);
    __frame_load_render(f.dim);
}

void stop_render()
{
    if (rendering.frame_block)
        glDeleteBuffers(1, &rendering.frame_block);
    rendering.frame_block = 0;
    if (rendering.map)
        glDeleteTextures(1, &rendering.map);
    rendering.map = 0;
    destroy_target();
    destroy_band();
    stop_curve();
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    update_curve();
    Drawn drawn = __drawn_render();
    Stages wanted = __stages_render(drawn);
    bool rebuilt = false;
    if (!(wanted == rendering.built)) {
        rebuilt = __build_render(wanted);
        rendering.built = wanted;
    }
    // A picture's programs are made while the planes are found, which it
    // waits for only now; where a search fails, it is drawn flat.
    if (hidden_window && wanted.smooth && __ready_smooth_render(true) != SMOOTH_READY) {
        wanted = __stages_render(drawn);
        rebuilt = __build_render(wanted) || rebuilt;
        rendering.built = wanted;
    }

    const float* orientation = poll_input(window);
    for (unsigned int program : every())
        rot_matrix_load(program, orientation);
    // Each shape sets its own; with none, the programs still hold the surface's.
    color_load(shader, color);
    color_load(shader_plain, color);
    sizes_passes();

    // Just short of pi / 2: the turn's last frame shows 1.57 and the next
    // shows the exchanged coordinates bound at angle 0.
    bool landed = static_cast<double>(angle) > 1.570795;
    if (landed) {
        animate_index = 0;
        angle = 0.0f;
        for (unsigned int program : every())
            load_float_to_shader(program, "angle", angle);
        carry_motion();
    }
    if (animate_index != 0) {
        float turning = static_cast<float>(animate_index - 1);
        angle = static_cast<float>(angle + 0.01);
        for (unsigned int program : every()) {
            load_float_to_shader(program, "i", turning);
            load_float_to_shader(program, "angle", angle);
        }
    }
    int changes = take_changes_view();
    // A new choice binds once, and a swap's when its turn has ended.
    static bool choice_waits = false;
    choice_waits = choice_waits || (changes & CHANGE_CHOICE) || landed;
    if (choice_waits && animate_index == 0 && shape_count > 0) {
        bind_shapes(view.show);
        choice_waits = false;
    }
    if ((rendering.built.framed || rendering.built.fetched) && (changes & CHANGE_FRAME || rebuilt))
        __frame_render();
    __layout_render(drawn, changes & CHANGE_FRAME);
    measure_reach(changes & CHANGE_FRAME);
    changes |= take_changes_view();
    if (changes & CHANGE_MOTION || (changes & CHANGE_FRAME && !rendering.built.framed) || rebuilt) {
        for (unsigned int program : every())
            __motion_render(program);
        // Smooth stages light with the normal they pass on.
        if (rendering.built.smooth)
            load_float_to_shader(shader, "light", 0.0f);
    }
    if ((changes & CHANGE_CUES) || rebuilt) {
        for (unsigned int program : every()) {
            cues_load(program, &view);
            if (view.cues.tint == TINT_W)
                tint_load(program);
        }
        set_clip_context(view.cues.eye4, view.cues.slice);
        set_ranges_mesh(view.cues.tint == TINT_W || view.cues.eye4 || view.cues.slice);
    }
    if (changes & CHANGE_COLORS)
        recolor_shapes();
    if ((changes & CHANGE_FINISH) || rebuilt) {
        if (rendering.built.layered)
            load_float_to_shader(shader, "opacity", view.finish.opacity);
        const Finish& f = view.finish;
        if (f.aa <= 1 && f.opacity >= 1.0f && f.stereo == STEREO_OFF)
            destroy_target();
    }

    const Finish& f = view.finish;
    clear_text();
    if (f.aa > 1 || f.opacity < 1.0f || f.stereo != STEREO_OFF) {
        finish_passes(orientation);
    } else {
        clean_context();
        draw_passes(orientation);
    }
    draw_panel();
    advance_spin_input();
    advance_tour_course();
}
