// The stages that lay a transparent surface's layers over the picture.
#include "draw/glsl.h"

const char* const composite_vs = R"(#version 330 core
void main()
{
    // One triangle over the whole viewport, from the vertex's number alone.
    vec2 corner = vec2(float((gl_VertexID & 1) << 2), float((gl_VertexID & 2) << 1)) - 1.0;
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

// Laid over the picture with the blend (1 - alpha, alpha): the weighted mean
// colour, over what the layers let through. A pixel no layer reached lets
// everything through and is left alone.
const char* const composite_fs = R"(#version 330 core
uniform highp sampler2D layered;
uniform highp sampler2D weights;

out vec4 FragColor;

void main()
{
    ivec2 at = ivec2(gl_FragCoord.xy);
    vec4 sum = texelFetch(layered, at, 0);
    if (sum.a >= 1.0)
        discard;
    FragColor = vec4(sum.rgb / max(texelFetch(weights, at, 0).r, 1e-5), sum.a);
}
)";
