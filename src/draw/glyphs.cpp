// The stroke font: each glyph a few polylines on a grid 4 wide and 8 high,
// the baseline at 2.
#include "draw/glyphs.h"

#include <cstring>

namespace {

struct Glyph {
    char character;
    // Polylines apart by blanks, each point two digits, x then y.
    const char* strokes;
};

const Glyph glyphs[] = {
    {'0', "0242480802"},
    {'1', "172822"},
    {'2', "084845050242"},
    {'3', "08484202 0545"},
    {'4', "080545 4842"},
    {'5', "480805454202"},
    {'6', "480802424505"},
    {'7', "084812"},
    {'8', "0242480802 0545"},
    {'9', "450508484202"},
    {'.', "2223"},
    {'-', "0545"},
    {'+', "0545 2327"},
    {'=', "0444 0646"},
    {'c', "46060242"},
    {'e', "044446060242"},
    {'s', "460604444202"},
    {'w', "0612253246"},
    {'x', "0642 0246"},
    {'y', "0622 4610"},
    {'z', "06460242"},
};

const char* __strokes_glyphs(char c)
{
    for (const Glyph& g : glyphs)
        if (g.character == c)
            return g.strokes;
    return "";
}

} // namespace

int write_glyphs(const char* text, float x, float y, float height, float* segments, int capacity)
{
    float unit = height / 6.0f;
    int written = 0;
    for (const char* c = text; *c; c++, x += 6.0f * unit) {
        const char* stroke = __strokes_glyphs(*c);
        while (*stroke) {
            size_t points = strcspn(stroke, " ") / 2;
            for (size_t k = 0; k + 1 < points && written < capacity; k++, written++) {
                const char* from = stroke + 2 * k;
                float* s = segments + 4 * written;
                s[0] = x + unit * static_cast<float>(from[0] - '0');
                s[1] = y + unit * static_cast<float>(from[1] - '2');
                s[2] = x + unit * static_cast<float>(from[2] - '0');
                s[3] = y + unit * static_cast<float>(from[3] - '2');
            }
            stroke += 2 * points;
            stroke += *stroke == ' ';
        }
    }
    return written;
}

float width_glyphs(const char* text, float height)
{
    size_t count = strlen(text);
    return count ? height / 6.0f * (6.0f * static_cast<float>(count) - 2.0f) : 0.0f;
}
