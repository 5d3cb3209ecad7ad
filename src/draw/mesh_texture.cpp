// Textures of a surface's arrays and colours: what fetches them through a
// frame of R^m, and what paints a vertex its file's colour.
#include "draw/mesh.h"

#include "draw/context.h"
#include "draw/platform.h"

uint32_t image_texture_mesh(const void* array, uint64_t count, bool halves)
{
    GLsizei width = texture_width_platform, rows = static_cast<GLsizei>((count + width - 1) / width);
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (count == 0 || rows > largest)
        return 0;
    GLsizei whole = static_cast<GLsizei>(count / width), rest = static_cast<GLsizei>(count % width);
    GLenum format = halves ? GL_R16F : GL_R32F, type = halves ? GL_HALF_FLOAT : GL_FLOAT;
    const char* bytes = static_cast<const char*>(array);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // A fetch from a texture that is not complete reads nothing.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, rows, 0, GL_RED, type, nullptr);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, whole, GL_RED, type, bytes);
    if (rest)
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, whole, rest, 1, GL_RED, type,
            bytes + (halves ? 2 : 4) * whole * static_cast<uint64_t>(width));
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

int paint_mesh(Mesh* mesh, const uint8_t* colors)
{
    const GLsizei width = 4096, rows = static_cast<GLsizei>((mesh->vertex_count + width - 1) / width);
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (mesh->vertex_count == 0 || rows > largest)
        return 0;
    GLsizei whole = static_cast<GLsizei>(mesh->vertex_count / width);
    GLsizei rest = static_cast<GLsizei>(mesh->vertex_count % width);
    drop_errors_context();
    glGenTextures(1, &mesh->paint_texture);
    glBindTexture(GL_TEXTURE_2D, mesh->paint_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, whole, GL_RGBA, GL_UNSIGNED_BYTE, colors);
    if (rest)
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, whole, rest, 1, GL_RGBA, GL_UNSIGNED_BYTE,
            colors + 4 * static_cast<uint64_t>(whole) * width);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (glGetError() == GL_NO_ERROR)
        return 1;
    glDeleteTextures(1, &mesh->paint_texture);
    mesh->paint_texture = 0;
    return 0;
}

uint32_t buffer_texture_mesh(uint32_t buffer, uint32_t format, uint64_t texels)
{
    GLint largest = 0;
    if (has_buffer_textures_platform)
        glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &largest);
    if (!has_buffer_textures_platform || texels > static_cast<uint64_t>(largest))
        return 0;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_BUFFER, texture);
    buffer_texture_platform(format, buffer);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    return texture;
}

int texture_mesh(Mesh* mesh)
{
    if (mesh->textures[0] || !has_buffer_textures_platform)
        return mesh->textures[0] != 0;
    drop_errors_context();
    // One texel a float, no copy. A mesh without normals is lit by its
    // shape, and fetches none.
    const GLuint buffers[2] = {mesh->coord_buffer, mesh->normal_buffer};
    for (int k = 0; k < (mesh->normal_buffer ? 2 : 1); k++)
        mesh->textures[k]
            = buffer_texture_mesh(buffers[k], GL_R32F, uint64_t {mesh->dim} * mesh->vertex_count);
    if (!mesh->textures[0] || glGetError() != GL_NO_ERROR) {
        glDeleteTextures(2, mesh->textures);
        mesh->textures[0] = mesh->textures[1] = 0;
    }
    return mesh->textures[0] != 0;
}
