// Rendering: one frame, uploads, the swap animation, clearing and drawing.
#include "app/render.h"

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

namespace {

// What the programs' stages are made for.
struct Stages {
    Tint tint;
    bool framed;     // they read the surface through a frame of R^m
    uint8_t columns; // its m, where they read every coordinate from attributes; else 0
    bool layered;    // the lit program draws a transparent surface's layers
    bool smooth;     // the lit program takes the tangent planes
    bool lines;      // lines are on show, and need a program of their own
    bool points;     // and points
    bool fetched;    // lines and points fetch their coordinates through a frame of R^m
    bool tubes;      // lines are lit as tubes
    bool painted;    // some triangles have a colour a vertex
    bool broken;     // the surface is cut along the band of the double curve
    bool operator==(const Stages&) const = default;
};

// The programs in use.
Stages built = {TINT_FIXED, false, 0, false, false, false, false, false, false, false, false};
unsigned int shader_lines = 0;
unsigned int shader_points = 0;
// Draws the band that cuts the surface; 0 while the surface is whole.
unsigned int shader_band = 0;
// The frame's columns, for the programs that read through one.
unsigned int frame_block = 0;
// The map's texture, made when first coloured by w.
unsigned int map = 0;
// Set once the layers could not be made: transparency blends plainly then.
bool layers_refused = false;

// Every program there is, for the uniforms they all take.
struct Every {
    unsigned int list[5];
    int count;
    const unsigned int* begin() const { return list; }
    const unsigned int* end() const { return list + count; }
};

Every every()
{
    Every e = {};
    for (unsigned int program : {shader, shader_plain, shader_lines, shader_points, shader_band})
        if (program)
            e.list[e.count++] = program;
    return e;
}

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

static Drawn __drawn_render(bool smooth)
{
    uint8_t dim = dim_shapes();
    if (!view.framed || view.frame.dim != dim || dim == 4)
        return DRAWN_BOUND;
    int forced = forced_path_render;
    if ((forced < 0 || forced == PATH_COLUMNS) && locations_glsl(dim, smooth) <= most_columns_glsl)
        return DRAWN_COLUMNS;
    for (int k = 0; k < shape_count; k++)
        if (shapes[k].mesh && (forced == PATH_STREAMED || !texture_mesh(shapes[k].mesh)))
            return DRAWN_STREAMED;
    return DRAWN_FETCHED;
}

// The stages the view asks for. Smooth light draws flat until the tangent
// planes are found, which a picture waits for, and where they cannot be
// read: from the stream, or fetched where GL has no buffer textures.
// Whether every mesh on show has its tangent planes, and the textures over
// them a frame needs. Meshes are searched in turn, a picture waiting for
// each.
static bool __ready_smooth_render(bool framed)
{
    for (int k = 0; k < shape_count; k++) {
        Mesh* mesh = shapes[k].mesh;
        if (mesh && (!ready_smooth(mesh, hidden_window) || (framed && !texture_smooth(mesh))))
            return false;
    }
    return true;
}

// Where the planes take more attributes than there are, the triangles are
// fetched with them, or else drawn flat from attributes. Sets *drawn to how
// the stages draw.
static Stages __stages_render(Drawn* drawn)
{
    bool layered = view.finish.opacity < 1.0f && offers_layers_target() && !layers_refused;
    Drawn lit = *drawn == DRAWN_COLUMNS && view.light == LIGHT_SMOOTH ? __drawn_render(true) : *drawn;
    bool smooth = view.light == LIGHT_SMOOTH && lit != DRAWN_STREAMED
        && (lit != DRAWN_FETCHED || has_buffer_textures_platform)
        && __ready_smooth_render(lit == DRAWN_FETCHED);
    *drawn = smooth ? lit : *drawn;
    bool framed = *drawn == DRAWN_COLUMNS || *drawn == DRAWN_FETCHED;
    uint8_t columns = *drawn == DRAWN_COLUMNS ? dim_shapes() : 0;
    return {view.cues.tint, framed, columns, layered, smooth,
        shows_kind_shapes(SHAPE_LINES) || wanted_curve(), shows_kind_shapes(SHAPE_POINTS),
        *drawn != DRAWN_BOUND, view.finish.tubes > 0.0f, shows_paint_shapes(),
        view.cues.broken && offers_band()};
}

// What the programs that read through a frame need of it: its m, and
// where its block and the coordinates are.
static void __frame_load_render(int dim)
{
    for (unsigned int program : every()) {
        bool strokes = program == shader_lines || program == shader_points || program == shader_band;
        if (strokes ? built.fetched : built.framed)
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
    shader_lines = lines;
    shader_points = points;
    shader_band = band;
    built = stages;
    if (tint && !map)
        map = create_map_load();
    for (unsigned int program : every())
        if (tint)
            load_int_to_shader(program, "map", UNIT_MAP);
    __frame_load_render(0);
    if (stages.smooth && stages.framed && !stages.columns)
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
    __frame_load_render(f.dim);
}

// The map's texture, bound before each frame's shapes, since the layers
// take units of their own.
static void __map_render()
{
    if (built.tint != TINT_W)
        return;
    glActiveTexture(GL_TEXTURE0 + UNIT_MAP);
    glBindTexture(GL_TEXTURE_2D, map);
    glActiveTexture(GL_TEXTURE0);
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
// surfaces' depth goes in first, none of their colour; a red-cyan eye masks
// colours of its own.
static void __lines_again_render(const Programs* programs, float opacity)
{
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    draw_shapes(programs, PASS_FILL);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    draw_shapes(programs, PASS_WIRE);
    // Every line through the surface: those in front are drawn in their
    // colour already. Untested against depth, and all of one colour, they
    // blend alike in any order, as the picture must.
    glDepthFunc(GL_ALWAYS);
    glEnable(GL_BLEND);
    glBlendColor(0.0f, 0.0f, 0.0f, 1.0f - opacity);
    glBlendFuncSeparate(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA, GL_ZERO, GL_ONE);
    draw_shapes(programs, PASS_WIRE);
    glDisable(GL_BLEND);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
}

// The widths of lines and points, in pixels: in a picture larger than the
// window, as much wider as GL's lines are there. Pictures set that width
// when they are made, so it is read every frame.
static void __sizes_render()
{
    float scale = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &scale);
    const Finish& f = view.finish;
    if (shader_lines) {
        load_float_to_shader(shader_lines, "width", f.line_width * scale);
        load_float_to_shader(shader_lines, "tube", f.tubes);
    }
    if (shader_points)
        load_float_to_shader(shader_points, "width", f.point_size * scale);
}

// How the shapes are drawn in this frame.
static Programs __programs_render(float opacity)
{
    float shade = built.tint == TINT_W ? 0.45f : 0.0f;
    return {shader, shader_plain, shader_lines, shader_points, view.light == LIGHT_FILE && !built.smooth,
        shade, opacity, view.cues.wire, built.framed && !built.columns, built.fetched, built.smooth,
        built.painted};
}

// The filled shapes, seen through where they are not opaque, and the lines
// and points over them. Transparent, the lines go first, so that the
// surfaces are laid over the lines behind them and not over those in front.
static void __shapes_render(bool own)
{
    __map_render();
    // The band goes 3 pixels past the line each side, in a picture larger
    // than the window as much wider as its lines.
    float scale = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &scale);
    if (built.broken && begin_band()) {
        draw_band_curve(shader_band, built.fetched, (view.finish.line_width + 6.0f) * scale, 1.5f * scale);
        end_band();
    }
    float opacity = view.finish.opacity;
    Programs opaque = __programs_render(1.0f);
    if (opacity >= 1.0f) {
        draw_shapes(&opaque, PASS_FILL);
        draw_shapes(&opaque, PASS_LINES);
        draw_curve(&opaque);
        return;
    }
    draw_shapes(&opaque, PASS_LINES);
    draw_curve(&opaque);
    if (built.layered) {
        if (own && begin_layers_target()) {
            draw_shapes(&opaque, PASS_FILL);
            end_layers_target();
            // The layers are laid over whole pixels, and of several samples
            // a line covers only some: the surface's share in the rest
            // would dim the lines to dashes. They are drawn again: whole
            // where no part of the surface lies before them, and seen
            // through it, as its opacity lets them, where one does.
            // Lines coloured by w would blend and overlap unlike in
            // another order of the triangles, and are left as they were.
            if (view.cues.wire && view.finish.aa > 1 && built.tint != TINT_W)
                __lines_again_render(&opaque, opacity);
        } else {
            layers_refused = true;
        }
        return;
    }
    // Where the GL has no colour buffers of floats: blended in the order
    // drawn, the picture's alpha left at 1.
    Programs blended = __programs_render(opacity);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    glDepthMask(GL_FALSE);
    draw_shapes(&blended, PASS_FILL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

// Puts eye 0 (the left) or 1 on show: its camera, and its colours or its
// half of the drawing area, whole.
static void __eye_render(int eye, const int* whole)
{
    const Finish& f = view.finish;
    float moved = (eye ? 0.5f : -0.5f) * f.eyes;
    for (unsigned int program : every())
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
        __shapes_render(own);
        __overlays_render(orientation);
    }
    if (eyes == 2) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glViewport(whole[0], whole[1], whole[2], whole[3]);
        for (unsigned int program : every())
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
    destroy_band();
    stop_curve();
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    update_curve();
    Drawn drawn = __drawn_render(false);
    Stages wanted = __stages_render(&drawn);
    bool rebuilt = false;
    if (!(wanted == built)) {
        rebuilt = __build_render(wanted);
        built = wanted;
    }

    const float* orientation = poll_input(window);
    for (unsigned int program : every())
        rot_matrix_load(program, orientation);
    // Each shape sets its own; with none, the programs still hold the surface's.
    color_load(shader, color);
    color_load(shader_plain, color);
    __sizes_render();

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
    if ((built.framed || built.fetched) && (changes & CHANGE_FRAME || rebuilt))
        __frame_render();
    __layout_render(drawn, changes & CHANGE_FRAME);
    measure_reach(changes & CHANGE_FRAME);
    changes |= take_changes_view();
    if (changes & CHANGE_MOTION || (changes & CHANGE_FRAME && !built.framed) || rebuilt) {
        for (unsigned int program : every())
            __motion_render(program);
        // Smooth stages light with the normal they pass on.
        if (built.smooth)
            load_float_to_shader(shader, "light", 0.0f);
    }
    if ((changes & CHANGE_CUES) || rebuilt) {
        for (unsigned int program : every()) {
            cues_load(program, &view);
            if (view.cues.tint == TINT_W)
                tint_load(program);
        }
        set_clip_context(view.cues.eye4, view.cues.slice);
    }
    if (changes & CHANGE_COLORS)
        recolor_shapes();
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
        __shapes_render(false);
        __overlays_render(orientation);
    }
    draw_panel();
    advance_spin_input();
    advance_tour_course();
}
