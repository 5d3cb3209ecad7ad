// The shapes on show and the table of their kinds.
#include "draw/shapes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/view.h"
#include "draw/load.h"
#include "draw/platform.h"
#include "draw/shader.h"
#include "draw/smooth.h"

Shape shapes[max_shapes];
int shape_count = 0;
uint32_t serial_shapes = 0;

// After the surface's own dark blue, colours told apart by most eyes, the
// colour-blind among them (Okabe and Ito), dark enough to read as lines on
// white and lit as surfaces.
static const uint8_t palette[][3] = {
    {213, 94, 0},    // vermilion
    {0, 158, 115},   // bluish green
    {204, 121, 167}, // reddish purple
    {0, 114, 178},   // blue
    {230, 159, 0},   // orange
    {86, 180, 233},  // sky blue
};

void palette_shapes(int source, uint8_t* colour)
{
    const Finish& f = view.finish;
    if (source >= 0 && source < f.color_count) {
        memcpy(colour, f.colors[source], 3);
        colour[3] = 255;
        return;
    }
    if (source <= 0) {
        memcpy(colour, color, 4);
        return;
    }
    const uint8_t* c = palette[(source - 1) % (sizeof palette / sizeof palette[0])];
    colour[0] = c[0];
    colour[1] = c[1];
    colour[2] = c[2];
    colour[3] = 255;
}

void recolor_shapes()
{
    for (int k = 0; k < shape_count; k++)
        palette_shapes(shapes[k].source, shapes[k].color);
}

void color_file_shapes(int k, const uint8_t* rgb)
{
    Shape& shape = shapes[k];
    if (shape.source < 0 || shape.source >= max_colors_view) {
        memcpy(shape.color, rgb, 3);
        return;
    }
    // The files before it keep the colours they have.
    View next = view;
    Finish& f = next.finish;
    for (; f.color_count <= shape.source; f.color_count++) {
        uint8_t before[4];
        palette_shapes(f.color_count, before);
        memcpy(f.colors[f.color_count], before, 3);
    }
    memcpy(f.colors[shape.source], rgb, 3);
    set_view(&next);
    recolor_shapes();
}

static void __colour_shapes(const uint8_t* c, float opacity, float* rgba)
{
    for (int k = 0; k < 3; k++)
        rgba[k] = c[k] / 255.0f;
    rgba[3] = c[3] / 255.0f * opacity;
}

// Triangles: a mesh, filled and lit, with its wireframe over it.
static int __upload_triangles(ShapeData* data, Shape* shape)
{
    shape->mesh = create_mesh({data->coords, data->normals, data->vertex_count, data->dim});
    if (shape->mesh && data->colors && !paint_mesh(shape->mesh, data->colors)) {
        destroy_mesh(shape->mesh);
        shape->mesh = nullptr;
    }
    return shape->mesh != nullptr;
}

static void __bind_triangles(Shape* shape, const uint8_t show[4])
{
    bind_mesh(shape->mesh, show);
}

// The textures of the mesh the stages fetch from: a frame's, and smooth
// light's planes, which the stage bound to the coordinate choice fetches at
// the coordinates bound.
static void __textures_triangles(const Mesh* mesh, const Programs* programs)
{
    GLenum target = has_buffer_textures_platform ? GL_TEXTURE_BUFFER : GL_TEXTURE_2D;
    const unsigned int textures[3] = {mesh->textures[0], mesh->textures[1], mesh->tangent_texture};
    for (int k = programs->smooth ? 2 : 1; k >= 0; k--) {
        if (k < 2 && !programs->framed)
            continue;
        glActiveTexture(GL_TEXTURE0 + k);
        glBindTexture(target, textures[k]);
    }
    glActiveTexture(GL_TEXTURE0);
    if (!programs->smooth || programs->framed)
        return;
    const int shown[4] = {mesh->bound[0], mesh->bound[1], mesh->bound[2], mesh->bound[3]};
    load_int_to_shader(programs->lit, "dim", mesh->dim);
    load_int4_to_shader(programs->lit, "shown", shown);
}

static void __draw_triangles(const Shape* shape, const Programs* programs, Pass pass)
{
    float rgba[4];
    __textures_triangles(shape->mesh, programs);
    if (programs->painted) {
        bool painted = shape->mesh->paint_texture != 0;
        load_float_to_shader(pass == PASS_FILL ? programs->lit : programs->plain, "painted", painted);
        glActiveTexture(GL_TEXTURE0 + UNIT_PAINT);
        glBindTexture(GL_TEXTURE_2D, shape->mesh->paint_texture);
        glActiveTexture(GL_TEXTURE0);
    }
    if (pass != PASS_FILL) {
        if (shape->outlined || !programs->wire)
            return;
        __colour_shapes(shape->color, 1.0f, rgba);
        load_float4_to_shader(programs->plain, "color", rgba);
        draw_mesh_lines(programs->plain, shape->mesh);
        return;
    }
    __colour_shapes(shape->color, programs->opacity, rgba);
    load_float4_to_shader(programs->lit, "color", rgba);
    // Without normals of its own, a mesh is lit by its shape.
    bool shaped = programs->file_light && !shape->mesh->normal_buffer;
    if (shaped)
        load_float_to_shader(programs->lit, "light", 1.0f);
    if (programs->smooth)
        draw_smooth(programs->lit, shape->mesh);
    else
        draw_mesh(programs->lit, shape->mesh);
    if (shaped)
        load_float_to_shader(programs->lit, "light", 0.0f);
}

