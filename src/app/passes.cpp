// The passes of a frame: the shapes, a transparent surface's layers over
// the lines, each eye of a stereo pair, and the overlays.
#include "app/render_parts.h"
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

// The map's texture, bound before each frame's shapes, since the layers
// take units of their own.
static void __map_passes()
{
    if (rendering.built.tint != TINT_W)
        return;
    glActiveTexture(GL_TEXTURE0 + UNIT_MAP);
    glBindTexture(GL_TEXTURE_2D, rendering.map);
    glActiveTexture(GL_TEXTURE0);
}

// The gizmo and the legend, over the frame in the viewport.
static void __overlays_passes(const float* orientation)
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
static void __lines_again_passes(const Programs* programs, float opacity)
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
void sizes_passes()
{
    float scale = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &scale);
    const Finish& f = view.finish;
    float solid = rendering.built.layered && view.finish.opacity < 1.0f ? 1.0f : 0.0f;
    if (rendering.lines) {
        load_float_to_shader(rendering.lines, "width", f.line_width * scale);
        load_float_to_shader(rendering.lines, "tube", f.tubes);
        load_float_to_shader(rendering.lines, "solid", solid);
    }
    if (rendering.points) {
        load_float_to_shader(rendering.points, "width", f.point_size * scale);
        load_float_to_shader(rendering.points, "solid", solid);
    }
}

// How the shapes are drawn in this frame.
static Programs __programs_passes(float opacity)
{
    float shade = rendering.built.tint == TINT_W ? 0.45f : 0.0f;
    return {shader, shader_plain, rendering.lines, rendering.points,
        view.light == LIGHT_FILE && !rendering.built.smooth, shade, opacity, view.cues.wire,
        rendering.built.framed && !rendering.built.columns, rendering.built.fetched, rendering.built.smooth,
        rendering.built.painted};
}

// The filled shapes, seen through where they are not opaque, and the lines
// and points over them. Transparent, the lines go first, so that the
// surfaces are laid over the lines behind them and not over those in front.
static void __shapes_passes(bool own)
{
    __map_passes();
    // The band goes 3 pixels past the line each side, in a picture larger
    // than the window as much wider as its lines.
    float scale = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &scale);
    if (rendering.built.broken && begin_band()) {
        draw_band_curve(
            rendering.band, rendering.built.fetched, (view.finish.line_width + 6.0f) * scale, 1.5f * scale);
        end_band();
    }
    float opacity = view.finish.opacity;
    Programs opaque = __programs_passes(1.0f);
    if (opacity >= 1.0f) {
        draw_shapes(&opaque, PASS_FILL);
        draw_shapes(&opaque, PASS_LINES);
        draw_curve(&opaque);
        return;
    }
    draw_shapes(&opaque, PASS_LINES);
    draw_curve(&opaque);
    if (rendering.built.layered) {
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
            if (view.cues.wire && view.finish.aa > 1 && rendering.built.tint != TINT_W)
                __lines_again_passes(&opaque, opacity);
        } else {
            rendering.layers_refused = true;
        }
        return;
    }
    // Where the GL has no colour buffers of floats: blended in the order
    // drawn, the picture's alpha left at 1.
    Programs blended = __programs_passes(opacity);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    glDepthMask(GL_FALSE);
    draw_shapes(&blended, PASS_FILL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

// Puts eye 0 (the left) or 1 on show: its camera, and its colours or its
// half of the drawing area, whole.
static void __eye_passes(int eye, const int* whole)
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
void finish_passes(const float* orientation)
{
    const Finish& f = view.finish;
    bool own = begin_target(f.aa, rendering.built.layered);
    int whole[4];
    glGetIntegerv(GL_VIEWPORT, whole);
    int eyes = f.stereo == STEREO_OFF ? 1 : 2;
    for (int eye = 0; eye < eyes; eye++) {
        if (eyes == 2)
            __eye_passes(eye, whole);
        __shapes_passes(own);
        __overlays_passes(orientation);
    }
    if (eyes == 2) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glViewport(whole[0], whole[1], whole[2], whole[3]);
        for (unsigned int program : every())
            fix_matrix_load(program, 1.0f);
    }
    end_target();
}

void draw_passes(const float* orientation)
{
    __shapes_passes(false);
    __overlays_passes(orientation);
}
