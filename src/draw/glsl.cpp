// The GLSL stages. The vertex stage sees four of the surface's coordinates,
// x, y, z and the hidden w, turns them in four dimensions, and during a swap
// turns one of x, y, z toward w in the plane of the two before the 3-D
// rotation and camera apply. The hidden w as shown picks the colour of the
// map and places the slice and the 4-D eye.
#include "draw/glsl.h"

#include <cstring>
#include <string>

#include "draw/glsl_parts.h"
#include "draw/platform.h"

// What the vertex stage reads of a vertex: the four coordinates and normal
// components bound to its attributes.
static const char position_attributes[] = R"(#version 330 core
layout(location = 0) in float aPos_x;
layout(location = 1) in float aPos_y;
layout(location = 2) in float aPos_z;
layout(location = 3) in float aPos_w;

vec4 position4()
{
    return vec4(aPos_x, aPos_y, aPos_z, aPos_w);
}
)";

static const char normal_attributes[] = R"(
layout(location = 4) in float aNormal_x;
layout(location = 5) in float aNormal_y;
layout(location = 6) in float aNormal_z;
layout(location = 7) in float aNormal_w;

vec4 normal4()
{
    return vec4(aNormal_x, aNormal_y, aNormal_z, aNormal_w);
}
)";

// Or all m coordinates and normal components of the vertex, fetched from
// textures, through a frame of R^m: F c, one column of F for each.
static const std::string frame_fetch = std::string("#version 330 core\n") + frame_fetch_platform + R"(
uniform FETCH_SAMPLER coords;
uniform int dim;
layout(std140) uniform Frame
{
    vec4 column[255];
};

vec4 fetched(FETCH_SAMPLER array, int vertex)
{
    vec4 sum = vec4(0.0);
    int first = vertex * dim;
    for (int k = 0; k < dim; k++)
        sum += column[k] * FETCH(array, first + k);
    return sum;
}
)";

static const std::string vs_frame_head = frame_fetch + R"(
uniform FETCH_SAMPLER normals;

vec4 position4()
{
    return fetched(coords, gl_VertexID);
}

vec4 normal4()
{
    return fetched(normals, gl_VertexID);
}
)";

// What every kind's vertex stage shares: how a point of R^4 is shown, cut
// and placed in the picture.
static const char vs_place[] = R"(
uniform float angle; // swap angle in radians, 0 when idle
uniform float i;     // which of x, y, z turns toward w
uniform mat4 fix;    // camera: perspective times view
uniform mat4 rot;    // orientation
uniform mat4 turn4;  // 4-D turn of the shown coordinates
uniform float zoom;  // magnification about the centre of the picture
uniform vec2 pan;    // shift of the picture before zoom
uniform float eye4;  // distance of the 4-D eye on the w axis; 0: none
uniform vec2 slice;  // c and delta of the slice; delta 0: none

mat2 rotate2d(float a)
{
    return mat2(cos(a), sin(a), -sin(a), cos(a));
}

// The swap turns in the space turn4 shows. A row vector times the matrix:
// the first component is v * cos(angle) + w * sin(angle). w goes the other
// way round, so that it ends the turn as the coordinate the new binding
// hides, sign and all. Returns x, y, z as shown, and w through hidden.
vec3 shownPoint(vec4 position, out float hidden)
{
    vec4 p4 = turn4 * position;
    vec3 p = p4.xyz;
    int k = int(i);
    hidden = p4.w * cos(angle) + p[k] * sin(angle);
    p[k] = (vec2(p[k], p4.w) * rotate2d(angle)).x;
    return p;
}

// Seen from the 4-D eye, a point is scaled by d / (d - w): in homogeneous
// terms, its weight is 1 - w / d. Beyond the eye the weight falls to 0 and
// below, and the first cut takes it away.
float eyeWeight(float hidden)
{
    return eye4 > 0.0 ? 1.0 - hidden / eye4 : 1.0;
}

// The distances to the cuts, kept where not negative: the 4-D eye's, then
// the slice's, c - delta <= w <= c + delta, two planes which cut triangles
// exactly, w being linear across each. Without a slice, neither cuts.
vec3 cutDistances(float hidden, float weight)
{
    bool sliced = slice.y > 0.0;
    return vec3(weight, sliced ? hidden - (slice.x - slice.y) : 1.0, sliced ? slice.x + slice.y - hidden : 1.0);
}

// Zoom and pan move the picture, not the surface: in clip space.
vec4 pictured(vec4 clip)
{
    clip.xy = zoom * (clip.xy + pan * clip.w);
    return clip;
}
)";

// The rest of the surface's vertex stage is the same either way.
static const char vs_main[] = R"(
out vec3 Normal;
out vec3 FragPos;
out float W; // the hidden coordinate as shown

