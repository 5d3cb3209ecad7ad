// The double curve kept in step with the view, and drawn.
#include "app/curve.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/window.h"
#include "core/crossing.h"
#include "core/cues.h"
#include "core/view.h"
#include "draw/platform.h"
#include "draw/shader.h"
#include "draw/strokes.h"

namespace {

// The lines drawn: through the upper sheet's points, the lower's, and the
// points midway between.
enum Sheet { SHEET_UPPER, SHEET_LOWER, SHEET_MIDDLE, SHEET_COUNT };

struct CurveState {
    float* coords;  // the triangles on show, one shape after another; none while off
    uint64_t count; // their vertices
    uint8_t dim;
    uint32_t copied;      // serial_shapes when they were copied
    uint32_t job;         // the serial of the job under way, or 0
    uint32_t serial;      // the last serial given
    CrossingView started; // the view of the last job started
    bool any;             // whether one was
    Strokes* lines[SHEET_COUNT];
};

CurveState state = {};

} // namespace

static bool __same_curve(const CrossingView& a, const CrossingView& b)
{
    return a.eye == b.eye && a.frame.dim == b.frame.dim
        && memcmp(a.frame.rows, b.frame.rows, sizeof a.frame.rows) == 0;
}

static void __drop_lines_curve()
{
    for (Strokes*& lines : state.lines) {
        destroy_strokes(lines);
        lines = nullptr;
    }
}

static void __forget_curve()
{
    if (state.job)
        stop_crossing(state.job);
    state.job = 0;
    state.any = false;
    __drop_lines_curve();
    free(state.coords);
    state.coords = nullptr;
    state.count = 0;
}

// Copies the coordinates of every shape of triangles of the first shape's
// m; returns 0 when memory runs out.
static int __copy_curve()
{
    uint8_t dim = dim_shapes();
    uint64_t count = 0;
    for (int k = 0; k < shape_count; k++)
        if (shapes[k].mesh && shapes[k].mesh->dim == dim)
            count += vertex_count_shapes(k) / 3 * 3;
    state.copied = serial_shapes;
    state.dim = dim;
    state.coords = count ? static_cast<float*>(malloc(count * dim * sizeof(float))) : nullptr;
    if (!state.coords)
        return 0;
    uint64_t at = 0;
    for (int k = 0; k < shape_count; k++) {
        if (!shapes[k].mesh || shapes[k].mesh->dim != dim)
            continue;
        uint64_t n = vertex_count_shapes(k) / 3 * 3;
        for (uint64_t first = 0; first < n; first += chunk_mesh) {
            uint64_t part = std::min<uint64_t>(chunk_mesh, n - first);
            float* into = state.coords + (at + first) * dim;
            const float* read = read_shapes(k, first, part, into);
            if (read != into)
                memcpy(into, read, part * dim * sizeof(float));
        }
        at += n;
    }
    state.count = count;
    return 1;
}

// The view as the shapes are drawn in it: through the frame of R^m, or the
// coordinates bound, under the 4-D turn, from the 4-D eye.
static CrossingView __view_curve()
{
    CrossingView seen = {};
    if (view.framed && view.frame.dim == state.dim)
        seen.frame = view.frame;
    else
        choice_frame(bound_shapes(), state.dim, &seen.frame);
    compose_frame(view.turn4[0], &seen.frame);
    seen.eye = view.cues.eye4 ? eye4_at_cues() : 0.0;
    return seen;
}

// The finished curve of a job in place of the one drawn: the job has
// lifted it, so that this thread only uploads it.
static void __take_curve(uint32_t job)
{
    Crossing curve = {};
    CrossingLines lines = {};
    if (!take_crossing(job, &curve, &lines))
        return;
    __drop_lines_curve();
    if (lines.count > 1)
        for (int sheet = 0; sheet < SHEET_COUNT; sheet++) {
            ShapeData data = {
                SHAPE_LINES, state.dim, lines.count, lines.sheets[sheet], nullptr, nullptr, lines.joins};
            state.lines[sheet] = create_strokes(&data);
        }
    free_lines_crossing(&lines);
    free_crossing(&curve);
}