static uint64_t __count_triangles(const Shape* shape)
{
    return shape->mesh->vertex_count / 3;
}

static void __destroy_triangles(Shape* shape)
{
    destroy_mesh(shape->mesh);
}

// Lines and points: strokes, drawn with the lines.
static int __upload_strokes(ShapeData* data, Shape* shape)
{
    shape->strokes = create_strokes(data, true);
    return shape->strokes != nullptr;
}

static void __bind_strokes(Shape* shape, const uint8_t show[4])
{
    bind_strokes(shape->strokes, show);
}

static void __draw_strokes(const Shape* shape, const Programs* programs, Pass pass)
{
    unsigned int program = shape->kind == SHAPE_LINES ? programs->lines : programs->points;
    if (pass != PASS_LINES || !program)
        return;
    // Past what GL can fetch, a frame of R^m cannot show them.
    if (programs->fetched && !texture_strokes(shape->strokes))
        return;
    float rgba[4];
    __colour_shapes(shape->color, 1.0f, rgba);
    if (programs->shade > 0.0f)
        load_float_to_shader(program, "shade", shape->ink ? programs->shade : 1.0f);
    draw_strokes(program, shape->strokes, rgba, programs->fetched ? UNIT_COORDS : -1);
}

static uint64_t __count_lines(const Shape* shape)
{
    return shape->strokes->vertex_count ? shape->strokes->vertex_count - 1 : 0;
}

static uint64_t __count_points(const Shape* shape)
{
    return shape->strokes->vertex_count;
}

static void __destroy_strokes(Shape* shape)
{
    destroy_strokes(shape->strokes);
}

const KindRow kind_rows[] = {
    {SHAPE_TRIANGLES, "triangles", "faces", __upload_triangles, __bind_triangles, __draw_triangles,
        __count_triangles, __destroy_triangles},
    {SHAPE_LINES, "lines", "segments", __upload_strokes, __bind_strokes, __draw_strokes, __count_lines,
        __destroy_strokes},
    {SHAPE_POINTS, "points", "points", __upload_strokes, __bind_strokes, __draw_strokes, __count_points,
        __destroy_strokes},
};

const KindRow* row_shapes(ShapeKind kind)
{
    return &kind_rows[kind];
}

static int __append_shapes(Shape* shape, int source)
{
    palette_shapes(source, shape->color);
    shape->shown = true;
    shape->source = source;
    shapes[shape_count++] = *shape;
    serial_shapes++;
    return 1;
}

int add_shapes(ShapeData* data, int source)
{
    Shape shape = {};
    shape.kind = data->kind;
    if (shape_count == max_shapes || !row_shapes(data->kind)->upload(data, &shape))
        return 0;
    return __append_shapes(&shape, source);
}

int add_mesh_shapes(Mesh* mesh, int source)
{
    if (shape_count == max_shapes) {
        destroy_mesh(mesh);
        return 0;
    }
    Shape shape = {};
    shape.kind = SHAPE_TRIANGLES;
    shape.mesh = mesh;
    return __append_shapes(&shape, source);
}

void clear_shapes()
{
    for (int k = shape_count - 1; k >= 0; k--)
        row_shapes(shapes[k].kind)->destroy(&shapes[k]);
    shape_count = 0;
    serial_shapes++;
}

void bind_shapes(const uint8_t show[4])
{
    for (int k = 0; k < shape_count; k++)
        row_shapes(shapes[k].kind)->bind(&shapes[k], show);
}

void draw_shapes(const Programs* programs, Pass pass)
{
    for (int k = 0; k < shape_count; k++)
        if (shapes[k].shown)
            row_shapes(shapes[k].kind)->draw(&shapes[k], programs, pass);
}

bool shows_kind_shapes(ShapeKind kind)
{
    for (int k = 0; k < shape_count; k++)
        if (shapes[k].shown && shapes[k].kind == kind)
            return true;
    return false;
}

bool shows_paint_shapes()
{
    for (int k = 0; k < shape_count; k++)
        if (shapes[k].shown && shapes[k].mesh && shapes[k].mesh->paint_texture)
            return true;
    return false;
}

uint32_t vertices_shapes()
{
    uint64_t sum = 0;
    for (int k = 0; k < shape_count; k++)
        sum += vertex_count_shapes(k);
    return static_cast<uint32_t>(std::min<uint64_t>(sum, UINT32_MAX));
}

const uint8_t* bound_shapes()
{
    return shapes[0].mesh ? shapes[0].mesh->bound : shapes[0].strokes->bound;
}

uint8_t dim_shapes()
{
    if (shape_count == 0)
        return 0;
    return shapes[0].mesh ? shapes[0].mesh->dim : shapes[0].strokes->dim;
}

const float* read_shapes(int k, uint64_t first, uint64_t count, float* part)
{
    const Shape& shape = shapes[k];
    if (shape.mesh)
        return read_mesh(shape.mesh, 0, first, count, part);
    read_strokes(shape.strokes, first, count, part);
    return part;
}

uint64_t vertex_count_shapes(int k)
{
    return shapes[k].mesh ? shapes[k].mesh->vertex_count : shapes[k].strokes->vertex_count;
}
