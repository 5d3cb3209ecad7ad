// Overlays: a program of two-dimensional flat colour and a buffer that
// every draw fills anew.
#include "draw/overlay.h"

#include <cstddef>

#include "draw/platform.h"
#include "draw/shader.h"

static const char* const overlay_vs = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec3 aColor;

out vec3 Color;

void main()
{
    gl_Position = vec4(aPos, 0.0, 1.0);
    Color = aColor;
}
)";

static const char* const overlay_fs = R"(#version 330 core
in vec3 Color;

out vec4 FragColor;

void main()
{
    FragColor = vec4(Color, 1.0);
}
)";

static unsigned int program = 0;
static GLuint vertex_array = 0, buffer = 0;

static bool __make_overlay()
{
    program = create_shader();
    if (!program || !load_program_to_shader(program, overlay_vs, 0)
        || !load_program_to_shader(program, overlay_fs, 1))
        return false;
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const GLsizei stride = sizeof(OverlayVertex);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, nullptr);
    glVertexAttribPointer(
        1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(OverlayVertex, r)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    return true;
}

void draw_overlay(const OverlayVertex* vertices, int count, bool lines)
{
    if (count <= 0 || (!program && !__make_overlay()))
        return;
    glDisable(GL_DEPTH_TEST);
    use_shader(program);
    glBindVertexArray(vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(
        GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count * sizeof *vertices), vertices, GL_STREAM_DRAW);
    // The wireframe leaves triangles drawn as lines.
    if (!lines)
        polygon_mode_platform(GL_FILL);
    glDrawArrays(lines ? GL_LINES : GL_TRIANGLES, 0, count);
    glEnable(GL_DEPTH_TEST);
}

int corner_overlay(bool right, int* whole)
{
    glGetIntegerv(GL_VIEWPORT, whole);
    int side = whole[2] < whole[3] ? whole[2] : whole[3];
    int corner = side / 4, margin = side / 64;
    // A picture may count rows from the top; the corner is a lower one.
    static const bool clip_control = has_gl_extension_platform("GL_ARB_clip_control");
    GLint origin = GL_LOWER_LEFT;
    if (clip_control)
        glGetIntegerv(GL_CLIP_ORIGIN, &origin);
    int bottom = origin == GL_UPPER_LEFT ? whole[1] + whole[3] - margin - corner : whole[1] + margin;
    int left = right ? whole[0] + whole[2] - margin - corner : whole[0] + margin;
    glViewport(left, bottom, corner, corner);
    return side;
}

void destroy_overlay()
{
    if (!program)
        return;
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &vertex_array);
    destroy_shader(program);
    program = 0;
    vertex_array = buffer = 0;
}
