// The vertex stages that read all m coordinates of a vertex from
// attributes, four at a time, through a frame of R^m.
#include <string>

#include "draw/glsl.h"
#include "draw/glsl_parts.h"

// Or all m of them bound to attributes four at a time, through the frame:
// the same sums in the same order as the fetching stage's, so that both draw
// the same picture. The last attribute of each array has m mod 4 (or 4)
// components, so that the last vertex reads nothing past its buffer.
static const char columns_head_top[] = R"(#version 330 core
layout(std140) uniform Frame
{
    vec4 column[255];
};
)";

// Array which (aPos, aNormal) of a vertex of dim coordinates,
// from location which * ceil(dim / 4) on.
static std::string __columns_inputs_glsl(const char* name, int which, int dim)
{
    static const char* const types[] = {"float", "vec2", "vec3", "vec4"};
    std::string text;
    int count = locations_glsl(dim) / 2;
    for (int j = 0; j < count; j++) {
        int size = dim - 4 * j < 4 ? dim - 4 * j : 4;
        text += "layout(location = " + std::to_string(which * count + j) + ") in " + types[size - 1] + " "
            + name + std::to_string(j) + ";\n";
    }
    return text;
}

// A function's body: the sum of the frame's columns times the components.
static std::string __columns_sum_glsl(const char* name, int dim)
{
    std::string text = "{\n    vec4 sum = vec4(0.0);\n";
    for (int k = 0; k < dim; k++) {
        bool alone = k / 4 * 4 + 1 == dim;
        text += "    sum += column[" + std::to_string(k) + "] * " + name + std::to_string(k / 4)
            + (alone ? "" : std::string(".") + "xyzw"[k % 4]) + ";\n";
    }
    return text + "    return sum;\n}\n";
}

const char* columns_glsl(int dim)
{
    static std::string heads[most_columns_glsl / 2 * 4 + 1];
    if (dim < 1 || locations_glsl(dim) > most_columns_glsl)
        return nullptr;
    std::string& head = heads[dim];
    if (head.empty())
        head = columns_head_top + __columns_inputs_glsl("aPos", 0, dim)
            + __columns_inputs_glsl("aNormal", 1, dim) + "\nvec4 position4()\n"
            + __columns_sum_glsl("aPos", dim) + "\nvec4 normal4()\n" + __columns_sum_glsl("aNormal", dim);
    return head.c_str();
}

int locations_glsl(int dim)
{
    return 2 * ((dim + 3) / 4);
}
