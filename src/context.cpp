// The GL context: entry points through libepoxy (or the browser's WebGL 2),
// depth test, clear colour.
#include "context.h"

#include <cstdio>

#include <GLFW/glfw3.h>

#include "platform.h"

int init_context()
{
#ifdef __EMSCRIPTEN__
    // The window asked for WebGL 2 alone, so a context is one.
    return glfwGetCurrentContext() != nullptr;
#else
    // libepoxy resolves entry points on first use; what remains to check is
    // that there is a context and that it offers what the program calls.
    if (!glfwGetCurrentContext())
        return 0;
    return epoxy_is_desktop_gl() && epoxy_gl_version() >= 33;
#endif
}

void describe_context(char* text, size_t size)
{
    if (!glfwGetCurrentContext()) {
        snprintf(text, size, "no current GL context");
        return;
    }
#ifdef __EMSCRIPTEN__
    snprintf(text, size, "%s", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
#else
    int version = epoxy_gl_version();
    snprintf(text, size, "%s %d.%d", epoxy_is_desktop_gl() ? "OpenGL" : "OpenGL ES",
        version / 10, version % 10);
#endif
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
#ifdef __EMSCRIPTEN__
    if (!clip_distance_platform())
        return;
#endif
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
