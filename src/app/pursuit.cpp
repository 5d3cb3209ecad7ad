// Guided tours: the shown triangles in memory, read back from the GPU once
// for each list of shapes, and what the tour tells as it goes.
#include "app/pursuit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <cglm/cglm.h>

#include "core/guide.h"
#include "core/log.h"
#include "core/view.h"
#include "draw/shapes.h"

namespace {

bool waits = false;
float* coords = nullptr;
GuideSource source = {};
uint32_t read_serial = 0;
uint64_t read_shown = 0;

// Which shapes of triangles are shown, a bit each.
uint64_t __shown_pursuit()
{
    uint64_t shown = 0;
    for (int s = 0; s < shape_count; s++)
        if (shapes[s].shown && shapes[s].kind == SHAPE_TRIANGLES)
            shown |= 1ull << s;
    return shown;
}

// The shown triangles of every shape as one array, read again when the
// shapes change; the 4-D eye as the view places it. Returns 0 when memory
// runs out.
int __source_pursuit()
{
    uint64_t shown = __shown_pursuit();
    const Cues& c = view.cues;
    double eye = !c.eye4 ? 0.0 : c.eye4_at > 0.0f ? c.eye4_at : 3.0 * static_cast<double>(view.reach);
    if (coords && read_serial == serial_shapes && read_shown == shown) {
        if (eye != source.eye)
            source.serial++;
        source.eye = eye;
        return 1;
    }
    stop_guide();
    free(coords);
    uint8_t dim = dim_shapes();
    uint64_t total = 0;
    for (int s = 0; s < shape_count; s++)
        if (shown >> s & 1)
            total += vertex_count_shapes(s) / 3 * 3;
    coords = static_cast<float*>(malloc((total ? total : 1) * dim * sizeof(float)));
    if (!coords)
        return 0;
    float* at = coords;
    for (int s = 0; s < shape_count; s++) {
        uint64_t vertices = shown >> s & 1 ? vertex_count_shapes(s) / 3 * 3 : 0;
        for (uint64_t first = 0; first < vertices; first += chunk_mesh) {
            uint64_t count = vertices - first < chunk_mesh ? vertices - first : chunk_mesh;
            const float* read = read_shapes(s, first, count, at);
            if (read != at)
                memcpy(at, read, count * dim * sizeof(float));
            at += count * dim;
        }
    }
    source = {coords, dim, total, eye, source.serial + 1};
    read_serial = serial_shapes;
    read_shown = shown;
    return 1;
}

// A line of the index after lead, saying what it measures.
void __said_pursuit(char* said, size_t size, const char* lead, TourKind kind, double value)
{
    snprintf(
        said, size, "%s%s %.9g\n", lead, kind == TOUR_SPREAD ? "shadow area" : "double curve length", value);
}

} // namespace

void wait_pursuit(bool wait)
{
    waits = wait;
}

void advance_pursuit()
{
    const Tour& tour = view.tour;
    if (!tour.running || !view.framed || (tour.kind != TOUR_FEWEST_CROSSINGS && tour.kind != TOUR_SPREAD))
        return;
    View next = view;
    if (!__source_pursuit()) {
        complain_log("guided tour: out of memory for the surface's copy");
        next.tour.running = false;
        set_view(&next);
        return;
    }
    // The tour moves the frame as shown: a 4-D turn made meanwhile goes in.
    mat4 identity = GLM_MAT4_IDENTITY_INIT;
    if (memcmp(next.turn4, identity, sizeof identity) != 0) {
        compose_frame(next.turn4[0], &next.frame);
        glm_mat4_identity(next.turn4);
    }
    double value = 0.0;
    const char* fault = nullptr;
    GuideStep step = step_guide(&next.tour, &next.frame, &source, waits, &value, &fault);
    set_view(&next);
    char said[96];
    if (step == GUIDE_ARRIVED) {
        __said_pursuit(said, sizeof said, "[TOUR] ", tour.kind, value);
        mlog(said);
    } else if (step == GUIDE_FAILED) {
        complain_log("guided tour: no index: %s", fault);
    } else if (step == GUIDE_STOPPED) {
        // The result, which a quiet run prints too: the index, and the
        // frame as a view file writes it.
        __said_pursuit(said, sizeof said, "guided tour at a local optimum: ", tour.kind, value);
        fputs(said, stdout);
        fputs("frame =", stdout);
        for (const float* row : view.frame.rows)
            for (int k = 0; k < view.frame.dim; k++)
                printf(" %.9g", static_cast<double>(row[k]));
        fputs("\n", stdout);
        fflush(stdout);
    }
}

void stop_pursuit()
{
    stop_guide();
    free(coords);
    coords = nullptr;
    source = {};
}
