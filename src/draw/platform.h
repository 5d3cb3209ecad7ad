// The platform: the GL and GLFW declarations, and what the browser does
// differently, named as features so that the modules need not ask which
// platform they run on. On the desktop: libepoxy's GL and GLFW 3.3. In the
// browser: OpenGL ES 3.0, which is what WebGL 2 offers, and Emscripten's
// GLFW, which is GLFW 3.2.
#pragma once

#include <cstddef>
#include <cstdio>

#include "core/host.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#include <GLES3/gl3.h>
#include <GLFW/glfw3.h>

// WebGL 2 reads buffers back, as ES 3.0 does not; Emscripten offers it.
extern "C" void glGetBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, void* data);

#define GL_CLIP_DISTANCE0 0x3000
#define GL_CLIP_DISTANCE1 0x3001
#define GL_CLIP_DISTANCE2 0x3002
#define GL_LINE 0x1B01
#define GL_FILL 0x1B02
#define GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD 0x9160
#define GL_LOWER_LEFT 0x8CA1
#define GL_UPPER_LEFT 0x8CA2
#define GL_CLIP_ORIGIN 0x935C
#define GL_TEXTURE_BUFFER 0x8C2A
#define GL_MAX_TEXTURE_BUFFER_SIZE 0x8C2B

// WebGL fills every triangle: the wireframe needs a list of edges.
constexpr bool has_polygon_mode_platform = false;
// WebGL 2 draws one range of vertices a call.
constexpr bool has_multi_draw_platform = false;
// The page, whose browser keeps F11 and Ctrl's keys for itself.
constexpr bool is_page_platform = true;
// WebGL maps no buffers, and glBufferData copies the memory it is given.
constexpr bool has_buffer_mapping_platform = false;
// WebGL has no buffer textures: a vertex stage fetches from 2D textures of
// this many texels a row, made from the arrays when they are handed over.
constexpr bool has_buffer_textures_platform = false;
constexpr int texture_width_platform = 4096;
constexpr const char* frame_fetch_platform
    = "precision highp sampler2D;\n"
      "#define FETCH_SAMPLER sampler2D\n"
      "#define FETCH(t, i) texelFetch(t, ivec2((i) % 4096, (i) / 4096), 0).r\n";
// The wheel's offsets to a click, away from the user: the browser hands on
// its pixels, about 100 to a click and positive toward the user, where GLFW
// elsewhere gives clicks, positive away.
constexpr double wheel_unit_platform = -100.0;
// WebGL 2 compiles GLSL ES 3.00: this in place of a stage's own version line.
constexpr const char* stage_version_platform = "#version 300 es\n";

inline void polygon_mode_platform(GLenum)
{
}

inline void multi_draw_arrays_platform(GLenum, const GLint*, const GLsizei*, GLsizei)
{
}

// WebGL always takes a point's size from its vertex stage.
inline void point_size_platform()
{
}

inline void* map_buffer_platform(GLenum, GLsizeiptr)
{
    return nullptr;
}

inline void buffer_texture_platform(GLenum, GLuint)
{
}

inline GLboolean unmap_buffer_platform(GLenum)
{
    return GL_TRUE;
}

// Clip distances come with WEBGL_clip_cull_distance, where a browser offers
// it: 1 once it is enabled for the current context, else 0.
inline int has_clip_distances_platform()
{
    static const int offered = emscripten_webgl_enable_extension(
        emscripten_webgl_get_current_context(), "WEBGL_clip_cull_distance");
    return offered;
}

// Colour buffers of floats, which transparency draws into, come with
// EXT_color_buffer_float, where a browser offers it: of half floats, since
// blending full ones needs yet another extension.
constexpr GLenum layer_formats_platform[2] = {GL_RGBA16F, GL_R16F};
constexpr GLenum layer_type_platform = GL_HALF_FLOAT;
inline int has_float_colours_platform()
{
    static const int offered
        = emscripten_webgl_enable_extension(emscripten_webgl_get_current_context(), "EXT_color_buffer_float");
    return offered;
}

