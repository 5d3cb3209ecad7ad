// s and the range of w: measured over the surface on show, on the CPU from
// memory or read back from its buffers a chunk at a time.
#include "app/reach.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/frame.h"
#include "core/view.h"
#include "draw/mesh.h"

// The largest length of the shown (x, y, z, w) over the surface, and of
// the shown w alone into *w when asked for.
static float __measure_reach(float* w)
{
    const Mesh* mesh = projection.mesh;
    if (!mesh)
        return 0.0f;
    bool framed = view.framed && view.frame.dim == mesh->dim;
    float reach = framed ? 0.0f : reach_mesh(mesh, projection);
    if (framed || w) {
        // w as shown: the 4-D turn's last row, over the coordinates bound
        // or the frame's rows.
        float weights[max_dim_frame] = {};
        const uint8_t bound[4] = {projection.x, projection.y, projection.z, projection.w};
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < mesh->dim; k++)
                weights[k] += view.turn4[j][3] * (framed ? view.frame.rows[j][k] : k == bound[j] ? 1.0f : 0.0f);
        float* part
            = mesh->memory ? nullptr : static_cast<float*>(malloc(chunk_mesh * mesh->dim * sizeof(float)));
        if (!mesh->memory && !part)
            return reach;
        float largest = 0.0f;
        for (uint64_t first = 0; first < mesh->vertex_count; first += chunk_mesh) {
            uint64_t count = std::min<uint64_t>(chunk_mesh, mesh->vertex_count - first);
            const float* c = read_mesh(mesh, 0, first, count, part);
            if (framed)
                reach = std::max(reach, reach_frame(&view.frame, c, count));
            if (w)
                largest = std::max(largest, extent_frame(weights, mesh->dim, c, count));
        }
        free(part);
        if (w)
            *w = largest;
    }
    return reach;
}

void measure_reach(bool frame_changed)
{
    static uint32_t measured_serial = 0;
    static uint8_t measured[4] = {};
    static mat4 measured_turn, last_turn;
    static bool ranged = false;
    const Projection& p = projection;
    const Cues& c = view.cues;
    const uint8_t shown[4] = {p.x, p.y, p.z, p.w};
    uint32_t serial = p.mesh ? p.mesh->serial : 0;
    bool same = serial == measured_serial && memcmp(shown, measured, sizeof shown) == 0
        && !(frame_changed && !view.tour.running);
    bool by_range = c.tint == TINT_W && c.tint_scale < 0.0f;
    bool rested = memcmp(view.turn4, last_turn, sizeof last_turn) == 0
        && memcmp(view.turn4, measured_turn, sizeof measured_turn) != 0;
    memcpy(last_turn, view.turn4, sizeof last_turn);
    if (!(c.tint == TINT_W || c.slice || c.eye4) || (same && !(by_range && (rested || !ranged))))
        return;
    View next = view;
    next.reach_w = 0.0f;
    next.reach = __measure_reach(by_range ? &next.reach_w : nullptr);
    set_view(&next);
    measured_serial = serial;
    memcpy(measured, shown, sizeof measured);
    memcpy(measured_turn, view.turn4, sizeof measured_turn);
    ranged = by_range;
}

