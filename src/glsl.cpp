// The GLSL stages. The vertex stage sees four of the surface's coordinates,
// x, y, z and the hidden w, turns them in four dimensions, and during a swap
// turns one of x, y, z toward w in the plane of the two before the 3-D
// rotation and camera apply. The hidden w as shown picks the colour of the
// map and places the slice and the 4-D eye.
#include "glsl.h"

#include <string>

#include "platform.h"

// What the vertex stage reads of a vertex: the four coordinates and normal
// components bound to its attributes, the text's own.
static const char vs_attributes[] = R"(#version 330 core
layout(location = 0) in float aPos_x;
layout(location = 1) in float aPos_y;
layout(location = 2) in float aPos_z;
layout(location = 3) in float aPos_w;
layout(location = 4) in float aNormal_x;
layout(location = 5) in float aNormal_y;
layout(location = 6) in float aNormal_z;
layout(location = 7) in float aNormal_w;

vec4 position4()
{
    return vec4(aPos_x, aPos_y, aPos_z, aPos_w);
}

vec4 normal4()
{
    return vec4(aNormal_x, aNormal_y, aNormal_z, aNormal_w);
}
)";

// Or all m coordinates and normal components of the vertex, fetched from
// textures, through a frame of R^m: F c, one column of F for each.
static const std::string vs_frame_head = std::string("#version 330 core\n") + frame_fetch_platform + R"(
uniform FETCH_SAMPLER coords;
uniform FETCH_SAMPLER normals;
uniform int dim;
layout(std140) uniform Frame
{
    vec4 column[255];
};

vec4 framed(FETCH_SAMPLER array)
{
    vec4 sum = vec4(0.0);
    int first = gl_VertexID * dim;
    for (int k = 0; k < dim; k++)
        sum += column[k] * FETCH(array, first + k);
    return sum;
}

vec4 position4()
{
    return framed(coords);
}

vec4 normal4()
{
    return framed(normals);
}
)";

// The rest of the vertex stage is the same either way.
static const char vs_body[] = R"(
uniform float angle; // swap angle in radians, 0 when idle
uniform float i;     // which of x, y, z turns toward w
uniform mat4 fix;    // camera: perspective times view
uniform mat4 rot;    // orientation
uniform mat4 turn4;  // 4-D turn of the shown coordinates
uniform float zoom;  // magnification about the centre of the picture
uniform vec2 pan;    // shift of the picture before zoom
uniform float eye4;  // distance of the 4-D eye on the w axis; 0: none
uniform vec2 slice;  // c and delta of the slice; delta 0: none

out vec3 Normal;
out vec3 FragPos;
out float W; // the hidden coordinate as shown

mat2 rotate2d(float a)
{
    return mat2(cos(a), sin(a), -sin(a), cos(a));
}

void main()
{
    vec4 n4 = turn4 * normal4();
    vec4 p4 = turn4 * position4();
    vec3 n = n4.xyz;
    vec3 p = p4.xyz;

    // The swap turns in the space turn4 shows. A row vector times the
    // matrix: the first component is v * cos(angle) + w * sin(angle).
    // w goes the other way round, so that it ends the turn as the
    // coordinate the new binding hides, sign and all.
    int k = int(i);
    W = p4.w * cos(angle) + p[k] * sin(angle);
    n[k] = (vec2(n[k], n4.w) * rotate2d(angle)).x;
    p[k] = (vec2(p[k], p4.w) * rotate2d(angle)).x;

    // Seen from the 4-D eye, a point is scaled by d / (d - w): in
    // homogeneous terms, its weight is 1 - w / d. Beyond the eye the
    // weight falls to 0 and below, and the clip distance cuts it away.
    float weight = eye4 > 0.0 ? 1.0 - W / eye4 : 1.0;
    gl_ClipDistance[0] = weight;
    // The slice keeps c - delta <= w <= c + delta: two more planes, which
    // cut triangles exactly, w being linear across each. Some drivers cut
    // by every distance written, enabled or not: without a slice, none cuts.
    bool sliced = slice.y > 0.0;
    gl_ClipDistance[1] = sliced ? W - (slice.x - slice.y) : 1.0;
    gl_ClipDistance[2] = sliced ? slice.x + slice.y - W : 1.0;

    // rot only ever holds a rotation, whose inverse transpose is itself.
    Normal = mat3(rot) * n;
    vec4 turned = rot * vec4(p, weight);
    FragPos = turned.xyz / weight;
    gl_Position = fix * turned;
    // Zoom and pan move the picture, not the surface: in clip space.
    gl_Position.xy = zoom * (gl_Position.xy + pan * gl_Position.w);
}
)";
static const std::string vs_text = vs_attributes + std::string(vs_body);
static const std::string vs_frame_text = vs_frame_head + vs_body;
const char* const vs = vs_text.c_str();
const char* const vs_frame = vs_frame_text.c_str();

