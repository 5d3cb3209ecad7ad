// The GL declarations: libepoxy's on the desktop; in the browser, OpenGL ES
// 3.0, which is what WebGL 2 offers. Modules that call GL include this.
#pragma once

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <epoxy/gl.h>
#endif
