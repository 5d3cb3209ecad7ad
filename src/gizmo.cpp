// The axes gizmo: four coloured lines from the centre of a corner, each
// named by its letter, drawn as an overlay.
#include "gizmo.h"

#include <cmath>

#include "glyphs.h"
#include "load.h"
#include "overlay.h"
#include "platform.h"

// Each axis's line and letter: a line, and at most 4 segments of a letter.
constexpr int most_vertices = 4 * 2 * (1 + 4);

void draw_gizmo(const float* q, const float* turn4)
{
    static const float colours[4][3]
        = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.7f, 0.1f}, {0.1f, 0.2f, 0.95f}, {0.85f, 0.1f, 0.85f}};
    static const char* const names[4] = {"x", "y", "z", "w"};
    // Short of the corner's edge, to leave room for the letters beyond.
    const float length = 0.75f, letter = 0.14f;
    float rot[16];
    __rot_matrix_load(q, rot);
    OverlayVertex vertices[most_vertices];
    int count = 0;
    for (int j = 0; j < 4; j++) {
        // Axis j of the surface shows as column j of turn4; what of it lies
        // in w is hidden, so the w axis grows as it turns into view. The
        // camera draws +x to the left.
        float turned[3] = {};
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 3; i++)
                turned[k] += rot[4 * i + k] * turn4[4 * j + i];
        float end[2] = {-length * turned[0], length * turned[1]};
        const float* c = colours[j];
        vertices[count++] = {0.0f, 0.0f, c[0], c[1], c[2]};
        vertices[count++] = {end[0], end[1], c[0], c[1], c[2]};
        // An axis seen nearly end on has its letter on the others' lines.
        float shown = std::hypot(end[0], end[1]);
        if (shown < 0.2f)
            continue;
        float beyond = (shown + 0.6f * letter) / shown;
        float segments[4 * 4];
        int written = write_glyphs(names[j], beyond * end[0] - 0.5f * width_glyphs(names[j], letter),
            beyond * end[1] - 0.5f * letter, letter, segments, 4);
        for (int s = 0; s < 2 * written; s++)
            vertices[count++] = {segments[2 * s], segments[2 * s + 1], c[0], c[1], c[2]};
    }
    int whole[4];
    corner_overlay(false, whole);
    draw_overlay(vertices, count, true);
    glViewport(whole[0], whole[1], whole[2], whole[3]);
}
