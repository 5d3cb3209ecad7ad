// The offscreen picture: its rows come back top first at any size, a size
// the driver cannot give is refused cleanly, and the GL state the window
// draws with is back once the picture is gone.
#include <vector>

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "app/render.h"
#include "gl_test.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "draw/picture.h"
#include "app/window.h"

namespace {

const uint8_t white[3] = {255, 255, 255};

bool is_white(const uint8_t* pixel)
{
    return pixel[0] == white[0] && pixel[1] == white[1] && pixel[2] == white[2];
}

// A triangle wholly in the upper left of the view: the camera mirrors x,
// so its positive x lies left.
void drop_upper_left_triangle()
{
    std::vector<float> coords = {0.3f, 0.3f, 0, 0, 0.9f, 0.3f, 0, 0, 0.6f, 0.9f, 0, 0};
    drop_surface(4, coords, filled(12, 0.0f));
}

TEST(Picture, RowsComeBackTopFirstAtEverySize)
{
    drop_upper_left_triangle();
    for (int size : {16, 17, 512, 1001}) {
        Picture picture;
        ASSERT_EQ(create_picture(size, &picture), 1) << size;
        main_loop();
        std::vector<uint8_t> rgb(3 * size * size, 0);
        read_picture(&picture, rgb.data());
        destroy_picture(&picture);

        int drawn[2][2] = {}; // [top, bottom][left, right]
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++)
                if (!is_white(&rgb[3 * (y * size + x)]))
                    drawn[2 * y >= size][2 * x >= size]++;
        EXPECT_GT(drawn[0][0], 0) << size << ": nothing in the upper left";
        EXPECT_EQ(drawn[0][1] + drawn[1][0] + drawn[1][1], 0) << size << ": drawn outside the upper left";
    }
    clear_shapes();
}

TEST(Picture, RefusesASizeTheDriverCannotGive)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    Picture picture;
    EXPECT_EQ(create_picture(largest + 1, &picture), 0);
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "the window's framebuffer is bound again";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "no error is left for the next caller";
}

TEST(Picture, LeavesTheWindowsStateAsItWas)
{
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    Picture picture;
    ASSERT_EQ(create_picture(64, &picture), 1);
    GLint inside[4];
    glGetIntegerv(GL_VIEWPORT, inside);
    EXPECT_EQ(inside[2], 64);
    EXPECT_EQ(inside[3], 64);
    destroy_picture(&picture);

    GLint bound = -1, origin = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    if (epoxy_has_gl_extension("GL_ARB_clip_control")) {
        glGetIntegerv(GL_CLIP_ORIGIN, &origin);
        EXPECT_EQ(origin, GL_LOWER_LEFT);
    }
    EXPECT_FALSE(glIsFramebuffer(picture.framebuffer));
    // The window's viewport is the caller's to set again; the picture only
    // promises its own.
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

} // namespace
