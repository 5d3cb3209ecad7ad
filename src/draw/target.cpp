// Render targets: the frame's framebuffer of several samples, and the two
// layers of transparency resolved into textures for the pass that lays
// them over it.
#include "draw/target.h"

#include <cstdint>
#include <cstdio>

#include "draw/context.h"
#include "draw/glsl.h"
#include "draw/platform.h"
#include "draw/shader.h"

namespace {

struct Frame {
    int samples, width, height;
    GLuint framebuffer, colour, depth;
};

// The summed colours and alpha, and the summed weights, as the frame's
// samples hold them, and as textures of one sample for the pass to read.
struct Layers {
    int samples, width, height;
    GLuint framebuffer, layered, weights;
    GLuint resolved, textures[2];
    GLuint program, vertex_array;
    GLboolean mask[4];
};

Frame frame = {};
Layers layers = {};
// Where the frame ends, and the drawing area there.
GLint destination = 0;
GLint area[4] = {};

} // namespace

static void __release_frame_target()
{
    glDeleteFramebuffers(1, &frame.framebuffer);
    glDeleteRenderbuffers(1, &frame.colour);
    glDeleteRenderbuffers(1, &frame.depth);
    frame = {};
}

static void __release_layers_target()
{
    glDeleteFramebuffers(1, &layers.framebuffer);
    glDeleteRenderbuffers(1, &layers.layered);
    glDeleteRenderbuffers(1, &layers.weights);
    glDeleteFramebuffers(1, &layers.resolved);
    glDeleteTextures(2, layers.textures);
    GLuint program = layers.program, vertex_array = layers.vertex_array;
    layers = {};
    // The pass's program outlives a change of size.
    layers.program = program;
    layers.vertex_array = vertex_array;
}

// A renderbuffer of the format attached at the attachment of the bound
// framebuffer; one sample is a plain one.
static GLuint __renderbuffer_target(GLenum format, int samples, int width, int height, GLenum attachment)
{
    GLuint buffer = 0;
    glGenRenderbuffers(1, &buffer);
    glBindRenderbuffer(GL_RENDERBUFFER, buffer);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples > 1 ? samples : 0, format, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, buffer);
    return buffer;
}

// Whether the bound framebuffer can be drawn, with no error since errors
// were last dropped: storage the driver cannot give shows as either.
static bool __complete_target()
{
    return glGetError() == GL_NO_ERROR && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

static bool __fit_frame_target(int samples, int width, int height)
{
    if (frame.framebuffer && frame.samples == samples && frame.width == width && frame.height == height)
        return true;
    __release_frame_target();
    __release_layers_target();
    drop_errors_context();
    frame = {samples, width, height, 0, 0, 0};
    glGenFramebuffers(1, &frame.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    frame.colour = __renderbuffer_target(GL_RGBA8, samples, width, height, GL_COLOR_ATTACHMENT0);
    frame.depth = __renderbuffer_target(GL_DEPTH_COMPONENT24, samples, width, height, GL_DEPTH_ATTACHMENT);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (__complete_target())
        return true;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(destination));
    __release_frame_target();
    return false;
}

// What the GL offers, and what the memory allows: past 2^26 samples in all
// (4 a pixel at 4096 x 4096), the frame and its layers would take gigabytes.
// What is asked for past either is said once.
static int __offered_samples_target(int samples, int width, int height)
{
    static GLint most = 0;
    static int said = 0;
    if (!most)
        glGetIntegerv(GL_MAX_SAMPLES, &most);
    int offered = samples < most ? samples : most;
    while (offered > 1 && static_cast<int64_t>(width) * height * offered > (int64_t {1} << 26))
        offered /= 2;
    if (offered < samples && said != samples)
        fprintf(stderr,
            "plexorama: anti-aliasing: %d samples a pixel asked, %d offered at %d x %d: drawing with %d\n",
            samples, offered, width, height, offered);
    said = offered < samples ? samples : said;
    return offered;
}

bool begin_target(int samples, bool layered)
{
    if (samples <= 1 && !layered) {
        if (frame.framebuffer)
            __release_frame_target();
        if (layers.framebuffer)
            __release_layers_target();
        clean_context();
        return false;
    }
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &destination);
    glGetIntegerv(GL_VIEWPORT, area);
    // The strips beside the drawing area too.
    clean_context();
    if (!__fit_frame_target(__offered_samples_target(samples, area[2], area[3]), area[2], area[3])) {
        static bool said = false;
        if (!said)
            fprintf(stderr, "plexorama: cannot make a %d x %d framebuffer of %d samples: drawing without\n",
                area[2], area[3], samples);
        said = true;
        return false;
    }
    if (!layered && layers.framebuffer)
        __release_layers_target();
    glBindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    glViewport(0, 0, area[2], area[3]);
    clean_context();
    return true;
}

