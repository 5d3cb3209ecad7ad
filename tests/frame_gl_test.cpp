// A surface seen through a frame of R^m is the surface X F^T, normals N F^T,
// in the plain view: pixel for pixel up to float rounding, in every lighting
// and with every cue, whether the frame is fetched by the vertex stage or
// worked out on the CPU.
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <cglm/cglm.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "draw/context.h"
#include "app/course.h"
#include "core/frame.h"
#include "draw/gizmo.h"
#include "gl_test.h"
#include "app/input.h"
#include "app/render.h"
#include "draw/smooth.h"
#include "draw/stream.h"
#include "core/view.h"
#include "app/window.h"

namespace {

// A closed surface in R^dim that every shown coordinate crosses: a torus
// with its two circles tilted into the last coordinates, from the sixth on
// each a little its own way, its normals not those of the surface, so that
// a wrong turn of them shows. n cells each way.
void surface_in(int dim, std::vector<float>* coords, std::vector<float>* normals, int n = 20)
{
    auto vertex = [&](int a, int b) {
        double u = 2 * M_PI * a / n, v = 2 * M_PI * b / n;
        std::vector<double> c = {std::cos(u), std::sin(u), 0.5 * std::cos(v), 0.5 * std::sin(v),
            0.3 * std::cos(u + v), 0.2 * std::sin(2 * u)};
        std::vector<double> m
            = {std::cos(u) * std::cos(v), std::sin(u), std::sin(v), 0.2, -0.3 * std::cos(v), 0.1};
        for (int k = 6; k < dim; k++) {
            c.push_back(0.2 * std::cos(k * u + v));
            m.push_back(0.1 * std::sin(u - k * v));
        }
        double length = 0;
        for (int k = 0; k < dim; k++)
            length += m[k] * m[k];
        for (int k = 0; k < dim; k++) {
            coords->push_back(static_cast<float>(0.8 * c[k]));
            normals->push_back(static_cast<float>(m[k] / std::sqrt(length)));
        }
    };
    for (int a = 0; a < n; a++)
        for (int b = 0; b < n; b++)
            for (auto [da, db] : {std::pair {0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}})
                vertex(a + da, b + db);
}

// x F^T for each vertex of m coordinates.
std::vector<float> through(const std::vector<float>& x, const Frame& f)
{
    std::vector<float> y;
    for (size_t v = 0; v < x.size() / f.dim; v++)
        for (const float* row : f.rows) {
            double sum = 0;
            for (int k = 0; k < f.dim; k++)
                sum += static_cast<double>(row[k]) * x[v * f.dim + k];
            y.push_back(static_cast<float>(sum));
        }
    return y;
}

std::vector<unsigned char> pixels()
{
    std::vector<unsigned char> p(4 * 512 * 512);
    glReadPixels(0, 0, 512, 512, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
}

// Channels a step apart are rounding; a wrong turn moves whole regions.
void expect_alike(const std::vector<unsigned char>& want, const std::vector<unsigned char>& seen)
{
    int differing = 0, worst = 0, surface = 0;
    for (size_t k = 0; k < want.size(); k += 4) {
        surface += want[k] != 255 || want[k + 1] != 255 || want[k + 2] != 255;
        for (size_t c = k; c < k + 3; c++) {
            worst = std::max(worst, std::abs(want[c] - seen[c]));
            differing += want[c] != seen[c];
        }
    }
    EXPECT_GT(surface, 2000) << "the surface must fill a part of the view";
    EXPECT_LE(worst, 2);
    EXPECT_LE(differing, surface / 50);
}

TEST(Frame, ASurfaceThroughAFrameIsItsImageInThePlainView)
{
    std::vector<float> coords, normals;
    surface_in(6, &coords, &normals);
    uint64_t seed = 11;
    Frame f;
    random_frame(&seed, 6, &f);
    std::vector<float> image = through(coords, f), image_normals = through(normals, f);

    Cues off = initial_view.cues;
    struct Case {
        const char* what;
        Light light;
        Cues cues;
    } cases[] = {
        {"the file's normals", LIGHT_FILE, off},
        {"the shape's normals", LIGHT_SHAPE, off},
        {"colour by w", LIGHT_SHAPE, {TINT_W, false, 0, 0, false, 0, false, true, 0, false, false}},
        {"a slice", LIGHT_FILE, {TINT_FIXED, true, 0.1f, 0.15f, false, 0, false, true, 0, false, false}},
        {"the 4-D eye", LIGHT_FILE, {TINT_FIXED, false, 0, 0, true, 2.5f, false, false, 0, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        View next = initial_view;
        next.light = c.light;
        next.cues = c.cues;
        set_view(&next);
        drop_surface(4, image, image_normals);
        choose_coordinates(0, 1, 2, 3);
        main_loop();
        std::vector<unsigned char> want = pixels();

        drop_surface(6, coords, normals);
        show_frame_course(&f);
        ASSERT_TRUE(view.framed);
        main_loop();
        expect_alike(want, pixels());

        // The same frame worked out on the CPU, drawn by the plain stage.
        if (c.cues.tint == TINT_FIXED && !c.cues.slice && !c.cues.eye4) {
            set_view(&next);
            main_loop();
            ASSERT_TRUE(frame_stream(shown_mesh(), &f));
            clean_context();
            draw_mesh(shader, shown_mesh());
            draw_mesh_lines(shader_plain, shown_mesh());
            expect_alike(want, pixels());
            drop_stream(shown_mesh());
        }
    }
    set_view(&initial_view);
    main_loop();
}

// Smooth light bound to a choice of coordinates fetches those components of
// each point's plane: the picture is the one the same choice draws as a
// frame, whose stage sums every component, and not the file's light.
TEST(Frame, SmoothLightBoundToAChoiceIsTheChoiceAsAFrame)
{
    std::vector<float> coords, normals;
    surface_in(6, &coords, &normals);
    drop_surface(6, coords, normals);
    for (const auto& show : {std::array<uint8_t, 4> {0, 1, 2, 3}, std::array<uint8_t, 4> {4, 2, 5, 0}}) {
        SCOPED_TRACE(show[0]);
        std::vector<unsigned char> seen[2];
        for (Light light : {LIGHT_FILE, LIGHT_SMOOTH}) {
            View next = initial_view;
            next.light = light;
            set_view(&next);
            choose_coordinates(show[0], show[1], show[2], show[3]);
            ready_smooth(shown_mesh(), true);
            main_loop();
            seen[light == LIGHT_SMOOTH] = pixels();
        }
        EXPECT_EQ(shown_mesh()->layout, LAYOUT_BOUND);
        EXPECT_FALSE(seen[0] == seen[1]) << "smooth light must show";
        // Shown as a frame, a choice is drawn as the choice is, unless set.
        View framed = view;
        choice_frame(show.data(), 6, &framed.frame);
        framed.framed = true;
        set_view(&framed);
        main_loop();
        EXPECT_EQ(shown_mesh()->layout, LAYOUT_COLUMNS);
        expect_alike(seen[1], pixels());
    }
    set_view(&initial_view);
    main_loop();
}

// Every path through a frame of R^m draws the image X F^T: from attributes
// (up to 28 coordinates), fetched, and worked out on the CPU; the first two
// the same picture to the pixel, with smooth light too, since they sum the
// same products in the same order. The m are the attribute path's edges:
// 1 to 4 floats in its last attribute, the last m it takes, the first it
// does not, and the largest.
TEST(Frame, EveryPathDrawsTheImageThroughTheFrame)
{
    reset_input();
    __window_callback_input(nullptr, 512, 512);
    for (int dim : {5, 10, 27, 28, 29, 255}) {
        SCOPED_TRACE(dim);
        std::vector<float> coords, normals;
        surface_in(dim, &coords, &normals);
        const uint8_t show[4] = {0, 1, 2, 3};
        Frame f;
        choice_frame(show, static_cast<uint8_t>(dim), &f);
        turn_frame(&f, 0, dim - 1, 0.6f);
        turn_frame(&f, 1, dim - 2, -0.5f);
        turn_frame(&f, 3, 4, 0.4f);
        set_view(&initial_view);
        drop_surface(4, through(coords, f), through(normals, f));
        choose_coordinates(0, 1, 2, 3);
        main_loop();
        std::vector<unsigned char> want = pixels();

        drop_surface(static_cast<uint8_t>(dim), coords, normals);
        const Layout layouts[] = {LAYOUT_COLUMNS, LAYOUT_BOUND, LAYOUT_STREAM};
        std::vector<unsigned char> seen[2][3];
        for (bool smooth : {false, true})
            for (int path : {PATH_COLUMNS, PATH_FETCHED, PATH_STREAMED}) {
                if ((path == PATH_COLUMNS && dim > 28) || (smooth && path == PATH_STREAMED))
                    continue;
                forced_path_render = path;
                View next = initial_view;
                next.light = smooth ? LIGHT_SMOOTH : LIGHT_FILE;
                set_view(&next);
                show_frame_course(&f);
                if (smooth)
                    ready_smooth(shown_mesh(), true);
                main_loop();
                seen[smooth][path] = pixels();
                EXPECT_EQ(shown_mesh()->layout, layouts[path]) << "path " << path;
                if (!smooth)
                    expect_alike(want, seen[smooth][path]);
            }
        forced_path_render = -1;
        if (dim > 28)
            continue;
        EXPECT_TRUE(seen[0][PATH_COLUMNS] == seen[0][PATH_FETCHED]);
        EXPECT_TRUE(seen[1][PATH_COLUMNS] == seen[1][PATH_FETCHED]) << "smooth";
        EXPECT_FALSE(seen[1][PATH_COLUMNS] == seen[0][PATH_COLUMNS]) << "smooth light must show";
    }
    set_view(&initial_view);
    main_loop();
}

// A coordinate's axis dragged in the gizmo ends where it was let go, in R^4
// and in R^6, turned or not, and the frame stays one.
TEST(Frame, AnAxisPulledInTheGizmoEndsUnderThePointer)
{
    std::vector<float> coords, normals;
    surface_in(6, &coords, &normals);
    for (int dim : {4, 6}) {
        SCOPED_TRACE(dim);
        std::vector<float> some, some_normals;
        for (size_t k = 0; k < coords.size(); k++)
            if (static_cast<int>(k % 6) < dim) {
                some.push_back(coords[k]);
                some_normals.push_back(normals[k]);
            }
        drop_surface(dim, some, some_normals);
        choose_coordinates(0, 1, 2, 3);
        View next = initial_view;
        next.dim = view.dim;
        next.cues.gizmo = true;
        set_view(&next);
        main_loop();
        // Unturned, x points left (the camera draws +x to the left) and y up.
        EXPECT_EQ(pick_gizmo(-0.75f, 0.0f), 0);
        EXPECT_EQ(pick_gizmo(0.0f, 0.75f), 1);
        EXPECT_EQ(pick_gizmo(0.3f, 0.3f), -1);

        turn_coordinates_course(1, dim - 1, 0.4f);
        next = view;
        vec3 z = {0.0f, 0.0f, 1.0f};
        glm_rotate_make(next.turn4, 0.3f, z);
        set_view(&next);
        main_loop();
        const float aims[][2] = {{0.2f, 0.25f}, {-0.15f, -0.3f}};
        for (int k = 0; k < 3; k++) {
            float column[4];
            aim_gizmo(k, aims[k % 2][0], aims[k % 2][1], column);
            pull_course(k, column);
            main_loop();
            EXPECT_EQ(pick_gizmo(aims[k % 2][0], aims[k % 2][1]), k) << "coordinate " << k;
            Frame f;
            frame_course(&f, false);
            EXPECT_LT(error_frame(&f), 1e-5f);
        }
    }
    set_view(&initial_view);
    main_loop();
}

// A picture drawn while its planes are found, a part at a time as they
// come, is the one drawn once all are in: from memory of ours the planes
// are taken as they come, from mapped buffers only once all are found.
TEST(Frame, SmoothPlanesDrawnAsTheyComeMakeThePictureOfThemAll)
{
    // 300^2 cells are 540,000 vertices: six parts of the drawing, whose
    // planes in R^8 take long enough to be found while it draws.
    std::vector<float> coords, normals;
    surface_in(8, &coords, &normals, 300);
    bool hidden = hidden_window;
    hidden_window = true;
    View smooth = initial_view;
    smooth.light = LIGHT_SMOOTH;
    // So many triangles' edges would cover their faces.
    smooth.cues.wire = false;
    std::vector<std::vector<unsigned char>> seen;
    each_storage([&] {
        set_view(&smooth);
        drop_surface(8, coords, normals);
        main_loop();
        seen.push_back(pixels());
        EXPECT_NE(shown_mesh()->point_buffer, 0u) << "drawn flat";
    });
    hidden_window = hidden;
    if (seen.size() < 2)
        GTEST_SKIP() << "the driver takes no memory of ours as buffer storage";
    EXPECT_TRUE(seen[0] == seen[1]);
    set_view(&initial_view);
    main_loop();
}

} // namespace