void main()
{
    vec4 n4 = turn4 * normal4();
    vec3 n = n4.xyz;
    vec3 p = shownPoint(position4(), W);
    int k = int(i);
    n[k] = (vec2(n[k], n4.w) * rotate2d(angle)).x;

    float weight = eyeWeight(W);
    // Some drivers cut by every distance written, enabled or not: each is
    // written, and positive while its cue is off.
    vec3 cut = cutDistances(W, weight);
    gl_ClipDistance[0] = cut.x;
    gl_ClipDistance[1] = cut.y;
    gl_ClipDistance[2] = cut.z;

    // rot only ever holds a rotation, whose inverse transpose is itself.
    Normal = mat3(rot) * n;
    vec4 turned = rot * vec4(p, weight);
    FragPos = turned.xyz / weight;
    gl_Position = pictured(fix * turned);
    // Sheets that coincide in the picture meet at one depth, where the
    // test would pick either pixel by pixel: the one larger in w is put a
    // little nearer, by far less than any two surfaces drawn apart.
    gl_Position.z -= 2e-5 * W * gl_Position.w;
}
)";
static const std::string vs_body = std::string(vs_place) + vs_main;

const char* position_glsl()
{
    return position_attributes;
}

const char* fetch_glsl()
{
    return frame_fetch.c_str();
}

const char* place_glsl()
{
    return vs_place;
}

static const std::string vs_text = position_attributes + (normal_attributes + vs_body);
static const std::string vs_frame_text = vs_frame_head + vs_body;
const char* const vs = vs_text.c_str();
const char* const vs_frame = vs_frame_text.c_str();

// Viewer and light share a point in front of the camera; the absolute values
// light both sides of the surface alike. What the lit stages share: the
// inputs, then the output, then the normal and how much light falls on the
// point and shines back from it.
static const char lit_inputs[] = R"(#version 330 core
in vec3 Normal;
in vec3 FragPos;

uniform vec4 color;
uniform float light; // 0: the file's normals; 1: the shape's as drawn

)";

static const char lit_output[] = "out vec4 FragColor;\n";

static const char lit_shading[] = R"(
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

// A transparent surface is drawn into two layers that sum every fragment
// whatever their order (McGuire and Bavoil, "Weighted Blended
// Order-Independent Transparency", 2013): the colours weighted by opacity
// and nearness, and the product of what each lets through. One blend sums
// the colours and multiplies the alpha, so the weights go to a second
// target. The stage's own main runs first, under another name.
static const char layer_outputs[] = R"(vec4 FragColor;
layout(location = 0) out vec4 layered;
layout(location = 1) out vec4 weights;
)";

static const char layer_main[] = R"(#undef main
uniform float opacity;

void main()
{
    shade();
    // Their equation 10, from the depth in the depth buffer.
    float near = 1.0 - gl_FragCoord.z;
    float weight = clamp(opacity * max(1e-2, 3e3 * near * near * near), 1e-2, 3e3);
    layered = vec4(FragColor.rgb * opacity * weight, opacity);
    weights = vec4(opacity * weight);
}
)";

static const char lit_main[] = R"(
void main()
{
    vec2 l = lighting();
    vec3 result = pow((0.5 + 0.5 * l.x + 1.0 * l.y) * color.rgb, vec3(1.0 / 2.2));
    FragColor = vec4(result, color.a);
}
)";
static const std::string fs_text = std::string(lit_inputs) + lit_output + lit_shading + lit_main;
const char* const fs = fs_text.c_str();

// The cool-warm map of w from -scale to +scale, looked up in a texture of
// its samples in linear light, for the stages that colour by w.
static const char map_stage[] = R"(
in float W;

uniform float scale;
uniform highp sampler2D map; // 33 samples across, blue to red

vec3 mapColor()
{
    float t = clamp(scale > 0.0 ? W / scale : 0.0, -1.0, 1.0);
    return texture(map, vec2((16.0 * t + 16.5) / 33.0, 0.5)).rgb;
}
)";

// The map's colours are lit in linear light: a face toward the light shows
// its colour as the map gives it, and the highlight only brightens it, so
// that no part washes out to white.
static const char tint_main[] = R"(
void main()
{
    vec2 l = lighting();
    vec3 result = pow(mapColor() * (0.3 + 0.7 * l.x) + 0.15 * l.y, vec3(1.0 / 2.2));
    FragColor = vec4(result, color.a);
}
)";

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
static const std::string fs_plain_tint = std::string(R"(#version 330 core
uniform vec4 color;

out vec4 FragColor;
)") + map_stage
    + R"(
void main()
{
    FragColor = vec4(0.45 * pow(mapColor(), vec3(1.0 / 2.2)), color.a);
}
)";

