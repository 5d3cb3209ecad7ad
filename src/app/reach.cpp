// s and the range of w: measured over the shapes on show, on the CPU from
// memory or read back from their buffers a chunk at a time.
#include "app/reach.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/frame.h"
#include "core/view.h"
#include "draw/mesh.h"
#include "draw/shapes.h"

float largest_reach(float* w)
{
    uint8_t dim = dim_shapes();
    float* part = dim ? static_cast<float*>(malloc(chunk_mesh * dim * sizeof(float))) : nullptr;
    if (!part)
        return 0.0f;
    bool framed = view.framed && view.frame.dim == dim;
    // w as shown: the 4-D turn's last row, over the coordinates bound or
    // the frame's rows.
    float weights[max_dim_frame] = {};
    const uint8_t* bound = view.show;
    for (int j = 0; j < 4; j++)
        for (int k = 0; k < dim; k++)
            weights[k] += view.turn4[j][3] * (framed ? view.frame.rows[j][k] : k == bound[j] ? 1.0f : 0.0f);
    float reach = 0.0f, largest = 0.0f;
    for (int s = 0; s < shape_count; s++) {
        uint64_t vertices = vertex_count_shapes(s);
        for (uint64_t first = 0; first < vertices; first += chunk_mesh) {
            uint64_t count = std::min<uint64_t>(chunk_mesh, vertices - first);
            const float* c = read_shapes(s, first, count, part);
            reach = std::max(reach, framed ? reach_frame(&view.frame, c, count) : reach_choice_frame(bound, dim, c, count));
            if (w)
                largest = std::max(largest, extent_frame(weights, dim, c, count));
        }
    }
    free(part);
    if (w)
        *w = largest;
    return reach;
}

void measure_reach(bool frame_changed)
{
    static uint32_t measured_serial = 0;
    static uint8_t measured[4] = {};
    static mat4 measured_turn, last_turn;
    static bool ranged = false;
    const Cues& c = view.cues;
    const uint8_t* shown = view.show;
    uint32_t serial = serial_shapes;
    bool same = serial == measured_serial && memcmp(shown, measured, sizeof measured) == 0
        && !(frame_changed && !view.tour.running);
    bool by_range = c.tint == TINT_W && c.tint_scale < 0.0f;
    bool rested = memcmp(view.turn4, last_turn, sizeof last_turn) == 0
        && memcmp(view.turn4, measured_turn, sizeof measured_turn) != 0;
    memcpy(last_turn, view.turn4, sizeof last_turn);
    if (!(c.tint == TINT_W || c.slice || c.eye4) || (same && !(by_range && (rested || !ranged))))
        return;
    View next = view;
    next.reach_w = 0.0f;
    next.reach = largest_reach(by_range ? &next.reach_w : nullptr);
    set_view(&next);
    measured_serial = serial;
    memcpy(measured, shown, sizeof measured);
    memcpy(measured_turn, view.turn4, sizeof measured_turn);
    ranged = by_range;
}

