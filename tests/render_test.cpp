// Pixels of real frames: the lit surface, its wireframe, white around it,
// the mirrored x axis of the camera and the centred square viewport.
#include <algorithm>
#include <cmath>
#include <vector>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "core/cues.h"
#include "app/render.h"
#include "gl_test.h"
#include "draw/load.h"
#include "core/motion.h"
#include "draw/shader.h"
#include "core/view.h"
#include "app/window.h"

namespace {

const Rgb white = {255, 255, 255};
const Rgb wire = {47, 60, 126};

// 1 / tan(15 degrees): the camera's scale at depth 0 is c / 7.
const double c = 2.0 + std::sqrt(3.0);

// The square -1 <= x, y <= 1 in the plane z = 0 with w = 0, as two
// triangles and one stray vertex that completes none, every vertex with the
// same normal.
void drop_square(std::initializer_list<float> normal = {0, 0, 1, 0})
{
    std::vector<float> coords
        = {-1, -1, 0, 0, 1, -1, 0, 0, 1, 1, 0, 0, -1, -1, 0, 0, 1, 1, 0, 0, -1, 1, 0, 0, 0.5, 0.5, 0, 0};
    std::vector<float> normals;
    for (int k = 0; k < 7; k++)
        normals.insert(normals.end(), normal);
    drop_surface(4, coords, normals);
}

// Expects the lit colour for the normal at pixels off the square's diagonal,
// where only the filled triangles reach.
void expect_lit(const double* normal)
{
    for (auto [px, py] : {std::pair {187, 187}, {256, 200}, {330, 290}, {300, 160}}) {
        double x = -((px + 0.5) / 256.0 - 1.0) * 7.0 / c;
        double y = ((py + 0.5) / 256.0 - 1.0) * 7.0 / c;
        Rgb expected = lit_colour(x, y, normal), seen = read_pixel(px, py);
        EXPECT_NEAR(seen.r, expected.r, 3) << "pixel " << px << ", " << py << ": " << seen;
        EXPECT_NEAR(seen.g, expected.g, 3) << "pixel " << px << ", " << py << ": " << seen;
        EXPECT_NEAR(seen.b, expected.b, 3) << "pixel " << px << ", " << py << ": " << seen;
    }
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

    const double facing_camera[3] = {0, 0, 1};
    expect_lit(facing_camera);

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

TEST(Render, NormalsTurnWithTheirCoordinate)
{
    // Normal along x in 3-D and along w: edge-on to the light at first; a
    // quarter turn of z toward w tilts it half way to the light.
    const float k = static_cast<float>(M_SQRT1_2);
    drop_square({k, 0, 0, k});
    choose_coordinates(0, 1, 2, 3);
    main_loop();
    const double along_x[3] = {1, 0, 0};
    expect_lit(along_x);

    for (unsigned int program : {shader, shader_plain}) {
        load_float_to_shader(program, "i", 2.0f);
        load_float_to_shader(program, "angle", static_cast<float>(M_PI / 2));
    }
    main_loop();
    const double tilted[3] = {M_SQRT1_2, 0, M_SQRT1_2};
    expect_lit(tilted);

    for (unsigned int program : {shader, shader_plain}) {
        load_float_to_shader(program, "i", 0.0f);
        load_float_to_shader(program, "angle", 0.0f);
    }
}

// A file may hold values that are not numbers, or too large to project; they
// are drawn as the driver draws them, and the next surface is drawn whole.
TEST(Render, NonFiniteValuesAreDrawnAndTheNextSurfaceShowsWhole)
{
    const float nan = NAN, inf = HUGE_VALF;
    const std::vector<float> coords = {-1, -1, 0, 0, 1, -1, 0, 0, 1, 1, 0, 0};
    const std::vector<float> normals = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0};
    struct Row {
        const char* what;
        int array; // 0 coordinates, 1 normals
        size_t index;
        float value;
    } rows[] = {
        {"NaN in x", 0, 4, nan},
        {"infinity in z", 0, 10, inf},
        {"minus infinity in w", 0, 3, -inf},
        {"past what a product can hold", 0, 0, 3e38f},
        {"NaN in a normal", 1, 2, nan},
        {"infinite normal", 1, 6, -inf},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<float> arrays[2] = {coords, normals};
        arrays[row.array][row.index] = row.value;
        drop_surface(4, arrays[0], arrays[1]);
        main_loop();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        for (auto [px, py] : {std::pair {5, 5}, {506, 506}})
            EXPECT_EQ(read_pixel(px, py), white) << "pixel " << px << ", " << py;

        drop_square();
        main_loop();
        const double facing_camera[3] = {0, 0, 1};
        expect_lit(facing_camera);
    }
    // The same values in every vertex.
    drop_surface(4, filled(12, nan), filled(12, inf));
    main_loop();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    drop_square();
    main_loop();
    const double facing_camera[3] = {0, 0, 1};
    expect_lit(facing_camera);
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

TEST(Render, ShapeLightingNeedsNoNormalsAndFollowsTheTurn)
{
    // Zero normals draw the square nearly black with the file's lighting;
    // lit by its shape, it faces the camera, and after a 4-D turn that
    // tilts it about y by 60 degrees (x toward w, the square's own w being
    // 0), it is lit as the tilted plane is.
    drop_square({0, 0, 0, 0});
    choose_coordinates(0, 1, 2, 3);
    View shaped = view;
    shaped.light = LIGHT_SHAPE;
    set_view(&shaped);
    main_loop();
    const double facing_camera[3] = {0, 0, 1};
    expect_lit(facing_camera);

    // Shrinking x by cos 60 keeps the square in the plane z = 0: the
    // shape's normal stays along z, whatever the file says.
    turn_plane_motion(0, 3, static_cast<float>(M_PI / 3));
    main_loop();
    Rgb seen = read_pixel(256, 200);
    double y = ((200 + 0.5) / 256.0 - 1.0) * 7.0 / c;
    Rgb expected = lit_colour(0.0, y, facing_camera);
    EXPECT_NEAR(seen.r, expected.r, 3) << seen;
    EXPECT_NEAR(seen.b, expected.b, 3) << seen;

    set_view(&initial_view);
    main_loop();
    seen = read_pixel(256, 200);
    EXPECT_LT(seen.b, expected.b - 40) << "with the file's zero normals the square is dark: " << seen;
}

TEST(Render, WireframeIsWholeOverTheSurface)
{
    // The square's diagonal is an edge of both triangles, drawn over the
    // filled surface at the same depth: every row crossing it inside the
    // square must show the line, not about every other one.
    drop_square();
    main_loop();
    double edge = 256.0 * c / 7.0;
    int rows = 0, whole = 0;
    for (int py = static_cast<int>(256 - edge) + 6; py < static_cast<int>(256 + edge) - 6; py++, rows++) {
        bool found = false;
        // x is drawn mirrored: the diagonal x = y runs from lower right to upper left.
        for (int px = 509 - py; px <= 513 - py; px++)
            found |= read_pixel(px, py) == wire;
        whole += found;
    }
    EXPECT_GT(rows, 200);
    EXPECT_EQ(whole, rows);
}

TEST(Render, EveryTriangleOfALongSurfaceIsDrawn)
{
    // Coloured by w, long surfaces are drawn a range of triangles at a time,
    // many ranges a call: one triangle in each quarter of the picture, the
    // first and last of the first call and of the next, which ends short.
    // The others lie out of sight.
    const uint64_t call = 64 * 4096, triangles = call + 64 + 3;
    const uint64_t seen[4] = {0, call - 1, call, triangles - 1};
    const float centres[4][2] = {{0.8f, 0.8f}, {-0.8f, 0.8f}, {0.8f, -0.8f}, {-0.8f, -0.8f}};
    std::vector<float> coords(12 * triangles, 100.0f), normals;
    for (int k = 0; k < 4; k++) {
        auto [x, y] = centres[k];
        const float corners[12] = {x - 0.3f, y - 0.3f, 0, 0, x + 0.3f, y - 0.3f, 0, 0, x, y + 0.3f, 0, 0};
        std::copy(corners, corners + 12, coords.begin() + 12 * seen[k]);
    }
    for (uint64_t v = 0; v < 3 * triangles; v++)
        normals.insert(normals.end(), {0, 0, 1, 0});
    drop_surface(4, coords, normals);
    View tinted = view;
    tinted.cues.tint = TINT_W;
    set_view(&tinted);
    main_loop();
    set_view(&initial_view);
    for (auto [x, y] : centres) {
        int px = static_cast<int>(256.0 * (1.0 - x * c / 7.0));
        int py = static_cast<int>(256.0 * (1.0 + (y - 0.1) * c / 7.0));
        EXPECT_NE(read_pixel(px, py), white) << "the triangle about " << x << ", " << y;
    }
    EXPECT_EQ(read_pixel(256, 256), white);
}

// The square again with w = y: +1 along its top edge, -1 along its bottom.
void drop_square_w()
{
    std::vector<float> coords
        = {-1, -1, 0, -1, 1, -1, 0, -1, 1, 1, 0, 1, -1, -1, 0, -1, 1, 1, 0, 1, -1, 1, 0, 1};
    std::vector<float> normals;
    for (int k = 0; k < 6; k++)
        normals.insert(normals.end(), {0, 0, 1, 0});
    drop_surface(4, coords, normals);
    choose_coordinates(0, 1, 2, 3);
}

// Rows of the frame with any pixel drawn, and the drawn width of a row.
int drawn_width(int row)
{
    int width = 0;
    for (int x = 0; x < 512; x++)
        width += !(read_pixel(x, row) == white);
    return width;
}

TEST(Render, CuesToWOnASquareWhoseWIsItsHeight)
{
    drop_square_w();
    double edge = 256.0 * c / 7.0;
    int top = static_cast<int>(256 + edge) - 8, bottom = static_cast<int>(256 - edge) + 8;

    // Coloured by w: red at the top, blue at the bottom, grey between;
    // s is the length of (1, 1, 0, 1), so the top is at 0.79 of the map.
    View tinted = view;
    tinted.cues.tint = TINT_W;
    set_view(&tinted);
    main_loop();
    EXPECT_FLOAT_EQ(view.reach, std::sqrt(3.0f));
    Rgb high = read_pixel(230, top), low = read_pixel(230, bottom), middle = read_pixel(230, 256);
    EXPECT_GT(high.r, high.b + 60) << high;
    EXPECT_GT(low.b, low.r + 60) << low;
    EXPECT_NEAR(middle.r, middle.b, 25) << middle;
    EXPECT_GT(middle.g, 180) << "lit without washing out: " << middle;

    // The slice about w = 0.5, 0.1 wide: only rows at heights 0.4 to 0.6.
    View sliced = view;
    sliced.cues.slice = true;
    sliced.cues.slice_at = 0.5f;
    sliced.cues.slice_width = 0.1f;
    set_view(&sliced);
    main_loop();
    for (auto [height, drawn] :
        {std::pair {0.5, true}, {0.42, true}, {0.58, true}, {0.3, false}, {0.7, false}, {-0.5, false}})
        EXPECT_EQ(drawn_width(static_cast<int>(256 + height * edge)) > 0, drawn) << "height " << height;

    // From an eye at 3 on the w axis the top, at w = 1, is scaled by 3 / 2
    // and the bottom, at w = -1, by 3 / 4: wider at +w.
    View seen_from_eye = view;
    seen_from_eye.cues = initial_view.cues;
    seen_from_eye.cues.eye4 = true;
    seen_from_eye.cues.eye4_at = 3.0f;
    set_view(&seen_from_eye);
    main_loop();
    // A row drawn at height Y shows the point at y = 3 Y / (3 + Y), and the
    // square's width there is scaled by (3 + Y) / 3.
    int high_row = drawn_width(static_cast<int>(256 + 1.4 * edge)),
        low_row = drawn_width(static_cast<int>(256 - 0.7 * edge));
    EXPECT_NEAR(high_row, 2 * edge * 4.4 / 3, 3);
    EXPECT_NEAR(low_row, 2 * edge * 2.3 / 3, 3);

    set_view(&initial_view);
    main_loop();
}

} // namespace
