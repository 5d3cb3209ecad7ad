// The legend: a bar of the map's samples, its labels and the slice's
// centre, drawn as an overlay in a corner of its own.
#include "draw/legend.h"

#include <cstdio>

#include "core/cues.h"
#include "draw/glyphs.h"
#include "draw/overlay.h"
#include "draw/platform.h"

namespace {

// The corner's terms: the bar across it low down, the labels under it, the
// centre over it, all on a white ground.
const float left = -0.92f, right = 0.92f, bar_low = -0.56f, bar_high = -0.42f;
const float letters = 0.11f, label_base = -0.80f, centre_base = -0.26f, ground = -0.94f;
const float ink[3] = {0.15f, 0.15f, 0.15f};

// Room for the ground, the bar and its frame, a tick and three labels.
constexpr int most_triangles = 6 + 6 * (ramp_size_cues - 1);
constexpr int most_lines = 8 + 2 + 2 * 4 * 32;

struct Drawn {
    OverlayVertex triangles[most_triangles];
    int triangle_count;
    OverlayVertex lines[most_lines];
    int line_count;
};

void __rectangle_legend(Drawn* d, float x0, float y0, float x1, float y1, const float* a, const float* b)
{
    const OverlayVertex corners[6]
        = {{x0, y0, a[0], a[1], a[2]}, {x1, y0, b[0], b[1], b[2]}, {x1, y1, b[0], b[1], b[2]},
            {x0, y0, a[0], a[1], a[2]}, {x1, y1, b[0], b[1], b[2]}, {x0, y1, a[0], a[1], a[2]}};
    for (const OverlayVertex& v : corners)
        if (d->triangle_count < most_triangles)
            d->triangles[d->triangle_count++] = v;
}

void __line_legend(Drawn* d, float x0, float y0, float x1, float y1)
{
    if (d->line_count + 2 > most_lines)
        return;
    d->lines[d->line_count++] = {x0, y0, ink[0], ink[1], ink[2]};
    d->lines[d->line_count++] = {x1, y1, ink[0], ink[1], ink[2]};
}

// Text with its baseline at y, its left end at x less the share of its
// width given (0 left, 0.5 centred, 1 right).
void __text_legend(Drawn* d, const char* text, float x, float share, float y)
{
    float segments[4 * 32];
    int count = write_glyphs(text, x - share * width_glyphs(text, letters), y, letters, segments, 32);
    for (int k = 0; k < count; k++) {
        const float* s = segments + 4 * k;
        __line_legend(d, s[0], s[1], s[2], s[3]);
    }
}

void __bar_legend(Drawn* d, float scale)
{
    float ramp[ramp_size_cues][3];
    ramp_cues(ramp);
    for (int k = 0; k + 1 < ramp_size_cues; k++) {
        float x0 = left + (right - left) * static_cast<float>(k) / (ramp_size_cues - 1);
        float x1 = left + (right - left) * static_cast<float>(k + 1) / (ramp_size_cues - 1);
        __rectangle_legend(d, x0, bar_low, x1, bar_high, ramp[k], ramp[k + 1]);
    }
    const float frame[5][2]
        = {{left, bar_low}, {right, bar_low}, {right, bar_high}, {left, bar_high}, {left, bar_low}};
    for (int k = 0; k < 4; k++)
        __line_legend(d, frame[k][0], frame[k][1], frame[k + 1][0], frame[k + 1][1]);
    // s is measured on the surface on show; without one it has no value.
    char low[24] = "-s", high[24] = "+s";
    if (scale > 0.0f) {
        snprintf(low, sizeof low, "%.3g", -static_cast<double>(scale));
        snprintf(high, sizeof high, "+%.3g", static_cast<double>(scale));
    }
    __text_legend(d, low, left, 0.0f, label_base);
    __text_legend(d, "0", 0.5f * (left + right), 0.5f, label_base);
    __text_legend(d, high, right, 1.0f, label_base);
}

} // namespace

void draw_legend(bool map, float scale, bool centre, float c)
{
    static Drawn d;
    d.triangle_count = d.line_count = 0;
    static const float white[3] = {1.0f, 1.0f, 1.0f};
    __rectangle_legend(
        &d, -1.0f, ground, 1.0f, centre ? centre_base + 1.4f * letters : bar_high, white, white);
    if (map)
        __bar_legend(&d, scale);
    if (centre) {
        char text[32];
        snprintf(text, sizeof text, "c=%.3g", static_cast<double>(c));
        __text_legend(&d, text, 0.5f * (left + right), 0.5f, centre_base);
        if (map && scale > 0.0f) {
            float t = c / scale < -1.0f ? -1.0f : c / scale > 1.0f ? 1.0f : c / scale;
            float x = 0.5f * (left + right) + 0.5f * (right - left) * t;
            __line_legend(&d, x, bar_low - 0.05f, x, bar_high + 0.05f);
        }
    }
    int whole[4];
    corner_overlay(true, whole);
    draw_overlay(d.triangles, d.triangle_count, false);
    draw_overlay(d.lines, d.line_count, true);
    glViewport(whole[0], whole[1], whole[2], whole[3]);
}
