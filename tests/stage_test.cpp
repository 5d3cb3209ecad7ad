// The vertex stage turns positions and normals by the swap's turn and by
// rot itself. Its pictures must be those of the same sheet turned on the
// CPU beforehand and drawn unturned, for every orientation the viewer can
// hold, during a swap too.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include <cglm/cglm.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "draw/context.h"
#include "app/render.h"
#include "gl_test.h"
#include "draw/load.h"
#include "draw/mesh.h"
#include "draw/shader.h"
#include "core/view.h"

namespace {

// A bumpy sheet h(x, y) = 0.4 sin(3x) cos(2y) over [-1.5, 1.5]^2 with w = x y,
// its normals from the derivatives: every pixel sees another normal. Each
// vertex, position and normal alike, goes through turned before it is
// shown.
void drop_bumps(const std::function<void(float*, float*)>& turned)
{
    const int n = 24;
    std::vector<float> coords, normals;
    auto vertex = [&](int a, int b) {
        float x = -1.5f + 3.0f * a / n, y = -1.5f + 3.0f * b / n;
        float hx = 1.2f * std::cos(3 * x) * std::cos(2 * y), hy = -0.8f * std::sin(3 * x) * std::sin(2 * y);
        float length = std::sqrt(hx * hx + hy * hy + 1);
        float p[4] = {x, y, 0.4f * std::sin(3 * x) * std::cos(2 * y), x * y};
        float m[4] = {-hx / length, -hy / length, 1 / length, 0.0f};
        turned(p, m);
        coords.insert(coords.end(), p, p + 4);
        normals.insert(normals.end(), m, m + 4);
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

std::vector<unsigned char> picture(const float* q, float turn)
{
    rot_matrix_load(shader, q);
    color_load(shader, color);
    load_float_to_shader(shader, "i", 2.0f);
    load_float_to_shader(shader, "angle", turn);
    clean_context();
    draw_mesh(shader, shown_mesh());
    std::vector<unsigned char> pixels(4 * 512 * 512);
    glReadPixels(0, 0, 512, 512, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

TEST(Stage, TurnsAsTheSheetTurnedBeforehandDraws)
{
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
    const versor unturned = GLM_QUAT_IDENTITY_INIT;
    for (const Case& c : cases) {
        SCOPED_TRACE("angle " + std::to_string(c.angle) + ", turn " + std::to_string(c.turn));
        versor q;
        vec3 axis = {c.axis[0], c.axis[1], c.axis[2]};
        glm_quatv(q, c.angle, axis);
        drop_bumps([](float*, float*) {});
        std::vector<unsigned char> seen = picture(q, c.turn);
        // z toward w by the swap's turn, then the 3-D turn of q.
        drop_bumps([&](float* p, float* m) {
            for (float* v : {p, m}) {
                v[2] = v[2] * std::cos(c.turn) + v[3] * std::sin(c.turn);
                glm_quat_rotatev(q, v, v);
            }
        });
        std::vector<unsigned char> want = picture(unturned, 0.0f);

        // Rounding differs between the two ways, so a channel may come out a
        // step apart; an error in the turn moves whole regions by far more.
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
    for (unsigned int program : {shader, shader_plain})
        load_float_to_shader(program, "angle", 0.0f);
}

} // namespace
