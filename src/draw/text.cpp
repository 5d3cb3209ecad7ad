// Text on the picture on the desktop: DejaVu Sans rasterised by Dear
// ImGui's font atlas at each size asked for, a texture of one channel a
// size, and a quad a glyph laid on whole pixels, so that the texture's
// texels fall one on each pixel.
#include "draw/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <imgui.h>

#include "core/log.h"
#include "draw/platform.h"
#include "draw/shader.h"

#ifndef PLEXORAMA_FONT
#define PLEXORAMA_FONT "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
#endif

static const char* const text_vs = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec2 aTexel;

out vec2 Texel;

void main()
{
    gl_Position = vec4(aPos, 0.0, 1.0);
    Texel = aTexel;
}
)";

static const char* const text_fs = R"(#version 330 core
in vec2 Texel;

uniform sampler2D glyphs;
uniform vec3 ink;

out vec4 FragColor;

void main()
{
    FragColor = vec4(ink, texture(glyphs, Texel).r);
}
)";

namespace {

// A size of the typeface: its atlas and the texture made of it.
struct Face {
    int em; // ImGui's size in pixels; 0 for none
    ImFontAtlas* atlas;
    ImFont* font;
    GLuint texture;
    unsigned used; // when last asked for, to let the longest unused go
};

// A frame writes the gizmo's names and the legend's: two sizes at most, and
// the panel's own typeface is its own.
constexpr int most_faces = 4;
Face faces[most_faces];
unsigned asked = 0;

unsigned char* bytes = nullptr;
int byte_count = 0;
bool read_once = false;

GLuint program = 0, vertex_array = 0, buffer = 0;

TextDrawn drawn[64];
int drawn_count = 0;

// A font file is some hundreds of kilobytes; anything past 32 MiB is not one.
void __read_font_text()
{
    read_once = true;
    FILE* file = fopen(PLEXORAMA_FONT, "rb");
    if (!file) {
        complain_log("cannot read %s: labels are in Dear ImGui's own font", PLEXORAMA_FONT);
        return;
    }
    const long most = 32L << 20;
    bytes = static_cast<unsigned char*>(malloc(most));
    size_t length = bytes ? fread(bytes, 1, most, file) : 0;
    fclose(file);
    if (length < 12 || length == static_cast<size_t>(most)) {
        free(bytes);
        bytes = nullptr;
        complain_log("%s is no font: labels are in Dear ImGui's own font", PLEXORAMA_FONT);
        return;
    }
    unsigned char* fitted = static_cast<unsigned char*>(realloc(bytes, length));
    bytes = fitted ? fitted : bytes;
    byte_count = static_cast<int>(length);
}

// Rasterises the printable ASCII at em pixels into face, and makes its
// texture. Returns false when the atlas cannot be built or is larger than
// the GL takes.
bool __build_text(Face* face, int em)
{
    static const ImWchar ascii[] = {0x20, 0x7e, 0};
    ImFontAtlas* atlas = IM_NEW(ImFontAtlas)();
    atlas->Flags |= ImFontAtlasFlags_NoMouseCursors | ImFontAtlasFlags_NoBakedLines;
    ImFontConfig config;
    // One sample a pixel and whole-pixel advances: each texel lands on
    // a pixel, as crisp as the font's hinting makes it.
    config.OversampleH = config.OversampleV = 1;
    config.PixelSnapH = true;
    config.SizePixels = static_cast<float>(em);
    config.GlyphRanges = ascii;
    config.FontDataOwnedByAtlas = false;
    ImFont* font = bytes ? atlas->AddFontFromMemoryTTF(bytes, byte_count, config.SizePixels, &config, ascii)
                         : atlas->AddFontDefault(&config);
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (!font || !atlas->Build() || (atlas->GetTexDataAsAlpha8(&pixels, &width, &height), !pixels)
        || width > largest || height > largest) {
        IM_DELETE(atlas);
        return false;
    }
    *face = {em, atlas, font, 0, 0};
    glGenTextures(1, &face->texture);
    glBindTexture(GL_TEXTURE_2D, face->texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, width, height, 0, GL_RED, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // The pixels are on the GPU now; the glyphs' places stay.
    atlas->ClearTexData();
    return true;
}

void __drop_face_text(Face* face)
{
    if (!face->em)
        return;
    glDeleteTextures(1, &face->texture);
    IM_DELETE(face->atlas);
    *face = {};
}

// The face of em pixels, made when first asked for in place of the one
// unused longest; none when it cannot be made.
Face* __face_text(int em)
{
    if (!read_once)
        __read_font_text();
    asked++;
    Face* oldest = &faces[0];
    for (Face& face : faces) {
        if (face.em == em) {
            face.used = asked;
            return &face;
        }
        if (face.used < oldest->used)
            oldest = &face;
    }
    __drop_face_text(oldest);
    if (!__build_text(oldest, em))
        return nullptr;
    oldest->used = asked;
    return oldest;
}

// The ImGui size whose digits are at least digits pixels tall, worked out
// from the digits of a face 64 pixels high; at most 256 pixels, past which
// an atlas grows beyond what some GLs take.
int __em_text(float digits)
{
    static float share = 0.0f;
    if (share == 0.0f) {
        Face* face = __face_text(64);
        const ImFontGlyph* zero = face ? face->font->FindGlyph('0') : nullptr;
        share = zero && zero->Y1 > zero->Y0 ? (zero->Y1 - zero->Y0) / 64.0f : 0.7f;
    }
    return std::clamp(static_cast<int>(std::ceil(digits / share)), 6, 256);
}

bool __make_text()
{
    program = create_shader();
    if (!program || !load_program_to_shader(program, text_vs, 0) || !load_program_to_shader(program, text_fs, 1))
        return false;
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<const void*>(2 * sizeof(float)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    load_int_to_shader(program, "glyphs", 0);
    return true;
}

// The ink's box of text in face, its baseline starting at the origin; the
// glyphs' corners count down from the top of the line, the baseline at
// the rounded ascent, as ImGui lays them.
Box __box_text(const Face* face, const char* text)
{
    Box box = {0.0f, 0.0f, 0.0f, 0.0f};
    bool inked = false;
    float pen = 0.0f, base = std::round(face->font->Ascent);
    for (const char* c = text; *c; c++) {
        const ImFontGlyph* g = face->font->FindGlyph(static_cast<unsigned char>(*c) < 0x80 ? *c : '?');
        if (!g)
            continue;
        if (g->Visible) {
            Box ink = {pen + g->X0, base - g->Y1, pen + g->X1, base - g->Y0};
            box = inked ? Box{std::min(box.x0, ink.x0), std::min(box.y0, ink.y0), std::max(box.x1, ink.x1),
                              std::max(box.y1, ink.y1)}
                        : ink;
            inked = true;
        }
        pen += g->AdvanceX;
    }
    return box;
}

} // namespace

Box measure_text(const char* text, float digits)
{
    Face* face = __face_text(__em_text(digits));
    return face ? __box_text(face, text) : Box{};
}

void draw_text(const char* text, float x, float y, float digits, const float* rgb)
{
    Face* face = *text ? __face_text(__em_text(digits)) : nullptr;
    if (!face || (!program && !__make_text()))
        return;
    GLint area[4];
    glGetIntegerv(GL_VIEWPORT, area);
    x = std::round(x);
    y = std::round(y);
    static float vertices[24 * 6 * 4];
    int count = 0;
    float pen = x, base = y + std::round(face->font->Ascent);
    auto ndc = [&](float px, float py, float u, float v) {
        float* out = vertices + 4 * count++;
        out[0] = 2.0f * px / static_cast<float>(area[2]) - 1.0f;
        out[1] = 2.0f * py / static_cast<float>(area[3]) - 1.0f;
        out[2] = u;
        out[3] = v;
    };
    for (const char* c = text; *c && count + 6 <= 24 * 6; c++) {
        const ImFontGlyph* g = face->font->FindGlyph(static_cast<unsigned char>(*c) < 0x80 ? *c : '?');
        if (!g)
            continue;
        if (g->Visible) {
            float x0 = pen + g->X0, x1 = pen + g->X1, top = base - g->Y0, bottom = base - g->Y1;
            ndc(x0, top, g->U0, g->V0), ndc(x1, top, g->U1, g->V0), ndc(x1, bottom, g->U1, g->V1);
            ndc(x0, top, g->U0, g->V0), ndc(x1, bottom, g->U1, g->V1), ndc(x0, bottom, g->U0, g->V1);
        }
        pen += g->AdvanceX;
    }
    if (drawn_count < 64) {
        TextDrawn& d = drawn[drawn_count++];
        snprintf(d.text, sizeof d.text, "%s", text);
        d.digits = digits;
        Box ink = __box_text(face, text);
        d.box = {area[0] + x + ink.x0, area[1] + y + ink.y0, area[0] + x + ink.x1, area[1] + y + ink.y1};
    }
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    // The picture's alpha stays as it is.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    polygon_mode_platform(GL_FILL);
    load_float3_array_to_shader(program, "ink", 1, rgb);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, face->texture);
    glBindVertexArray(vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count * 4 * sizeof(float)), vertices, GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, count);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

int drawn_text(const TextDrawn** labels)
{
    *labels = drawn;
    return drawn_count;
}

void clear_text()
{
    drawn_count = 0;
}

const unsigned char* font_text(int* size)
{
    if (!read_once)
        __read_font_text();
    *size = byte_count;
    return bytes;
}

void destroy_text()
{
    for (Face& face : faces)
        __drop_face_text(&face);
    asked = 0;
    if (!program)
        return;
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &vertex_array);
    destroy_shader(program);
    program = vertex_array = buffer = 0;
}
