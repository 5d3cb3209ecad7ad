// The vertex stage turns normals by rot itself. The stage it replaced turned
// them by the inverse transpose of rot, worked out for every vertex; the two
// must draw the same pictures for every orientation the viewer can hold.
#include <cmath>
#include <cstdlib>
#include <vector>

#include <cglm/cglm.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "context.h"
#include "gl_test.h"
#include "glsl.h"
#include "load.h"
#include "main.h"
#include "mesh.h"
#include "shader.h"

namespace {

// The former vertex stage, kept here as the reference picture's source.
const char* const inverse_transpose_vs = R"(#version 330 core
layout(location = 0) in float aPos_x;
layout(location = 1) in float aPos_y;
layout(location = 2) in float aPos_z;
layout(location = 3) in float aPos_w;
layout(location = 4) in float aNormal_x;
layout(location = 5) in float aNormal_y;
layout(location = 6) in float aNormal_z;
layout(location = 7) in float aNormal_w;

uniform float angle;
uniform float i;
uniform mat4 fix;
uniform mat4 rot;

out vec3 Normal;
out vec3 FragPos;

mat2 rotate2d(float a)
{
    return mat2(cos(a), sin(a), -sin(a), cos(a));
}

void main()
{
    vec3 n = vec3(aNormal_x, aNormal_y, aNormal_z);
    vec3 p = vec3(aPos_x, aPos_y, aPos_z);
    int k = int(i);
    n[k] = (vec2(n[k], aNormal_w) * rotate2d(angle)).x;
    p[k] = (vec2(p[k], aPos_w) * rotate2d(angle)).x;
    Normal = mat3(transpose(inverse(rot))) * n;
    gl_Position = fix * rot * vec4(p, 1.0);
    FragPos = vec3(rot * vec4(p, 1.0));
}
)";

// A bumpy sheet h(x, y) = 0.4 sin(3x) cos(2y) over [-1.5, 1.5]^2 with w = x y,
// its normals from the derivatives: every pixel sees another normal.
void drop_bumps()
{
    const int n = 24;
    std::vector<float> coords, normals;
    auto vertex = [&](int a, int b) {
        float x = -1.5f + 3.0f * a / n, y = -1.5f + 3.0f * b / n;
        float hx = 1.2f * std::cos(3 * x) * std::cos(2 * y), hy = -0.8f * std::sin(3 * x) * std::sin(2 * y);
        float length = std::sqrt(hx * hx + hy * hy + 1);
        coords.insert(coords.end(), {x, y, 0.4f * std::sin(3 * x) * std::cos(2 * y), x * y});
        normals.insert(normals.end(), {-hx / length, -hy / length, 1 / length, 0.0f});
    };
    for (int a = 0; a < n; a++) {
        for (int b = 0; b < n; b++) {
            for (auto [da, db] : {std::pair {0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}})
                vertex(a + da, b + db);
        }
    }
    drop_surface(4, coords, normals);
    choose_coordinates(0, 1, 2, 3);
}

std::vector<unsigned char> picture(unsigned int program, const float* q, float turn)
{
    rot_matrix_load(program, q);
    color_load(program, color);
    load_float_to_shader(program, "i", 2.0f);
    load_float_to_shader(program, "angle", turn);
    clean_context();
    draw_mesh(program, projection.mesh);
    std::vector<unsigned char> pixels(4 * 512 * 512);
    glReadPixels(0, 0, 512, 512, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

unsigned int program_with(const char* vertex_stage)
{
    unsigned int program = create_shader();
    EXPECT_TRUE(load_program_to_shader(program, vertex_stage, 0));
    EXPECT_TRUE(load_program_to_shader(program, fs, 1));
    fix_matrix_load(program, 1.0f);
    // The viewer's programs start with no 4-D turn, zoom 1 and no pan.
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, no_pan[2] = {0, 0};
    turn4_matrix_load(program, identity);
    zoom_load(program, 1.0f, no_pan);
    return program;
}

TEST(Stage, NormalsTurnedByRotDrawAsTheInverseTranspose)
{
    drop_bumps();
    unsigned int reference = program_with(inverse_transpose_vs);
    unsigned int turned = program_with(vs);

    struct Case {
        float axis[3], angle, turn;
    } cases[] = {
        {{0, 0, 1}, 0.0f, 0.0f},
        {{1, 0, 0}, 0.7f, 0.0f},
        {{0, 1, 0}, 2.5f, 0.0f},
        {{1, 2, 3}, 1.1f, 0.0f},
        {{-3, 1, 0.5f}, 4.0f, 0.8f},
        {{0.2f, -1, 0.7f}, 3.1f, 1.57f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("angle " + std::to_string(c.angle) + ", turn " + std::to_string(c.turn));
        versor q;
        vec3 axis = {c.axis[0], c.axis[1], c.axis[2]};
        glm_quatv(q, c.angle, axis);
        std::vector<unsigned char> want = picture(reference, q, c.turn), seen = picture(turned, q, c.turn);

        // The inverse is worked out in floats, so a channel may round the
        // other way; an error in the normal's turn moves whole regions by far
        // more than one step.
        int differing = 0, worst = 0, surface = 0;
        for (size_t k = 0; k < want.size(); k += 4) {
            surface += want[k] != 255 || want[k + 1] != 255 || want[k + 2] != 255;
            for (size_t channel = k; channel < k + 3; channel++) {
                int difference = std::abs(want[channel] - seen[channel]);
                worst = std::max(worst, difference);
                differing += difference > 0;
            }
        }
        EXPECT_GT(surface, 20000) << "the sheet must fill a good part of the view";
        EXPECT_LE(worst, 1);
        EXPECT_LE(differing, surface / 100);
    }
    destroy_shader(turned);
    destroy_shader(reference);
    for (unsigned int program : {shader, shader_plain})
        load_float_to_shader(program, "angle", 0.0f);
}

} // namespace
