// Lines and points go through what a surface goes through: they land where
// X F^T puts them under a frame of R^m, are as wide as asked in the window
// and in pictures, and show in stereo and through a transparent surface.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "app/course.h"
#include "app/input.h"
#include "app/render.h"
#include "core/frame.h"
#include "core/view.h"
#include "draw/picture.h"
#include "draw/shapes.h"
#include "gl_test.h"

namespace {

const Rgb white = {255, 255, 255};

// 1 / tan(15 degrees): at depth 0 the camera shows x in [-7 / c, 7 / c].
const double c = 2.0 + std::sqrt(3.0);

// The pixel (column, row from the bottom) of a shown point (x, y, 0) in a
// picture side pixels wide; the camera draws +x to the left.
int column(double x, int side = 512)
{
    return static_cast<int>(std::floor(side / 2.0 * (1.0 - x * c / 7.0)));
}

int row(double y, int side = 512)
{
    return static_cast<int>(std::floor(side / 2.0 * (1.0 + y * c / 7.0)));
}

// A shape whose shown (x, y, z, w) are the given ones, lifted into R^dim
// through frame: c = F^T s, so that F c = s.
ShapeData lifted(ShapeKind kind, const Frame& frame, const std::vector<float>& shown)
{
    ShapeData data = {};
    data.kind = kind;
    data.dim = frame.dim;
    data.vertex_count = shown.size() / 4;
    data.coords = static_cast<float*>(calloc(data.vertex_count * frame.dim, sizeof(float)));
    for (uint64_t v = 0; v < data.vertex_count; v++)
        for (int k = 0; k < frame.dim; k++)
            for (int i = 0; i < 4; i++)
                data.coords[v * frame.dim + k] += frame.rows[i][k] * shown[4 * v + i];
    if (kind == SHAPE_LINES) {
        data.joins = static_cast<uint8_t*>(calloc(data.vertex_count, 1));
        memset(data.joins, 1, data.vertex_count - 1);
    }
    return data;
}

// Puts the shapes on show in place of everything, through frame.
void show_shapes(std::vector<ShapeData> list, const Frame& frame)
{
    clear_shapes();
    for (ShapeData& data : list) {
        ASSERT_TRUE(add_shapes(&data, 0));
        free_shape(&data);
    }
    View plain = initial_view;
    plain.dim = frame.dim;
    set_view(&plain);
    choose_coordinates(0, 1, 2, 3);
    reset_input();
    __window_callback_input(nullptr, 512, 512);
    show_frame_course(&frame);
}

// How many pixels of column x, from row y - 20 to y + 20, are not white.
int drawn_across(int x, int y)
{
    int drawn = 0;
    for (int k = y - 20; k <= y + 20; k++)
        drawn += !(read_pixel(x, k) == white);
    return drawn;
}

Frame frame_of(uint8_t dim, uint64_t seed)
{
    Frame f = {};
    if (seed == 0) {
        const uint8_t first[4] = {0, 1, 2, 3};
        choice_frame(first, dim, &f);
    } else {
        random_frame(&seed, dim, &f);
    }
    return f;
}

TEST(Shapes, LinesAndPointsLandWhereTheFramePutsThem)
{
    // A choice of R^4, a frame fetched in R^5, and frames of R^10 and R^29.
    for (auto [dim, seed] : {std::pair {4, 0}, {5, 7}, {10, 3}, {29, 11}}) {
        SCOPED_TRACE("R^" + std::to_string(dim));
        Frame f = frame_of(static_cast<uint8_t>(dim), static_cast<uint64_t>(seed));
        // The line in 10,000 segments: more than one batch of them.
        std::vector<float> line;
        for (int k = 0; k <= 10000; k++)
            line.insert(line.end(), {-1.0f + k / 5000.0f, -0.5f, 0, 0});
        show_shapes({lifted(SHAPE_LINES, f, line), lifted(SHAPE_POINTS, f, {0.5f, 0.5f, 0, 0})}, f);
        main_loop();
        // The line is 2 pixels wide, give or take its anti-aliased edges.
        int across = drawn_across(column(0.0), row(-0.5));
        EXPECT_GE(across, 2);
        EXPECT_LE(across, 4);
        EXPECT_FALSE(read_pixel(column(0.9), row(-0.5)) == white);
        EXPECT_EQ(read_pixel(column(1.1), row(-0.5)), white) << "past the line's end";
        // The point is a disc 4 pixels across.
        EXPECT_FALSE(read_pixel(column(0.5), row(0.5)) == white);
        EXPECT_EQ(read_pixel(column(0.5) + 4, row(0.5)), white);
        EXPECT_EQ(read_pixel(column(0.5), row(0.5) - 4), white);
        // Read back across the pieces the line went up in, spending its arrays.
        ShapeData again = lifted(SHAPE_LINES, f, line);
        std::vector<float> part(again.vertex_count * dim);
        const float* read = read_shapes(0, 0, again.vertex_count, part.data());
        for (size_t k = 0; k < part.size(); k++)
            ASSERT_EQ(read[k], again.coords[k]) << "vertex " << k / dim;
        free_shape(&again);
    }
}

TEST(Shapes, WidthsAndSizesAreInPixelsOfTheWindowAndScaleInPictures)
{
    Frame f = frame_of(4, 0);
    for (float width : {1.0f, 2.0f, 6.0f, 12.0f}) {
        SCOPED_TRACE("width " + std::to_string(width));
        show_shapes({lifted(SHAPE_LINES, f, {-1.0f, 0, 0, 0, 1.0f, 0, 0, 0}),
                        lifted(SHAPE_POINTS, f, {0.6f, 0.6f, 0, 0})},
            f);
        View next = view;
        next.finish.line_width = width;
        next.finish.point_size = width;
        set_view(&next);
        main_loop();
        EXPECT_NEAR(drawn_across(column(0.3), row(0.0)), width, 1.5);
        EXPECT_NEAR(drawn_across(column(0.6), row(0.6)), width, 1.5);

        // Twice the window's side: twice as wide.
        int viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        Picture picture;
        ASSERT_TRUE(create_picture(1024, &picture));
        main_loop();
        std::vector<unsigned char> rgb(3 * 1024 * 1024);
        read_picture(&picture, rgb.data());
        destroy_picture(&picture);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        int drawn = 0, x = column(0.3, 1024);
        for (int y = row(0.0, 1024) - 40; y <= row(0.0, 1024) + 40; y++) {
            const unsigned char* p = &rgb[3 * ((1023 - y) * 1024 + x)];
            drawn += p[0] + p[1] + p[2] != 3 * 255;
        }
        EXPECT_NEAR(drawn, 2 * width, 2.5);
    }
}

TEST(Shapes, LinesShowInStereoAndThroughATransparentSurface)
{
    Frame f = frame_of(4, 0);
    // A square at depth 0.5, behind a line at depth 0.
    std::vector<float> square = {-1, -1, 0.5f, 0, 1, -1, 0.5f, 0, 1, 1, 0.5f, 0, -1, -1, 0.5f, 0, 1, 1, 0.5f, 0, -1,
        1, 0.5f, 0};
    ShapeData faces = lifted(SHAPE_TRIANGLES, f, square);
    ShapeData line = lifted(SHAPE_LINES, f, {-0.5f, 0.2f, 0, 0, 0.5f, 0.2f, 0, 0});
    show_shapes({faces, line}, f);
    struct Case {
        const char* name;
        float opacity;
        Stereo stereo;
    } cases[] = {{"opaque", 1.0f, STEREO_OFF}, {"transparent", 0.4f, STEREO_OFF},
        {"red-cyan", 1.0f, STEREO_ANAGLYPH}, {"side by side", 1.0f, STEREO_SIDE_BY_SIDE}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        View next = initial_view;
        next.finish.opacity = k.opacity;
        next.finish.stereo = k.stereo;
        next.cues.wire = false;
        set_view(&next);
        for (int s = 1; s < shape_count; s++)
            shapes[s].shown = false;
        main_loop();
        // Side by side, the left eye's view is a square of half the side,
        // in the middle of the left half.
        bool halved = k.stereo == STEREO_SIDE_BY_SIDE;
        int y = halved ? 128 + row(0.2, 256) : row(0.2);
        int from = halved ? column(0.4, 256) : column(0.4), to = halved ? column(-0.4, 256) : column(-0.4);
        std::vector<Rgb> without;
        for (int x = from; x < to; x += 2)
            without.push_back(read_pixel(x, y));
        for (int s = 1; s < shape_count; s++)
            shapes[s].shown = true;
        main_loop();
        int changed = 0;
        for (int x = from, i = 0; x < to; x += 2, i++)
            changed += !(read_pixel(x, y) == without[i]);
        EXPECT_GT(changed, 5) << "the line changes few pixels of its row";
    }
}

TEST(Shapes, PointsOverlapAsBallsDoInOnePass)
{
    // A near point, then a far one 8 pixels to its side, half hidden behind
    // it; a third behind a square. Drawn in one pass, the near point's
    // anti-aliased edge must not cut the far one's middle away: the near
    // one's centre lies a quarter of a pixel off the grid, so that its edge
    // covers the pixels beside it in part.
    Frame f = frame_of(4, 0);
    const float quarter = -0.25f * 7.0f / static_cast<float>(256 * c);
    ShapeData points = lifted(SHAPE_POINTS, f, {quarter, 0, 0, 0, -0.06f, 0, 0.5f, 0, 0.6f, 0.6f, 1.0f, 0});
    points.colors = static_cast<uint8_t*>(malloc(12));
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 255};
    for (int v = 0; v < 3; v++)
        memcpy(points.colors + 4 * v, v == 1 ? blue : red, 4);
    ShapeData square = lifted(SHAPE_TRIANGLES, f, {0.4f, 0.4f, 0.8f, 0, 0.8f, 0.4f, 0.8f, 0, 0.8f, 0.8f, 0.8f, 0});
    show_shapes({square, points}, f);
    View next = view;
    next.finish.point_size = 12;
    next.cues.wire = false;
    set_view(&next);
    main_loop();
    int y = row(0.0), near = column(0.0), far = column(-0.06);
    Rgb middle = read_pixel(near, y);
    EXPECT_GT(middle.r, 2 * middle.b) << middle;
    for (int x = near + 6; x <= far + 3; x++) {
        Rgb p = read_pixel(x, y);
        EXPECT_GT(p.b, 2 * p.r) << "column " << x - near << " past the near point: " << p;
    }
    Rgb behind = read_pixel(column(0.6), row(0.6));
    EXPECT_FALSE(behind.r > 2 * behind.g) << "a point behind the square shows: " << behind;
}