void update_curve()
{
    const Cues& c = view.cues;
    if (!(c.curve || c.broken) || shape_count == 0 || dim_shapes() < 4) {
        if (state.coords || state.job)
            __forget_curve();
        return;
    }
    if (state.copied != serial_shapes || !state.coords) {
        __forget_curve();
        if (!__copy_curve())
            return;
    }
    if (state.job) {
        int done = done_crossing(state.job, hidden_window);
        if (done == 0)
            return;
        if (done == 1)
            __take_curve(state.job);
        state.job = 0;
    }
    CrossingView seen = __view_curve();
    if (state.any && __same_curve(seen, state.started))
        return;
    // Serials wrap past 0, which names no job.
    state.job = ++state.serial ? state.serial : ++state.serial;
    state.started = seen;
    state.any = true;
    start_crossing(state.coords, state.dim, state.count, &seen, state.job);
    // A picture shows the curve of its own view.
    if (hidden_window && done_crossing(state.job, true) == 1)
        __take_curve(state.job);
    if (hidden_window)
        state.job = 0;
}

bool wanted_curve()
{
    return view.cues.curve;
}

// Binds the line to the coordinates the shapes read and, through a frame
// of R^m, its texture; returns whether it can be drawn.
static bool __ready_curve(Strokes* lines, const Programs* programs)
{
    if (!lines)
        return false;
    if (memcmp(lines->bound, bound_shapes(), sizeof lines->bound) != 0)
        bind_strokes(lines, bound_shapes());
    return !programs->fetched || texture_strokes(lines);
}

// The widths of lines drawn: pictures larger than the window make GL's
// lines as much wider.
static float __width_curve()
{
    float scale = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &scale);
    return view.finish.line_width * scale;
}

void draw_curve(const Programs* programs)
{
    if (!view.cues.curve || !programs->lines || shape_count == 0)
        return;
    uint8_t red[3], blue[3];
    tint_cues(1.0, red);
    tint_cues(0.0, blue);
    const float colours[3][4] = {{blue[0] / 255.0f, blue[1] / 255.0f, blue[2] / 255.0f, 1.0f},
        {red[0] / 255.0f, red[1] / 255.0f, red[2] / 255.0f, 1.0f}, {0.08f, 0.08f, 0.1f, 1.0f}};
    // All three lie on one line in the picture: the lower decker set
    // widest, the upper a width narrower over it, and the ink over both,
    // so that each shows as a rim about the next. Lines wider are lifted
    // nearer, so the two under the ink leave the depth alone.
    const Sheet drawn[3] = {SHEET_LOWER, SHEET_UPPER, SHEET_UPPER};
    float width = __width_curve();
    // Coloured by w, the stage takes the line's own colour where shade is 0.
    if (programs->shade > 0.0f)
        load_float_to_shader(programs->lines, "shade", 0.0f);
    for (int k = 0; k < 3; k++) {
        if (!__ready_curve(state.lines[drawn[k]], programs))
            continue;
        load_float_to_shader(programs->lines, "width", width * static_cast<float>(3 - k));
        glDepthMask(k == 2);
        draw_strokes(programs->lines, state.lines[drawn[k]], colours[k], programs->fetched ? UNIT_COORDS : -1);
    }
    glDepthMask(GL_TRUE);
    load_float_to_shader(programs->lines, "width", width);
}

void draw_band_curve(unsigned int program, bool fetched, float width, float edge)
{
    Programs programs = {};
    programs.fetched = fetched;
    Strokes* middle = state.lines[SHEET_MIDDLE];
    if (!program || shape_count == 0 || !__ready_curve(middle, &programs))
        return;
    // The edges first, the band over them.
    const float unused[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (float mark : {0.5f, 1.0f}) {
        load_float_to_shader(program, "width", mark < 1.0f ? width + 2.0f * edge : width);
        load_float_to_shader(program, "mark", mark);
        draw_strokes(program, middle, unused, fetched ? UNIT_COORDS : -1);
    }
}

void stop_curve()
{
    __forget_curve();
}