// Viewer and light share a point in front of the camera; the absolute values
// light both sides of the surface alike. What the two lit stages share: the
// normal, and how much light falls on the point and shines back from it.
static const char lit_head[] = R"(#version 330 core
in vec3 Normal;
in vec3 FragPos;

uniform vec4 color;
uniform float light; // 0: the file's normals; 1: the shape's as drawn

out vec4 FragColor;

const vec3 lightPos = vec3(0.0, 0.0, -15.0);
const vec3 viewPos = vec3(0.0, 0.0, -15.0);

// The normal of the triangle as drawn, from how the position changes across
// the pixels; right whatever the file's normals hold. A triangle seen
// edge-on has none and is lit as if it faced the viewer.
vec3 shapeNormal()
{
    vec3 across = cross(dFdx(FragPos), dFdy(FragPos));
    float length2 = dot(across, across);
    return length2 > 0.0 ? across * inversesqrt(length2) : normalize(viewPos - FragPos);
}

// The diffuse and the specular part of the light at the fragment.
vec2 lighting()
{
    vec3 normal = light > 0.5 ? shapeNormal() : normalize(Normal);
    vec3 viewDir = normalize(viewPos - FragPos);
    vec3 lightDir = normalize(lightPos - FragPos);
    vec3 halfwayDir = normalize(lightDir + viewDir);
    return vec2(abs(dot(normal, lightDir)), pow(abs(dot(normal, halfwayDir)), 32.0));
}
)";

static const std::string fs_text = std::string(lit_head) + R"(
void main()
{
    vec2 l = lighting();
    vec3 result = pow((0.5 + 0.5 * l.x + 1.0 * l.y) * color.rgb, vec3(1.0 / 2.2));
    FragColor = vec4(result, color.a);
}
)";
const char* const fs = fs_text.c_str();

// The cool-warm map of w from -s to +s, sampled 33 times in linear light,
// for the stages that colour by w.
static const char map_glsl[] = R"(
in float W;

uniform float reach; // s, the largest length of the shown (x, y, z, w)
uniform vec3 ramp[33];

vec3 mapColor()
{
    float t = clamp((reach > 0.0 ? W / reach : 0.0) * 16.0 + 16.0, 0.0, 32.0);
    int below = min(int(t), 31);
    return mix(ramp[below], ramp[below + 1], t - float(below));
}
)";

// The map's colours are lit in linear light: a face toward the light shows
// its colour as the map gives it, and the highlight only brightens it, so
// that no part washes out to white.
static const std::string fs_tint_text = std::string(lit_head) + map_glsl + R"(
void main()
{
    vec2 l = lighting();
    vec3 result = pow(mapColor() * (0.3 + 0.7 * l.x) + 0.15 * l.y, vec3(1.0 / 2.2));
    FragColor = vec4(result, color.a);
}
)";
const char* const fs_tint = fs_tint_text.c_str();

// The wireframe keeps the surface colour as it is: no lighting, no gamma.
const char* const fs_plain = R"(#version 330 core
uniform vec4 color;

out vec4 FragColor;

void main()
{
    FragColor = color;
}
)";

// Over the map the wireframe takes a dark shade of the colour beneath,
// which reads on every part of it.
static const std::string fs_plain_tint_text = std::string(R"(#version 330 core
uniform vec4 color;

out vec4 FragColor;
)") + map_glsl
    + R"(
void main()
{
    FragColor = vec4(0.45 * pow(mapColor(), vec3(1.0 / 2.2)), color.a);
}
)";
const char* const fs_plain_tint = fs_plain_tint_text.c_str();
