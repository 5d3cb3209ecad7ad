// Text on the picture in the page: the browser writes it in DejaVu Sans,
// or its own sans-serif, on a canvas of the page's laid over the picture
// (#labels), pixel for pixel; the page ships no font of its own.
#include <emscripten/emscripten.h>

#include <cstdio>

#include "draw/platform.h"
#include "draw/text.h"

// The canvas over the picture as large as it in pixels, and wiped.
EM_JS(void, __wipe_text, (), {
    const labels = document.getElementById("labels");
    if (!labels)
        return;
    if (labels.width !== Module.canvas.width || labels.height !== Module.canvas.height) {
        labels.width = Module.canvas.width;
        labels.height = Module.canvas.height;
    } else {
        labels.getContext("2d").clearRect(0, 0, labels.width, labels.height);
    }
});

// The typeface at the size whose digits are digits pixels tall, measured
// once on a 100-pixel '0'; and the ink's box of text in it, into box as
// left, bottom, right, top from the start of the baseline, y up.
EM_JS(void, __measure_text, (const char* text, double digits, float* box), {
    const labels = document.getElementById("labels");
    const context = (labels || document.createElement("canvas")).getContext("2d");
    const face = (size) => size + "px 'DejaVu Sans', sans-serif";
    if (!Module.digitShare) {
        context.font = face(100);
        const zero = context.measureText("0");
        Module.digitShare = (zero.actualBoundingBoxAscent + zero.actualBoundingBoxDescent) / 100 || 0.73;
    }
    context.font = face(Math.ceil(digits / Module.digitShare));
    const ink = context.measureText(UTF8ToString(text));
    HEAPF32.set([-ink.actualBoundingBoxLeft, -ink.actualBoundingBoxDescent, ink.actualBoundingBoxRight,
        ink.actualBoundingBoxAscent], box >> 2);
});

EM_JS(void, __write_text, (const char* text, double x, double y, double digits, int r, int g, int b), {
    const labels = document.getElementById("labels");
    if (!labels)
        return;
    const context = labels.getContext("2d");
    context.font = Math.ceil(digits / Module.digitShare) + "px 'DejaVu Sans', sans-serif";
    context.fillStyle = "rgb(" + r + "," + g + "," + b + ")";
    context.fillText(UTF8ToString(text), x, labels.height - y);
});

namespace {

TextDrawn drawn[64];
int drawn_count = 0;

} // namespace

Box measure_text(const char* text, float digits)
{
    float box[4] = {};
    if (*text)
        __measure_text(text, digits, box);
    return {box[0], box[1], box[2], box[3]};
}

void draw_text(const char* text, float x, float y, float digits, const float* rgb)
{
    if (!*text)
        return;
    GLint area[4];
    glGetIntegerv(GL_VIEWPORT, area);
    Box ink = measure_text(text, digits);
    x = static_cast<float>(static_cast<int>(x + 0.5f)) + static_cast<float>(area[0]);
    y = static_cast<float>(static_cast<int>(y + 0.5f)) + static_cast<float>(area[1]);
    auto level = [](float c) { return static_cast<int>(c * 255.0f + 0.5f); };
    __write_text(text, x, y, digits, level(rgb[0]), level(rgb[1]), level(rgb[2]));
    if (drawn_count < 64) {
        TextDrawn& d = drawn[drawn_count++];
        snprintf(d.text, sizeof d.text, "%s", text);
        d.digits = digits;
        d.box = {x + ink.x0, y + ink.y0, x + ink.x1, y + ink.y1};
    }
}

int drawn_text(const TextDrawn** labels)
{
    *labels = drawn;
    return drawn_count;
}

void clear_text()
{
    drawn_count = 0;
    __wipe_text();
}

const unsigned char* font_text(int* size)
{
    *size = 0;
    return nullptr;
}

void destroy_text()
{
}
