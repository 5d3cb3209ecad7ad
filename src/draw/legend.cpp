// The legend: a bar of the map's samples with ticks and their numbers, its
// title and the slice's centre, on a white ground in the lower right of
// the drawing area, laid out in pixels from the size of its digits.
#include "draw/legend.h"

#include <algorithm>
#include <cstdio>

#include "core/cues.h"
#include "core/labels.h"
#include "draw/overlay.h"
#include "draw/platform.h"
#include "draw/text.h"

namespace {

const float ink[3] = {0.15f, 0.15f, 0.15f};

// Room for the ground, the bar and its frame, three ticks and the centre.
constexpr int most_triangles = 6 + 6 * (ramp_size_cues - 1);
constexpr int most_lines = 2 * (4 + 3 + 1);

struct Drawn {
    OverlayVertex triangles[most_triangles];
    int triangle_count;
    OverlayVertex lines[most_lines];
    int line_count;
    float width, height; // of the drawing area, to turn pixels into its -1 to 1
};

OverlayVertex __vertex_legend(const Drawn* d, float x, float y, const float* rgb)
{
    return {2.0f * x / d->width - 1.0f, 2.0f * y / d->height - 1.0f, rgb[0], rgb[1], rgb[2]};
}

void __rectangle_legend(Drawn* d, float x0, float y0, float x1, float y1, const float* a, const float* b)
{
    const OverlayVertex corners[6] = {__vertex_legend(d, x0, y0, a), __vertex_legend(d, x1, y0, b),
        __vertex_legend(d, x1, y1, b), __vertex_legend(d, x0, y0, a), __vertex_legend(d, x1, y1, b),
        __vertex_legend(d, x0, y1, a)};
    for (const OverlayVertex& v : corners)
        if (d->triangle_count < most_triangles)
            d->triangles[d->triangle_count++] = v;
}

void __line_legend(Drawn* d, float x0, float y0, float x1, float y1)
{
    if (d->line_count + 2 > most_lines)
        return;
    d->lines[d->line_count++] = __vertex_legend(d, x0, y0, ink);
    d->lines[d->line_count++] = __vertex_legend(d, x1, y1, ink);
}

// Text with its ink's left end at x less the share of its width given (0
// left, 0.5 centred, 1 right) and its baseline at y.
void __text_legend(const char* text, float x, float share, float y, float digits)
{
    Box box = measure_text(text, digits);
    draw_text(text, x - box.x0 - share * (box.x1 - box.x0), y, digits, ink);
}

float __width_legend(const char* text, float digits)
{
    Box box = measure_text(text, digits);
    return box.x1 - box.x0;
}

} // namespace

void draw_legend(bool map, float scale, bool centre, float c)
{
    static Drawn d;
    int whole[4];
    glGetIntegerv(GL_VIEWPORT, whole);
    d = {};
    d.width = static_cast<float>(whole[2]);
    d.height = static_cast<float>(whole[3]);
    int side = std::min(whole[2], whole[3]);
    const float u = digits_labels(side), pad = 0.5f * u, gap = 0.8f * u;
    // s is measured on the surface on show; without one it has no value.
    char low[24] = "-s", high[24] = "+s", at[32] = "";
    if (scale > 0.0f) {
        snprintf(low, sizeof low, "%.3g", -static_cast<double>(scale));
        snprintf(high, sizeof high, "+%.3g", static_cast<double>(scale));
    }
    if (centre)
        snprintf(at, sizeof at, "c = %.3g", static_cast<double>(c));
    const char* title = map ? "w" : "";
    // As wide as a quarter of the area, or as its numbers need.
    float width = std::max({static_cast<float>(side) / 4.0f - 2.0f * pad,
        map ? __width_legend(low, u) + __width_legend("0", u) + __width_legend(high, u) + 2.0f * gap : 0.0f,
        __width_legend(title, u) + gap + __width_legend(at, u)});
    float right = d.width - static_cast<float>(side / 64) - pad, left = right - width;
    // From the bottom up: the numbers, the ticks, the bar, the title and c.
    float bottom = static_cast<float>(side / 64), numbers = bottom + pad;
    float ticks = numbers + 1.3f * u, bar_low = ticks + 0.35f * u, bar_high = bar_low + 0.9f * u;
    float heading = map ? bar_high + 0.5f * u : numbers;
    static const float white[3] = {1.0f, 1.0f, 1.0f};
    __rectangle_legend(&d, left - pad, bottom, right + pad, heading + u + pad, white, white);
    if (map) {
        float ramp[ramp_size_cues][3];
        ramp_cues(ramp);
        for (int k = 0; k + 1 < ramp_size_cues; k++) {
            float x0 = left + width * static_cast<float>(k) / (ramp_size_cues - 1);
            float x1 = left + width * static_cast<float>(k + 1) / (ramp_size_cues - 1);
            __rectangle_legend(&d, x0, bar_low, x1, bar_high, ramp[k], ramp[k + 1]);
        }
        const float frame[5][2]
            = {{left, bar_low}, {right, bar_low}, {right, bar_high}, {left, bar_high}, {left, bar_low}};
        for (int k = 0; k < 4; k++)
            __line_legend(&d, frame[k][0], frame[k][1], frame[k + 1][0], frame[k + 1][1]);
        for (float x : {left, 0.5f * (left + right), right})
            __line_legend(&d, x, ticks, x, bar_low);
    }
    if (centre && map && scale > 0.0f) {
        float x = 0.5f * (left + right) + 0.5f * width * std::clamp(c / scale, -1.0f, 1.0f);
        __line_legend(&d, x, bar_low - 0.3f * u, x, bar_high + 0.3f * u);
    }
    draw_overlay(d.triangles, d.triangle_count, false);
    draw_overlay(d.lines, d.line_count, true);
    if (map) {
        __text_legend(low, left, 0.0f, numbers, u);
        __text_legend("0", 0.5f * (left + right), 0.5f, numbers, u);
        __text_legend(high, right, 1.0f, numbers, u);
        __text_legend(title, left, 0.0f, heading, u);
    }
    if (centre)
        __text_legend(at, right, 1.0f, heading, u);
}
