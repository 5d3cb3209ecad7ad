// Start-up state read back from GL: uniforms, stage failures, fixed state,
// viewport.
#include <string>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "draw/context.h"
#include "app/render.h"
#include "draw/glsl.h"
#include "app/input.h"
#include "draw/load.h"
#include "draw/shader.h"
#include "app/window.h"

namespace {

void expect_uniform(unsigned int program, const char* name, const float* expected, int count)
{
    float actual[16];
    glGetUniformfv(program, glGetUniformLocation(program, name), actual);
    for (int k = 0; k < count; k++)
        EXPECT_FLOAT_EQ(actual[k], expected[k])
            << "program " << program << ", \"" << name << "\"[" << k << "]";
}

TEST(Uniforms, BothProgramsHoldTheViewAfterAFrame)
{
    main_loop();

    float fix[16], identity[16], colour[4];
    const float zero = 0.0f;
    const float unit_quaternion[4] = {0, 0, 0, 1};
    __fix_matrix_load(1.0f, fix);
    __rot_matrix_load(unit_quaternion, identity);
    __color_vector_load(color, colour);
    for (unsigned int program : {shader, shader_plain}) {
        expect_uniform(program, "fix", fix, 16);
        expect_uniform(program, "rot", identity, 16);
        expect_uniform(program, "color", colour, 4);
        expect_uniform(program, "angle", &zero, 1);
        expect_uniform(program, "i", &zero, 1);
    }
}

TEST(Uniforms, MatricesArriveColumnMajor)
{
    // A quarter turn is not symmetric, so a transposed upload would show.
    const float quarter[4] = {0, 0, 0.70710678f, 0.70710678f};
    float rot[16];
    __rot_matrix_load(quarter, rot);
    rot_matrix_load(shader_plain, quarter);
    expect_uniform(shader_plain, "rot", rot, 16);

    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<unsigned int>(current), shader_plain) << "an upload makes its program current";
}

TEST(Stages, FailedFragmentStageLeavesTheVertexStageLinked)
{
    unsigned int program = create_shader();
    ASSERT_NE(program, 0u);
    ASSERT_EQ(load_program_to_shader(program, vs, 0), 1);

    // Many errors make a log longer than the 256-byte buffer.
    std::string broken = "#version 330 core\nout vec4 FragColor;\nvoid main() {\n";
    for (int k = 0; k < 40; k++)
        broken += "    FragColor.x = undeclared_" + std::to_string(k) + ";\n";
    broken += "}\n";
    testing::internal::CaptureStdout();
    int loaded = load_program_to_shader(program, broken.c_str(), 1);
    fflush(stdout);
    std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(log.size(), 255u) << log;
    GLint attached = 0, linked = 0;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &attached);
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(attached, 1);
    EXPECT_EQ(linked, GL_TRUE);

    EXPECT_EQ(load_program_to_shader(program, nullptr, 1), 0);
    destroy_shader(program);
    EXPECT_FALSE(glIsProgram(program));
}

TEST(Stages, ShortCompileLogIsPrintedWhole)
{
    const char* broken = "#version 330 core\nvoid main() { oops }\n";
    GLuint probe = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(probe, 1, &broken, nullptr);
    glCompileShader(probe);
    GLint length = 0;
    glGetShaderiv(probe, GL_INFO_LOG_LENGTH, &length);
    glDeleteShader(probe);
    ASSERT_GT(length, 1);
    ASSERT_LT(length, 256);

    unsigned int program = create_shader();
    testing::internal::CaptureStdout();
    int loaded = load_program_to_shader(program, broken, 1);
    fflush(stdout);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(log.size(), static_cast<size_t>(length - 1)) << log;
    EXPECT_EQ(load_program_to_shader(program, vs, 2), 0) << "there are two stages only";
    destroy_shader(program);
}

TEST(Context, DepthTestOnAndFramesClearToWhite)
{
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint depth_function = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depth_function);
    EXPECT_EQ(depth_function, GL_LESS);
    float clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(clear[k], 1.0f);

    main_loop();
    unsigned char pixel[4];
    for (int y : {0, 255, 511}) {
        for (int x : {0, 255, 511}) {
            glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
            EXPECT_EQ(pixel[0] + pixel[1] + pixel[2], 3 * 255) << "pixel " << x << ", " << y;
        }
    }
}

TEST(Context, NeedsACurrentContext)
{
    glfwMakeContextCurrent(nullptr);
    EXPECT_EQ(init_context(), 0);
    // The failure path deletes the programs not yet made without calling
    // GL, which would abort with no context current.
    destroy_shader(0);
    glfwMakeContextCurrent(window);
    EXPECT_NE(init_context(), 0);
}

TEST(Context, DescriptionNamesTheVersionGLReports)
{
    // The report of a refused context must name what the driver offers.
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    const std::string expected = "OpenGL " + std::to_string(major) + "." + std::to_string(minor);
    char text[64];
    describe_context(text, sizeof text);
    EXPECT_EQ(std::string(text), expected);

    describe_context(text, 8);
    EXPECT_EQ(std::string(text), expected.substr(0, 7)) << "cut to the buffer and terminated";

    glfwMakeContextCurrent(nullptr);
    describe_context(text, sizeof text);
    glfwMakeContextCurrent(window);
    EXPECT_EQ(std::string(text), "no current GL context");
}

TEST(FramePacing, FramesAreReleasedNoFasterThanSixtyASecond)
{
    // A lower bound only: a busy machine may make frames slower, never faster.
    // Every frame sleeps out what is left of its 1/60 s after the previous
    // one was released, so eleven intervals take at least 11/60 s.
    is_open_window(window);
    double start = glfwGetTime();
    for (int k = 0; k < 11; k++)
        is_open_window(window);
    EXPECT_GE(glfwGetTime() - start, 11.0 / 60.0 - 1e-3);
}

TEST(Viewport, LargestCentredSquare)
{
    struct Row {
        int width, height;
        GLint expected[4];
    } rows[] = {
        {512, 512, {0, 0, 512, 512}},
        {800, 600, {100, 0, 600, 600}},
        {600, 801, {0, 100, 600, 600}},
        {801, 600, {100, 0, 600, 600}},
        {0, 0, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        __window_callback_input(window, row.width, row.height);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(viewport[k], row.expected[k]) << row.width << " x " << row.height << ", field " << k;
    }
    __window_callback_input(window, 512, 512);
}

} // namespace
