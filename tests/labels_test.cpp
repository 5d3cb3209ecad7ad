// Labels on pictures: the gizmo's names and the legend keep apart and
// legible at every size, the legend's numbers read as the font itself
// writes them, and the wireframe stays whole under anti-aliasing with
// transparency.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <imgui.h>

#include "app/course.h"
#include "app/render.h"
#include "core/motion.h"
#include "core/view.h"
#include "draw/picture.h"
#include "draw/shapes.h"
#include "draw/text.h"
#include "gl_test.h"

namespace {

// The picture of the view on show, rows top first.
std::vector<uint8_t> draw(int size)
{
    Picture picture;
    EXPECT_EQ(create_picture(size, &picture), 1);
    main_loop();
    std::vector<uint8_t> rgb(3 * size * size);
    read_picture(&picture, rgb.data());
    destroy_picture(&picture);
    return rgb;
}

// Text as the font's own atlas writes it em pixels high, its alpha from
// the top left of its ink, which is width x height.
struct Written {
    std::vector<int> alpha;
    int width = 0, height = 0;
};

Written write(const char* text, int em)
{
    int bytes = 0;
    const unsigned char* font = font_text(&bytes);
    ImFontAtlas atlas;
    ImFontConfig config;
    config.OversampleH = config.OversampleV = 1;
    config.PixelSnapH = true;
    config.FontDataOwnedByAtlas = false;
    ImFont* face = atlas.AddFontFromMemoryTTF(const_cast<unsigned char*>(font), bytes, em, &config);
    unsigned char* texels;
    int w, h;
    atlas.GetTexDataAsAlpha8(&texels, &w, &h);
    const int side = 16 * em;
    std::vector<int> line(side * side, 0);
    int pen = 0, left = side, top = side, right = 0, bottom = 0;
    for (const char* c = text; *c; c++) {
        const ImFontGlyph* g = face->FindGlyph(*c);
        int x0 = pen + static_cast<int>(g->X0), y0 = static_cast<int>(g->Y0);
        int gw = static_cast<int>(g->X1 - g->X0), gh = static_cast<int>(g->Y1 - g->Y0);
        for (int j = 0; j < gh && g->Visible; j++)
            for (int i = 0; i < gw; i++)
                line[(y0 + j) * side + x0 + i] = texels[(static_cast<int>(g->V0 * h) + j) * w + static_cast<int>(g->U0 * w) + i];
        if (g->Visible)
            left = std::min(left, x0), top = std::min(top, y0), right = std::max(right, x0 + gw),
            bottom = std::max(bottom, y0 + gh);
        pen += static_cast<int>(g->AdvanceX);
    }
    Written out = {std::vector<int>((right - left) * (bottom - top)), right - left, bottom - top};
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++)
            out.alpha[y * out.width + x] = line[(top + y) * side + left + x];
    return out;
}

// How far, on average, the picture's red in the label's box is from text
// as the font writes it at the size that fills the box with the label's
// own text, in ink of 38 on white; -1 when no size fills it.
double mismatch(const std::vector<uint8_t>& rgb, int size, const TextDrawn& label, const char* text)
{
    int width = static_cast<int>(label.box.x1 - label.box.x0), height = static_cast<int>(label.box.y1 - label.box.y0);
    for (int em = static_cast<int>(label.digits); em < 3 * label.digits; em++) {
        Written own = write(label.text, em);
        if (own.width != width || own.height != height)
            continue;
        Written asked = write(text, em);
        double sum = 0.0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                double a = x < asked.width && y < asked.height ? asked.alpha[y * asked.width + x] / 255.0 : 0.0;
                int row = size - static_cast<int>(label.box.y1) + y, column = static_cast<int>(label.box.x0) + x;
                sum += std::fabs(rgb[3 * (row * size + column)] - (255.0 * (1 - a) + 38.25 * a));
            }
        return sum / (width * height);
    }
    return -1.0;
}

