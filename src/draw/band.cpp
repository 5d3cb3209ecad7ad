// The band of broken-surface diagrams, and the stages that draw and read it.
#include "draw/band.h"

#include <string>
#include <unordered_map>

#include "draw/context.h"
#include "draw/platform.h"
#include "draw/shapes.h"

namespace {

struct BandState {
    unsigned int framebuffer;
    unsigned int texture;
    int width, height;
    int before;        // the framebuffer bound at begin_band
    GLboolean mask[4]; // its colour mask
    GLboolean depth;   // and whether the depth was tested
    float clear[4];    // the clear colour
};

BandState band = {};

} // namespace

bool offers_band()
{
    return has_float_colours_platform();
}

static bool __fit_band(int width, int height)
{
    if (band.framebuffer && band.width == width && band.height == height)
        return true;
    destroy_band();
    drop_errors_context();
    glGenFramebuffers(1, &band.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, band.framebuffer);
    glGenTextures(1, &band.texture);
    glBindTexture(GL_TEXTURE_2D, band.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(layer_formats_platform[0]), width, height, 0, GL_RGBA,
        layer_type_platform, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, band.texture, 0);
    band.width = width;
    band.height = height;
    if (glGetError() != GL_NO_ERROR || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        destroy_band();
        return false;
    }
    return true;
}

int begin_band()
{
    int area[4];
    glGetIntegerv(GL_VIEWPORT, area);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &band.before);
    if (area[2] <= 0 || area[3] <= 0 || !__fit_band(area[0] + area[2], area[1] + area[3])) {
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(band.before));
        return 0;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, band.framebuffer);
    glGetBooleanv(GL_COLOR_WRITEMASK, band.mask);
    band.depth = glIsEnabled(GL_DEPTH_TEST);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, band.clear);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    return 1;
}

void end_band()
{
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(band.before));
    glColorMask(band.mask[0], band.mask[1], band.mask[2], band.mask[3]);
    if (band.depth)
        glEnable(GL_DEPTH_TEST);
    glClearColor(band.clear[0], band.clear[1], band.clear[2], band.clear[3]);
    glActiveTexture(GL_TEXTURE0 + UNIT_BAND);
    glBindTexture(GL_TEXTURE_2D, band.texture);
    glActiveTexture(GL_TEXTURE0);
}

// The lines' stage gives each fragment its place across the line: within
// the radius it is the band's, and the fringe pass draws nothing.
const char* band_fragment_glsl()
{
    return R"(#version 330 core
in vec2 local;
flat in float len;
flat in float radius;
in float W;

uniform float fringe;
uniform float mark; // 1 in the band, 0.5 along its edges

out vec4 FragColor;

void main()
{
    vec2 off = vec2(local.x - clamp(local.x, 0.0, len), local.y);
    if (fringe > 0.5 || length(off) > radius)
        discard;
    FragColor = vec4(W, mark, 0.0, 1.0);
}
)";
}

// The lower sheet's fragments in the band are dropped, and those along
// its edges drawn in a dark ink, as the edges of a cut are drawn by hand.
static const char broken_test[] = R"(uniform highp sampler2D band;

float broken()
{
    vec4 b = texelFetch(band, ivec2(gl_FragCoord.xy), 0);
    return W < b.r ? b.g : 0.0;
}

void main()
{
    float cut = broken();
    if (cut > 0.75)
        discard;
    if (cut > 0.25) {
        FragColor = vec4(0.08, 0.08, 0.1, color.a);
        return;
    }
)";

const char* broken_glsl(const char* stage)
{
    // A few stages come here, each made once; a map's strings stay put.
    static std::unordered_map<const char*, std::string> made;
    auto found = made.find(stage);
    if (found != made.end())
        return found->second.c_str();
    std::string text = stage;
    size_t at = text.find("void main()\n{\n");
    if (at != std::string::npos)
        text.replace(at, 14,
            (text.find("in float W;") == std::string::npos ? "in float W;\n" : "")
                + std::string(broken_test));
    return made.emplace(stage, text).first->second.c_str();
}

void destroy_band()
{
    if (band.framebuffer)
        glDeleteFramebuffers(1, &band.framebuffer);
    if (band.texture)
        glDeleteTextures(1, &band.texture);
    band.framebuffer = 0;
    band.texture = 0;
    band.width = band.height = 0;
}
