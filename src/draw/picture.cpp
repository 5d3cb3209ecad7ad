// Pictures: offscreen framebuffer, read-back and PNG files through libpng.
#include "draw/picture.h"

#include <csetjmp>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <epoxy/gl.h>
#include <png.h>

#include "draw/context.h"
#include "core/output.h"

int create_picture(int size, Picture* picture)
{
    *picture = {size, 0, 0, 0, false};
    drop_errors_context();
    glGenFramebuffers(1, &picture->framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, picture->framebuffer);
    glGenRenderbuffers(1, &picture->colour);
    glBindRenderbuffer(GL_RENDERBUFFER, picture->colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size, size);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, picture->colour);
    glGenRenderbuffers(1, &picture->depth);
    glBindRenderbuffer(GL_RENDERBUFFER, picture->depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, picture->depth);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    // Storage the driver cannot give shows as GL_OUT_OF_MEMORY, or as a
    // framebuffer that is not complete.
    if (glGetError() != GL_NO_ERROR || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        destroy_picture(picture);
        return 0;
    }
    glViewport(0, 0, size, size);
    // Lines as wide, for the picture's size, as the window's are for 512, so
    // that a large picture scaled down looks like the window.
    if (size > 512)
        glLineWidth(static_cast<float>(size) / 512.0f);
    // Mesa keeps a window's rows top first and a framebuffer object's bottom
    // first, and rasterises each by rules of its own, so edges that fall
    // exactly on a pixel boundary land in different rows. With the origin
    // at the upper left, the framebuffer object is drawn as the window is,
    // pixel for pixel, and its rows come back top first.
    picture->top_first = epoxy_has_gl_extension("GL_ARB_clip_control");
    if (picture->top_first)
        glClipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    return 1;
}

void read_picture(const Picture* picture, uint8_t* rgb)
{
    int size = picture->size;
    size_t stride = 3 * static_cast<size_t>(size);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, size, size, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    if (picture->top_first)
        return;
    // GL's rows start at the bottom; a picture's at the top.
    uint8_t* row = static_cast<uint8_t*>(malloc(stride));
    for (int top = 0, bottom = size - 1; row && top < bottom; top++, bottom--) {
        memcpy(row, rgb + top * stride, stride);
        memcpy(rgb + top * stride, rgb + bottom * stride, stride);
        memcpy(rgb + bottom * stride, row, stride);
    }
    free(row);
}

void destroy_picture(Picture* picture)
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &picture->depth);
    glDeleteRenderbuffers(1, &picture->colour);
    glDeleteFramebuffers(1, &picture->framebuffer);
    if (picture->top_first)
        glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    if (picture->size > 512)
        glLineWidth(1.0f);
    *picture = {0, 0, 0, 0, false};
}

// libpng reports failures by calling this, which must not return.
static void __error_picture(png_structp png, png_const_charp message)
{
    char* reason = static_cast<char*>(png_get_error_ptr(png));
    snprintf(reason, 128, "%s", message);
    png_longjmp(png, 1);
}

static void __warning_picture(png_structp, png_const_charp)
{
}

// Returns none, or libpng's reason for failing.
static const char* __write_png_picture(FILE* file, const uint8_t* rgb, int size)
{
    static char reason[128];
    png_structp png
        = png_create_write_struct(PNG_LIBPNG_VER_STRING, reason, __error_picture, __warning_picture);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "out of memory";
    }
    // Nothing on this frame needs a destructor, so the jump back is safe.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return reason;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(size), static_cast<png_uint_32>(size), 8,
        PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    size_t stride = 3 * static_cast<size_t>(size);
    for (int y = 0; y < size; y++)
        png_write_row(png, rgb + y * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return nullptr;
}

const char* save_png_picture(Output* output, const uint8_t* rgb, int size)
{
    static char reason[160];
    // libpng says only "Write Error" when the disk is full; errno says why.
    errno = 0;
    const char* fault = __write_png_picture(output->file, rgb, size);
    if (fault) {
        snprintf(reason, sizeof reason, "cannot write: %s", errno ? strerror(errno) : fault);
        discard_output(output);
        return reason;
    }
    if (!commit_output(output)) {
        snprintf(reason, sizeof reason, "cannot write: %s", strerror(errno));
        return reason;
    }
    return nullptr;
}