TEST(Shapes, ALineThroughATransparentSurfaceLeavesNoLightSpecks)
{
    // A pale line between the first of three squares and the two behind:
    // seen through the first, no pixel of it or beside it may come out
    // lighter than the squares alone or the line's own middle, as pixels it
    // covers in part would where they let the background in.
    Frame f = frame_of(4, 0);
    std::vector<float> squares;
    for (float z : {0.5f, 0.7f, 0.9f})
        squares.insert(squares.end(), {-1, -1, z, 0, 1, -1, z, 0, 1, 1, z, 0, -1, -1, z, 0, 1, 1, z, 0, -1, 1, z, 0});
    ShapeData line = lifted(SHAPE_LINES, f, {-0.6f, -0.3f, 0.6f, 0, 0.6f, 0.1f, 0.6f, 0});
    line.colors = static_cast<uint8_t*>(malloc(8));
    const uint8_t pale[8] = {255, 240, 120, 255, 255, 240, 120, 255};
    memcpy(line.colors, pale, 8);
    show_shapes({lifted(SHAPE_TRIANGLES, f, squares), line}, f);
    auto light = [](Rgb p) { return p.r + p.g + p.b; };
    View next = view;
    next.finish.opacity = 0.5f;
    next.finish.line_width = 9;
    next.cues.wire = false;
    set_view(&next);
    main_loop();
    int middle = light(read_pixel(column(0.0), row(-0.1)));
    next.finish.line_width = 2;
    set_view(&next);
    main_loop();
    int most = std::max(middle, light(read_pixel(column(0.0), row(0.5)))) + 12, lighter = 0;
    for (int x = column(0.4); x < column(-0.4); x++)
        for (int y = row(-0.3); y < row(0.1); y++)
            lighter += light(read_pixel(x, y)) > most;
    EXPECT_EQ(lighter, 0);
}

} // namespace
