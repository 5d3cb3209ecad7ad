// Input: orientation, coordinate choice, dropped files and the viewport.
#include "input.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <utility>

#include <cglm/cglm.h>
#include <GLFW/glfw3.h>

#include "main.h"
#include "mesh.h"
#include "platform.h"

versor q = {0.0f, 0.0f, 0.0f, 1.0f};
vec3 axis[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
int (*key_state_input)(GLFWwindow* window, int key) = glfwGetKey;

// 2 pi / 255 to seven digits: a held key turns a full circle in 255 frames.
static const double step = 0.024639943838277563;

// A turn by angle about v. cglm takes only an axis of length exactly 0 as
// no axis; anything shorter than float precision must turn nothing too.
static void __quatv_input(versor s, float angle, vec3 v)
{
    if (glm_vec3_norm(v) < FLT_EPSILON)
        glm_quat_init(s, 0.0f, 0.0f, 0.0f, cosf(angle * 0.5f));
    else
        glm_quatv(s, angle, v);
}

// Turns the orientation and the three axes by the same step, so that each
// axis stays the image of its unit vector under q.
static void __turn_input(versor s)
{
    versor turned;
    glm_quat_mul(s, q, turned);
    glm_quat_copy(turned, q);
    for (vec3& a : axis)
        glm_quat_rotatev(s, a, a);
}

float* poll_input(GLFWwindow* window)
{
    // The first held key in this order decides; one step per frame at most.
    static const struct {
        int key;
        float sign;
        int axis;
    } keys[] = {
        {GLFW_KEY_Q, 1.0f, 0},
        {GLFW_KEY_W, -1.0f, 0},
        {GLFW_KEY_A, 1.0f, 1},
        {GLFW_KEY_S, -1.0f, 1},
        {GLFW_KEY_Z, 1.0f, 2},
        {GLFW_KEY_X, -1.0f, 2},
    };

    versor s = GLM_QUAT_IDENTITY_INIT;
    for (const auto& k : keys) {
        if (key_state_input(window, k.key) == GLFW_PRESS) {
            __quatv_input(s, k.sign * static_cast<float>(step), axis[k.axis]);
            break;
        }
    }
    __turn_input(s);
    glm_quat_normalize(q);
    return q;
}

// A scroll unit turns twice as far as a key step. The angle is brought
// within one period of a turn's quaternion, 4 pi, while still a double: an
// offset past the range of float would make it infinite and the orientation
// NaN for good. An offset that is not a number turns nothing.
static float __scroll_angle_input(double offset)
{
    double angle = 2 * (step * offset);
    if (!std::isfinite(angle))
        return 0.0f;
    return static_cast<float>(std::fmod(angle, 4 * GLM_PI));
}

void __scroll_callback_input(GLFWwindow*, double xoffset, double yoffset)
{
    vec3 horizontal = {-1.0f, 0.0f, 0.0f}, vertical = {0.0f, 1.0f, 0.0f};
    versor sy, sx;
    __quatv_input(sy, __scroll_angle_input(yoffset), horizontal);
    __quatv_input(sx, __scroll_angle_input(xoffset), vertical);
    __turn_input(sy);
    __turn_input(sx);
}

// A digit names coordinate c; it becomes the hidden one unless the surface
// lacks it or it is shown as x, y or z.
static void __choose_hidden_input(uint8_t c)
{
    Projection& p = projection;
    if (c >= p.dim || c == p.x || c == p.y || c == p.z)
        return;
    p.w = c;
    // A running turn keeps its binding until it ends; otherwise the next
    // turn should start from the chosen coordinate, so bind it now.
    if (p.mesh && animate_index == 0)
        set_projection_mesh(p);
}

void __key_callback_input(GLFWwindow*, int key, int, int action, int)
{
    if (action != GLFW_PRESS)
        return;
    if (key >= GLFW_KEY_1 && key <= GLFW_KEY_9) {
        __choose_hidden_input(static_cast<uint8_t>(key - GLFW_KEY_1));
        return;
    }
    // Always so while no surface is shown: dim is 0.
    if (projection.w >= projection.dim)
        return;

    // The record changes at once; the frame turns the old binding toward w
    // and binds the record when the turn ends.
    if (key == GLFW_KEY_I) {
        std::swap(projection.w, projection.x);
        animate_index = 1;
    } else if (key == GLFW_KEY_O) {
        std::swap(projection.w, projection.y);
        animate_index = 2;
    } else if (key == GLFW_KEY_P) {
        std::swap(projection.w, projection.z);
        animate_index = 3;
    }
}

// Puts mesh on show in place of the shown one.
static void __put_on_show_input(Mesh* mesh, uint8_t dim)
{
    Projection& p = projection;
    Mesh* replaced = p.mesh;
    p.mesh = mesh;
    p.dim = dim;
    // Indices chosen for a wider surface would read past each vertex.
    if (p.x >= p.dim || p.y >= p.dim || p.z >= p.dim || p.w >= p.dim) {
        p.x = 0;
        p.y = 1;
        p.z = 2;
        p.w = 3;
    }
    set_projection_mesh(p);
    destroy_mesh(replaced);
}

ShowStatus __show_input(SurfaceData data)
{
    if (data.dim < 4)
        return SHOW_TOO_FEW_COORDINATES;
    Mesh* mesh = create_mesh(data);
    if (!mesh)
        return SHOW_NO_MESH;
    __put_on_show_input(mesh, data.dim);
    return SHOW_DONE;
}

ShowStatus __show_file_input(const KleinFile* file, KleinReport* report)
{
    if (file->dim < 4)
        return SHOW_TOO_FEW_COORDINATES;
    // The arrays go from the page cache straight into the GPU's buffers:
    // no copy of our own, and no second one in memory while they upload.
    float *coords, *normals;
    Mesh* mesh = create_mapped_mesh(file->dim, file->vertex_count, &coords, &normals);
    if (!mesh)
        return SHOW_NO_MESH;
    if (read_surface_klein(file, coords, normals, report)) {
        destroy_mesh(mesh);
        return SHOW_UNREADABLE;
    }
    if (unmap_mesh(mesh)) {
        destroy_mesh(mesh);
        return SHOW_NO_MESH;
    }
    __put_on_show_input(mesh, file->dim);
    return SHOW_DONE;
}

ShowStatus show_surface_input(const char* path, KleinReport* report)
{
    KleinReport ignored;
    if (!report)
        report = &ignored;
    KleinFile file;
    if (open_surface_klein(path, &file, report))
        return SHOW_UNREADABLE;
    ShowStatus status = __show_file_input(&file, report);
    close_surface_klein(&file);
    return status;
}

void describe_show_input(ShowStatus status, const KleinReport* report, char* text, size_t size)
{
    if (status == SHOW_TOO_FEW_COORDINATES)
        snprintf(text, size, "fewer than 4 coordinates");
    else if (status == SHOW_NO_MESH)
        snprintf(text, size, "too large for the GPU");
    else
        describe_klein(report, text, size);
}

void __drop_callback_input(GLFWwindow*, int count, const char** paths)
{
    if (count > 0)
        show_surface_input(paths[0], nullptr);
}

void __window_callback_input(GLFWwindow*, int width, int height)
{
    // Clearing covers the whole window, so the strips beside the square
    // show the clear colour.
    int side = width < height ? width : height;
    glViewport((width - side) / 2, (height - side) / 2, side, side);
}