TEST(Labels, KeepApartAndReadAsTheFontWritesThem)
{
    std::vector<float> coords;
    for (int v = 0; v < 3; v++)
        for (int k = 0; k < 10; k++)
            coords.push_back(k == v ? 1.5f : k == 3 ? 1.2f * v - 1.2f : 0.1f * k);
    drop_surface(10, coords, filled(30, 0.3f));
    choose_coordinates(0, 1, 2, 3);
    for (auto [a, b] : {std::pair{0, 4}, {1, 5}, {2, 6}, {3, 7}, {0, 8}, {1, 9}})
        turn_coordinates_course(a, b, 0.6f);
    View shown = view;
    shown.cues.gizmo = true;
    shown.cues.tint = TINT_W;
    set_view(&shown);
    for (int size : {240, 512, 2048}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> rgb = draw(size);
        const TextDrawn* labels;
        int count = drawn_text(&labels);
        EXPECT_GE(count, 8) << "the legend's four and the gizmo's names";
        for (int k = 0; k < count; k++) {
            const Box& a = labels[k].box;
            EXPECT_GE(labels[k].digits, std::fmax(10.0f, size / 40.0f - 0.5f));
            EXPECT_TRUE(a.x0 >= 0 && a.y0 >= 0 && a.x1 <= size && a.y1 <= size) << labels[k].text;
            for (int j = 0; j < k; j++)
                EXPECT_FALSE(overlap_labels(a, labels[j].box)) << labels[k].text << " and " << labels[j].text;
        }
        // The legend's numbers: -s, 0, +s, s as measured.
        int read = 0;
        for (int k = 0; k < count; k++) {
            std::string text = labels[k].text;
            if (text.find('.') == std::string::npos || (text[0] != '-' && text[0] != '+'))
                continue;
            // And not as the stroke font lost it: "-1 5" for "-1.5".
            std::string run_together = text;
            run_together.erase(run_together.find('.'), 1);
            double right = mismatch(rgb, size, labels[k], labels[k].text);
            EXPECT_GE(right, 0.0) << text;
            EXPECT_LT(right, 6.0) << text;
            EXPECT_GT(mismatch(rgb, size, labels[k], run_together.c_str()), right + 6.0) << text;
            read++;
        }
        EXPECT_EQ(read, 2) << "-s and +s";
    }
    clear_shapes();
    set_view(&initial_view);
}

// The wireframe of a tesseract's squares, two triangles each: its dark
// pixels, summed by how dark, under anti-aliasing as many as without.
TEST(Labels, WireframeStaysWholeUnderAntiAliasingAndTransparency)
{
    std::vector<float> coords;
    for (int a = 0; a < 4; a++)
        for (int b = a + 1; b < 4; b++)
            for (int s = 0; s < 4; s++) {
                const float corners[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
                for (const auto& c : corners)
                    for (int k = 0, rest = 0; k < 4; k++)
                        coords.push_back(0.7f * (k == a ? c[0] : k == b ? c[1] : (s >> rest++) % 2 ? 1.0f : -1.0f));
            }
    drop_surface(4, coords, filled(coords.size(), 0.5f));
    View shown = view;
    turn_plane_motion(0, 3, 0.44f);
    turn_plane_motion(1, 3, 0.26f);
    shown = view;
    shown.finish.opacity = 0.4f;
    double ink[2] = {};
    for (int aa : {1, 4}) {
        shown.finish.aa = aa;
        set_view(&shown);
        std::vector<uint8_t> rgb = draw(512);
        for (size_t p = 0; p < rgb.size(); p += 3)
            ink[aa > 1] += std::fmax(0.0, 3 * 130.0 - rgb[p] - rgb[p + 1] - rgb[p + 2]);
    }
    EXPECT_GT(ink[0], 0.0);
    EXPECT_GT(ink[1], 0.75 * ink[0]) << "the lines turn to dashes";
    clear_shapes();
    set_view(&initial_view);
}

} // namespace