// WebGL offers none of the desktop's extensions that the viewer asks for;
// it has no clip control, say, and its rows count from the bottom.
inline int has_gl_extension_platform(const char*)
{
    return 0;
}

// The window asked for WebGL 2 alone, so a context is one.
inline int offers_gl_platform()
{
    return glfwGetCurrentContext() != nullptr;
}

inline void describe_gl_platform(char* text, size_t size)
{
    snprintf(text, size, "%s", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
}

// Emscripten's GLFW keeps no errors; the window asked for WebGL 2, and a
// browser without it is what makes creating one fail.
inline const char* glfw_error_platform()
{
    return "this browser offers no WebGL 2";
}

inline void window_class_platform(const char*)
{
}
#else
#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

constexpr bool has_polygon_mode_platform = true;
constexpr bool has_multi_draw_platform = true;
constexpr bool is_page_platform = false;
constexpr bool has_buffer_mapping_platform = true;
constexpr bool has_buffer_textures_platform = true;
constexpr int texture_width_platform = 0;
constexpr const char* frame_fetch_platform = "#define FETCH_SAMPLER samplerBuffer\n"
                                             "#define FETCH(t, i) texelFetch(t, i).r\n";
constexpr double wheel_unit_platform = 1.0;
constexpr const char* stage_version_platform = nullptr;

inline void polygon_mode_platform(GLenum mode)
{
    glPolygonMode(GL_FRONT_AND_BACK, mode);
}

inline void multi_draw_arrays_platform(GLenum mode, const GLint* firsts, const GLsizei* counts, GLsizei draws)
{
    glMultiDrawArrays(mode, firsts, counts, draws);
}

// Points take their size from the vertex stage.
inline void point_size_platform()
{
    glEnable(GL_PROGRAM_POINT_SIZE);
}

// The whole buffer, for writing, its old contents dropped.
inline void* map_buffer_platform(GLenum target, GLsizeiptr size)
{
    return glMapBufferRange(target, 0, size, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
}

inline GLboolean unmap_buffer_platform(GLenum target)
{
    return glUnmapBuffer(target);
}

// The texture bound to GL_TEXTURE_BUFFER reads the buffer in that format.
inline void buffer_texture_platform(GLenum format, GLuint buffer)
{
    glTexBuffer(GL_TEXTURE_BUFFER, format, buffer);
}

inline int has_clip_distances_platform()
{
    return 1;
}

// Transparency's sums in full floats: the order of the triangles changes
// them by far less than a level of the picture.
constexpr GLenum layer_formats_platform[2] = {GL_RGBA32F, GL_R32F};
constexpr GLenum layer_type_platform = GL_FLOAT;

inline int has_float_colours_platform()
{
    return 1;
}

inline int has_gl_extension_platform(const char* name)
{
    return epoxy_has_gl_extension(name);
}

// libepoxy resolves entry points on first use; what remains to check is
// that there is a context and that it offers what the program calls.
inline int offers_gl_platform()
{
    return glfwGetCurrentContext() && epoxy_is_desktop_gl() && epoxy_gl_version() >= 33;
}

inline void describe_gl_platform(char* text, size_t size)
{
    int version = epoxy_gl_version();
    snprintf(
        text, size, "%s %d.%d", epoxy_is_desktop_gl() ? "OpenGL" : "OpenGL ES", version / 10, version % 10);
}

inline const char* glfw_error_platform()
{
    const char* description = nullptr;
    glfwGetError(&description);
    return description;
}

// WM_CLASS, by which launchers and docks group the window with its desktop
// entry; GLFW would otherwise use the title for both names.
inline void window_class_platform(const char* name)
{
    glfwWindowHintString(GLFW_X11_CLASS_NAME, name);
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, name);
}
#endif
