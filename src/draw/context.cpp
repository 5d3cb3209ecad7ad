// The GL context: entry points through libepoxy (or the browser's WebGL 2),
// depth test, clear colour.
#include "draw/context.h"

#include <cstdio>

#include "draw/platform.h"

int init_context()
{
    return offers_gl_platform();
}

void describe_context(char* text, size_t size)
{
    if (!glfwGetCurrentContext()) {
        snprintf(text, size, "no current GL context");
        return;
    }
    describe_gl_platform(text, size);
}

void set_clean_color_context(uint8_t r, uint8_t g, uint8_t b)
{
    glEnable(GL_DEPTH_TEST);
    glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
}

void set_offset_context()
{
    // Only filled polygons move; lines keep their depth.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
}

void set_clip_context(bool eye4, bool slice)
{
    if (!has_clip_distances_platform())
        return;
    // The vertex stage always writes the distances; only enabled planes cut.
    const struct {
        GLenum plane;
        bool on;
    } planes[] = {{GL_CLIP_DISTANCE0, eye4}, {GL_CLIP_DISTANCE1, slice}, {GL_CLIP_DISTANCE2, slice}};
    for (const auto& p : planes) {
        if (p.on)
            glEnable(p.plane);
        else
            glDisable(p.plane);
    }
}

void clean_context()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void drop_errors_context()
{
    for (int k = 0; k < 16 && glGetError() != GL_NO_ERROR; k++) { }
}
