// The GL declarations: libepoxy's on the desktop; in the browser, OpenGL ES
// 3.0, which is what WebGL 2 offers. Modules that call GL include this.
#pragma once

#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#include <GLES3/gl3.h>

// WebGL 2 reads buffers back, as ES 3.0 does not; Emscripten offers it.
extern "C" void glGetBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, void* data);

// Clip distances come with WEBGL_clip_cull_distance, where a browser offers
// it: 1 once it is enabled for the current context, else 0.
inline int clip_distance_platform()
{
    static const int offered
        = emscripten_webgl_enable_extension(emscripten_webgl_get_current_context(), "WEBGL_clip_cull_distance");
    return offered;
}

#define GL_CLIP_DISTANCE0 0x3000
#define GL_CLIP_DISTANCE1 0x3001
#define GL_CLIP_DISTANCE2 0x3002
#else
#include <epoxy/gl.h>
#endif
