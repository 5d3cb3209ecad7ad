// Pixels of real frames: the lit surface, its wireframe, white around it,
// the mirrored x axis of the camera and the centred square viewport.
#include <cmath>
#include <vector>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "gl_test.h"
#include "load.h"
#include "main.h"
#include "window.h"

namespace {

const Rgb white = {255, 255, 255};
const Rgb wire = {47, 60, 126};

// 1 / tan(15 degrees): the camera's scale at depth 0 is c / 7.
const double c = 2.0 + std::sqrt(3.0);

// The square -1 <= x, y <= 1 in the plane z = 0 with w = 2, facing the
// camera, as two triangles and one stray vertex that completes none.
void drop_square()
{
    std::vector<float> coords
        = {-1, -1, 0, 2, 1, -1, 0, 2, 1, 1, 0, 2, -1, -1, 0, 2, 1, 1, 0, 2, -1, 1, 0, 2, 0.5, 0.5, 0, 2};
    std::vector<float> normals;
    for (int k = 0; k < 7; k++)
        normals.insert(normals.end(), {0, 0, 1, 0});
    drop_surface(4, coords, normals);
}

// The lit colour of the square at (x, y, 0), worked out from the shading:
// viewer and light at (0, 0, -15), normal along z.
Rgb lit(double x, double y)
{
    double to_light = std::sqrt(x * x + y * y + 15.0 * 15.0);
    double facing = 15.0 / to_light; // |cos| of normal and light; the halfway vector is the light's
    double strength = 0.5 + 0.5 * facing + std::pow(facing, 32.0);
    auto channel = [&](int byte) {
        return static_cast<int>(std::lround(255.0 * std::pow(strength * byte / 255.0, 1.0 / 2.2)));
    };
    auto clamp = [](int v) { return v > 255 ? 255 : v; };
    return {clamp(channel(color[0])), clamp(channel(color[1])), clamp(channel(color[2]))};
}

// The point of the plane z = 0 seen at the centre of pixel (px, py) of the
// 512 x 512 view.
void world_at(int px, int py, double* x, double* y)
{
    *x = -((px + 0.5) / 256.0 - 1.0) * 7.0 / c;
    *y = ((py + 0.5) / 256.0 - 1.0) * 7.0 / c;
}

struct Box {
    int left = 1 << 30, bottom = 1 << 30, right = -1, top = -1;
};

// The smallest box around every pixel that is not white.
Box drawn_box(int width, int height)
{
    std::vector<unsigned char> pixels(4 * width * height);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    Box box;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const unsigned char* p = &pixels[4 * (y * width + x)];
            if (p[0] + p[1] + p[2] == 3 * 255)
                continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.bottom = std::min(box.bottom, y);
            box.top = std::max(box.top, y);
        }
    }
    return box;
}

TEST(Render, SquareIsLitInsideOutlinedAndWhiteAround)
{
    drop_square();
    main_loop();

    // Off the diagonal, where only the filled triangles reach.
    for (auto [px, py] : {std::pair {187, 187}, {256, 200}, {330, 290}, {300, 160}}) {
        double x, y;
        world_at(px, py, &x, &y);
        Rgb expected = lit(x, y), seen = read_pixel(px, py);
        EXPECT_NEAR(seen.r, expected.r, 3) << "pixel " << px << ", " << py << ": " << seen;
        EXPECT_NEAR(seen.g, expected.g, 3) << "pixel " << px << ", " << py << ": " << seen;
        EXPECT_NEAR(seen.b, expected.b, 3) << "pixel " << px << ", " << py << ": " << seen;
    }

    // The outline crosses row 300 at x = 1 (left) and x = -1 (right), and
    // column 300 at y = 1 (top) and y = -1 (bottom).
    double edge = 256.0 * c / 7.0;
    struct Scan {
        int from_x, from_y, step_x, step_y;
    } scans[] = {
        {static_cast<int>(256 - edge) - 4, 300, 1, 0},
        {static_cast<int>(256 + edge) - 4, 300, 1, 0},
        {300, static_cast<int>(256 + edge) - 4, 0, 1},
        {300, static_cast<int>(256 - edge) - 4, 0, 1},
    };
    for (const Scan& scan : scans) {
        bool found = false;
        for (int k = 0; k < 9; k++)
            found |= read_pixel(scan.from_x + k * scan.step_x, scan.from_y + k * scan.step_y) == wire;
        EXPECT_TRUE(found) << "no wireframe pixel from " << scan.from_x << ", " << scan.from_y;
    }

    for (auto [px, py] : {std::pair {5, 5}, {506, 506}, {256, 60}, {60, 256}, {450, 256}})
        EXPECT_EQ(read_pixel(px, py), white) << "pixel " << px << ", " << py;
}

TEST(Render, PositiveXIsDrawnLeftOfCentre)
{
    std::vector<float> coords = {0.2f, -0.5f, 0, 0, 1.0f, -0.5f, 0, 0, 0.6f, 0.5f, 0, 0};
    drop_surface(4, coords, {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0});
    main_loop();
    Box box = drawn_box(512, 512);
    EXPECT_LT(box.right, 256);
    EXPECT_GT(box.left, 100);
}

TEST(Render, SquareStaysCentredInAWideWindow)
{
    drop_square();
    glfwSetWindowSize(window, 800, 600);
    // Frames go on as in the viewer, which takes the resize event and
    // lets GL see the larger window.
    int width = 0, height = 0;
    for (int k = 0; k < 100 && (width != 800 || height != 600); k++) {
        is_open_window(window);
        glfwGetFramebufferSize(window, &width, &height);
    }
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 600);
    is_open_window(window);

    main_loop();
    Box box = drawn_box(800, 600);
    EXPECT_NEAR((box.left + box.right) / 2.0, 399.5, 1.0);
    EXPECT_NEAR((box.bottom + box.top) / 2.0, 299.5, 1.0);
    EXPECT_NEAR(box.right - box.left, box.top - box.bottom, 1);
    // The square spans c / 7 of the 600-pixel view on each side of the centre.
    EXPECT_NEAR(box.right - box.left + 1, 600 * c / 7, 3);

    glfwSetWindowSize(window, 512, 512);
    for (int k = 0; k < 100 && (width != 512 || height != 512); k++) {
        is_open_window(window);
        glfwGetFramebufferSize(window, &width, &height);
    }
    is_open_window(window);
}

} // namespace