bool offers_layers_target()
{
    return has_float_colours_platform();
}

static bool __make_pass_target()
{
    if (layers.program)
        return true;
    unsigned int program = create_shader();
    if (!program || !load_program_to_shader(program, composite_vs, 0)
        || !load_program_to_shader(program, composite_fs, 1)) {
        destroy_shader(program);
        return false;
    }
    // The layers are read from units 1 and 2, clear of the map's unit 0.
    use_shader(program);
    glUniform1i(glGetUniformLocation(program, "layered"), 1);
    glUniform1i(glGetUniformLocation(program, "weights"), 2);
    layers.program = program;
    glGenVertexArrays(1, &layers.vertex_array);
    return true;
}

static GLuint __texture_target(GLenum format, GLenum channels, int width, int height, GLenum attachment)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, channels,
        layer_type_platform, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, texture, 0);
    return texture;
}

static bool __fit_layers_target()
{
    if (layers.framebuffer && layers.samples == frame.samples && layers.width == frame.width
        && layers.height == frame.height)
        return true;
    __release_layers_target();
    if (!__make_pass_target())
        return false;
    drop_errors_context();
    int samples = frame.samples, width = frame.width, height = frame.height;
    layers.samples = samples;
    layers.width = width;
    layers.height = height;
    static const GLenum both[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
    glGenFramebuffers(1, &layers.resolved);
    glBindFramebuffer(GL_FRAMEBUFFER, layers.resolved);
    // Unit 0 keeps the map's texture.
    glActiveTexture(GL_TEXTURE1);
    layers.textures[0] = __texture_target(layer_formats_platform[0], GL_RGBA, width, height, both[0]);
    layers.textures[1] = __texture_target(layer_formats_platform[1], GL_RED, width, height, both[1]);
    glActiveTexture(GL_TEXTURE0);
    bool made = __complete_target();
    glGenFramebuffers(1, &layers.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, layers.framebuffer);
    layers.layered = __renderbuffer_target(layer_formats_platform[0], samples, width, height, both[0]);
    layers.weights = __renderbuffer_target(layer_formats_platform[1], samples, width, height, both[1]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, frame.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glDrawBuffers(2, both);
    if (made && __complete_target())
        return true;
    glBindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    __release_layers_target();
    return false;
}

int begin_layers_target()
{
    if (!__fit_layers_target())
        return 0;
    glGetBooleanv(GL_COLOR_WRITEMASK, layers.mask);
    glBindFramebuffer(GL_FRAMEBUFFER, layers.framebuffer);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Nothing summed yet, and everything let through.
    static const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 1.0f}, zero[4] = {};
    glClearBufferfv(GL_COLOR, 0, none);
    glClearBufferfv(GL_COLOR, 1, zero);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    return 1;
}

void end_layers_target()
{
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    // Each layer to its texture; a blit resolves the samples.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, layers.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, layers.resolved);
    static const GLenum drawn[2][2] = {{GL_COLOR_ATTACHMENT0, GL_NONE}, {GL_NONE, GL_COLOR_ATTACHMENT1}};
    for (GLenum k = 0; k < 2; k++) {
        glReadBuffer(GL_COLOR_ATTACHMENT0 + k);
        glDrawBuffers(2, drawn[k]);
        glBlitFramebuffer(0, 0, layers.width, layers.height, 0, 0, layers.width, layers.height,
            GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    glColorMask(layers.mask[0], layers.mask[1], layers.mask[2], layers.mask[3]);
    use_shader(layers.program);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, layers.textures[0]);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, layers.textures[1]);
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_DEPTH_TEST);
    // The picture's alpha stays 1: a page's canvas would let the page
    // through where it is less.
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, GL_ZERO, GL_ONE);
    glBindVertexArray(layers.vertex_array);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

void end_target()
{
    if (!frame.framebuffer)
        return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frame.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(destination));
    glBlitFramebuffer(0, 0, frame.width, frame.height, area[0], area[1], area[0] + frame.width,
        area[1] + frame.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(destination));
    glViewport(area[0], area[1], area[2], area[3]);
}

void destroy_target()
{
    if (frame.framebuffer)
        __release_frame_target();
    if (layers.framebuffer || layers.resolved)
        __release_layers_target();
    if (layers.program) {
        destroy_shader(layers.program);
        glDeleteVertexArrays(1, &layers.vertex_array);
    }
    layers = {};
}