// Smooth light: the vertex stage also takes the tangent plane at the
// vertex's point, t1 and t2, fetched by the point's number, and carries
// both through the view as the position goes, to the normal of the surface
// as drawn. Bound to the coordinate choice, it fetches t1 and t2 at the
// shown coordinates; through a frame of R^m, all m components of each, t1
// then t2, turned by the frame in the order the position is.
static const std::string point_input = "layout(location = " + std::to_string(point_location_glsl)
    + ") in uint aPoint;\nuniform FETCH_SAMPLER tangents;\n";

// What the stages that read attributes lack of the fetching stage's.
static const std::string fetch_head = frame_fetch_platform + std::string("uniform int dim;\n") + point_input;

static const char tangent_bound[] = R"(uniform ivec4 shown; // the coordinates bound as x, y, z, w

vec4 tangent4(int which)
{
    int first = (2 * int(aPoint) + which) * dim;
    return vec4(FETCH(tangents, first + shown.x), FETCH(tangents, first + shown.y),
        FETCH(tangents, first + shown.z), FETCH(tangents, first + shown.w));
}
)";

static const char tangent_framed[] = R"(
vec4 tangent4(int which)
{
    vec4 sum = vec4(0.0);
    int first = (2 * int(aPoint) + which) * dim;
    for (int k = 0; k < dim; k++)
        sum += column[k] * FETCH(tangents, first + k);
    return sum;
}
)";

// A tangent t of the surface at p as drawn: the 4-D turn, the swap's turn,
// then the derivative of the 4-D eye's p / weight with weight = 1 - w / d,
// (dp + p dw / (d weight)) / weight, less its length, then rot.
static const char tangent_function[] = R"(
vec3 drawnTangent(vec4 tangent, vec3 p, int k, float weight)
{
    vec4 t = turn4 * tangent;
    vec3 d = t.xyz;
    float dw = t.w * cos(angle) + d[k] * sin(angle);
    d[k] = (vec2(d[k], t.w) * rotate2d(angle)).x;
    if (eye4 > 0.0)
        d += p * dw / (eye4 * weight);
    return mat3(rot) * d;
}

void main()
)";

// Each vertex's normal is turned toward the viewer, so that a triangle's
// three agree before they are blended: the lighting takes either side alike.
static const char tangent_normal[] = R"(    FragPos = turned.xyz / weight;
    vec3 across = cross(drawnTangent(tangent4(0), p, k, weight), drawnTangent(tangent4(1), p, k, weight));
    vec3 toViewer = vec3(0.0, 0.0, -15.0) - FragPos;
    Normal = dot(across, across) > 0.0 ? (dot(across, toViewer) < 0.0 ? -across : across) : toViewer;
)";

std::string replaced_glsl(std::string text, const char* piece, const std::string& by)
{
    size_t at = text.find(piece);
    return at == std::string::npos ? text : text.replace(at, strlen(piece), by);
}

static std::string __smooth_glsl(const std::string& stage, const std::string& tangents)
{
    std::string text = replaced_glsl(stage, "out vec3 Normal;", tangents + "\nout vec3 Normal;");
    text = replaced_glsl(text, "\nvoid main()\n", tangent_function);
    text = replaced_glsl(text, "    Normal = mat3(rot) * n;\n", "");
    return replaced_glsl(text, "    FragPos = turned.xyz / weight;\n", tangent_normal);
}

const char* vertex_glsl(bool smooth, bool framed, int columns)
{
    static const std::string bound = __smooth_glsl(vs, fetch_head + tangent_bound);
    static const std::string fetched = __smooth_glsl(vs_frame, point_input + tangent_framed);
    static std::string read[2][most_columns_glsl / 2 * 4 + 1];
    if (framed && columns > 0 && locations_glsl(columns) <= most_columns_glsl) {
        std::string& stage = read[smooth][columns];
        if (stage.empty()) {
            stage = columns_glsl(columns) + vs_body;
            if (smooth)
                stage = __smooth_glsl(stage, fetch_head + tangent_framed);
        }
        return stage.c_str();
    }
    if (!smooth)
        return framed ? vs_frame : vs;
    return framed ? fetched.c_str() : bound.c_str();
}

const char* lit_glsl(bool tint, bool layered)
{
    static std::string stages[2][2];
    std::string& stage = stages[tint][layered];
    if (stage.empty())
        stage = std::string(lit_inputs) + (layered ? layer_outputs : lit_output) + lit_shading
            + (tint ? map_stage : "") + (layered ? "#define main shade\n" : "") + (tint ? tint_main : lit_main)
            + (layered ? layer_main : "");
    return stage.c_str();
}

const char* map_glsl()
{
    return map_stage;
}

const char* plain_glsl(bool tint)
{
    return tint ? fs_plain_tint.c_str() : fs_plain;
}
