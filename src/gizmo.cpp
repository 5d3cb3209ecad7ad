// The axes gizmo: four coloured lines from a corner, drawn with a program
// of its own.
#include "gizmo.h"

#include <cglm/cglm.h>

#include "load.h"
#include "platform.h"
#include "shader.h"

static const char* const gizmo_vs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aColor;

uniform mat4 rot;

out vec3 Color;

void main()
{
    // The camera's view without its perspective: +x to the left, and
    // depth kept within the clip volume for any orientation.
    vec4 turned = rot * vec4(aPos, 1.0);
    gl_Position = vec4(-turned.x, turned.y, -0.5 * turned.z, 1.0);
    Color = aColor;
}
)";

static const char* const gizmo_fs = R"(#version 330 core
in vec3 Color;

out vec4 FragColor;

void main()
{
    FragColor = vec4(Color, 1.0);
}
)";

static unsigned int program = 0;
static GLuint vertex_array = 0, buffer = 0;

static bool __make_gizmo()
{
    program = create_shader();
    if (!program || !load_program_to_shader(program, gizmo_vs, 0)
        || !load_program_to_shader(program, gizmo_fs, 1))
        return false;
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, 8 * 6 * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
    glVertexAttribPointer(
        1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    return true;
}

void draw_gizmo(const float* q, const float* turn4)
{
    if (!program && !__make_gizmo())
        return;
    static const float colours[4][3]
        = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.7f, 0.1f}, {0.1f, 0.2f, 0.95f}, {0.85f, 0.1f, 0.85f}};
    // Axis j of the surface shows as column j of turn4; what of it lies in
    // w is hidden, so the w axis grows as it turns into view.
    float lines[8][6] = {};
    for (int j = 0; j < 4; j++) {
        for (int k = 0; k < 3; k++) {
            lines[2 * j][3 + k] = lines[2 * j + 1][3 + k] = colours[j][k];
            lines[2 * j + 1][k] = 0.9f * turn4[4 * j + k];
        }
    }
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLint side = viewport[2] < viewport[3] ? viewport[2] : viewport[3];
    GLint corner = side / 4, margin = side / 64;
    // A picture may count rows from the top; the corner is the lower one.
    static const bool clip_control = has_gl_extension_platform("GL_ARB_clip_control");
    GLint origin = GL_LOWER_LEFT;
    if (clip_control)
        glGetIntegerv(GL_CLIP_ORIGIN, &origin);
    const bool top_first = origin == GL_UPPER_LEFT;
    GLint bottom = top_first ? viewport[1] + viewport[3] - margin - corner : viewport[1] + margin;
    glViewport(viewport[0] + margin, bottom, corner, corner);
    glDisable(GL_DEPTH_TEST);

    rot_matrix_load(program, q);
    glBindVertexArray(vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof lines, lines);
    glDrawArrays(GL_LINES, 0, 8);

    glEnable(GL_DEPTH_TEST);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void destroy_gizmo()
{
    if (!program)
        return;
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &vertex_array);
    destroy_shader(program);
    program = 0;
    vertex_array = buffer = 0;
}
