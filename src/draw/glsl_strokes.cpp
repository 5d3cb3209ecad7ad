// The stages of lines and points. GL 3.3 core draws lines one pixel wide,
// so each segment and each point is a quad of its own, an instance of four
// vertices: the vertex stage places both ends of a segment (or the point) as
// a surface's vertex is placed, cuts the segment where the surface would be
// cut, and spreads the quad about it in pixels. The fragment stage measures
// the fragment's distance from the segment, which gives round caps and edges
// anti-aliased over a pixel whatever the picture's samples.
#include "draw/glsl.h"

#include <string>

#include "draw/platform.h"

// A segment's ends, or a point, from the attributes bound to the coordinate
// choice: locations 0 to 3 the instance's vertex, 4 to 7 the next one.
static const char end_attributes[] = R"(
layout(location = 4) in float aEnd_x;
layout(location = 5) in float aEnd_y;
layout(location = 6) in float aEnd_z;
layout(location = 7) in float aEnd_w;

vec4 end4()
{
    return vec4(aEnd_x, aEnd_y, aEnd_z, aEnd_w);
}
)";

// Or fetched, all m coordinates of the segment's first vertex and of the
// next, or of the point, through a frame of R^m, from the texture of the
// piece being drawn.
static const char end_fetched[] = R"(
vec4 position4()
{
    return fetched(coords, STROKE);
}

vec4 end4()
{
    return fetched(coords, STROKE + 1);
}
)";

// What lines and points share: the colour of the vertex, whether a segment
// leaves it, and how a placed point is cut and moved to pixels.
static const char strokes_common[] = R"(
layout(location = 8) in vec4 aColor;
layout(location = 9) in float aJoins;

uniform vec2 viewport; // the drawing area's size in pixels
uniform float width;   // across, in pixels

out vec2 local;        // where the fragment lies, in pixels: along the segment from its first end, and across
flat out float len;    // the segment's length in pixels; 0 for a point
flat out float spot;   // a point's reach in pixels, which its fragments' place scales; 0 for a segment
flat out float radius; // half the width in pixels
out float bulge;       // how much nearer in depth a tube's or a ball's front is than its axis
out vec4 Color;
out float W;

// The distances to every cut at a point in clip space: the 4-D eye's (a
// little short of the eye, where the point would go to infinity), the
// slice's two, and the camera's near plane.
vec4 cutsAt(float hidden, vec4 clip)
{
    vec3 cut = cutDistances(hidden, eyeWeight(hidden));
    return vec4(eye4 > 0.0 ? cut.x - 1e-3 : 1.0, cut.yz, clip.z + clip.w);
}

// How much nearer the camera, in the depth buffer's terms, the front of a
// ball of radius r about a point (turned, homogeneous) is than the point.
float bulgeAt(vec4 turned, float r)
{
    vec3 centre = turned.xyz / turned.w;
    vec4 c = fix * vec4(centre, 1.0), f = fix * vec4(centre - vec3(0.0, 0.0, r), 1.0);
    return 0.5 * (f.z / f.w - c.z / c.w);
}

// A vertex that draws nothing: all four of its instance's fall outside.
void dropped()
{
    gl_Position = vec4(0.0, 0.0, 2.0, 1.0);
    len = 0.0;
    spot = 0.0;
    radius = 0.0;
}

// Whatever stands on a surface at the same depth is drawn over it; the
// quad stands upright, so a wide one needs a little more, by its width.
float lifted(float z)
{
    return z - 1.5e-3 * (radius + 1.0) * 512.0 / viewport.y;
}
)";

static const char line_main[] = R"(
uniform float tube; // a tube's radius in the shown units, or 0 for lines width pixels wide

void main()
{
    // Cut here already: every distance GL is given is positive.
    gl_ClipDistance[0] = 1.0;
    gl_ClipDistance[1] = 1.0;
    gl_ClipDistance[2] = 1.0;
    Color = aColor;
    float w0, w1;
    vec4 r0 = rot * vec4(shownPoint(position4(), w0), eyeWeight(w0));
    vec4 r1 = rot * vec4(shownPoint(end4(), w1), eyeWeight(w1));
    vec4 c0 = pictured(fix * r0), c1 = pictured(fix * r1);
    // Each distance is linear along the segment in homogeneous terms: the
    // part kept runs from t0 to t1.
    vec4 d0 = cutsAt(w0, c0), d1 = cutsAt(w1, c1);
    float t0 = 0.0, t1 = 1.0;
    for (int k = 0; k < 4; k++) {
        if (d0[k] < 0.0 && d1[k] < 0.0)
            t0 = 2.0;
        else if (d0[k] < 0.0)
            t0 = max(t0, d0[k] / (d0[k] - d1[k]));
        else if (d1[k] < 0.0)
            t1 = min(t1, d0[k] / (d0[k] - d1[k]));
    }
    if (aJoins < 0.5 || !(t0 < t1)) {
        dropped();
        return;
    }
    vec4 a = mix(c0, c1, t0), b = mix(c0, c1, t1);
    float wa = mix(w0, w1, t0), wb = mix(w0, w1, t1);
    vec3 na = a.xyz / a.w, nb = b.xyz / b.w;
    vec2 half_size = 0.5 * viewport;
    vec2 sa = na.xy * half_size, sb = nb.xy * half_size;
    len = length(sb - sa);
    vec2 d = len > 1e-4 ? (sb - sa) / len : vec2(1.0, 0.0);
    vec2 n = vec2(-d.y, d.x);
    // A tube is as wide as its radius seen at its ends' depths: the point
    // p / weight has the clip w of a / weight.
    float seen = fix[1][1] * zoom * half_size.y;
    radius = tube > 0.0 ? 0.5 * tube * seen * (eyeWeight(wa) / a.w + eyeWeight(wb) / b.w) : 0.5 * width;
    // A pixel's fringe beyond the edge, for its share of coverage.
    float reach = radius + 1.0;
    spot = 0.0;
    bool second = gl_VertexID >= 2;
    float side = (gl_VertexID & 1) == 1 ? 1.0 : -1.0;
    vec2 corner = (second ? sb + d * reach : sa - d * reach) + n * side * reach;
    local = vec2(second ? len + reach : -reach, side * reach);
    W = second ? wb : wa;
    bulge = tube > 0.0 ? bulgeAt(mix(r0, r1, second ? t1 : t0), tube) : 0.0;
    // The depth goes on along the segment past its ends, as it would on the
    // line, so that two segments meet at one depth where they join.
    float past = len > 1e-4 ? reach / len * (nb.z - na.z) : 0.0;
    gl_Position = vec4(corner / half_size, lifted(second ? nb.z + past : na.z - past), 1.0);
}
)";

static const char point_main[] = R"(
void main()
{
    gl_ClipDistance[0] = 1.0;
    gl_ClipDistance[1] = 1.0;
    gl_ClipDistance[2] = 1.0;
    Color = aColor;
    float weight = eyeWeight(W);
    vec4 turned = rot * vec4(shownPoint(position4(), W), weight);
    vec4 c = pictured(fix * turned);
    vec4 d = cutsAt(W, c);
    if (min(min(d.x, d.y), min(d.z, d.w)) < 0.0) {
        dropped();
        return;
    }
    vec3 n = c.xyz / c.w;
    len = 0.0;
    radius = 0.5 * width;
    // Coverage ends half a pixel past the radius, and so does the sprite.
    spot = radius + 0.5;
    local = vec2(0.0);
    // The ball's radius in the shown units, where its centre is seen.
    bulge = bulgeAt(turned, radius * c.w / (weight * fix[1][1] * zoom * 0.5 * viewport.y));
    gl_PointSize = 2.0 * spot;
    gl_Position = vec4(n.xy, lifted(n.z), 1.0);
}
)";

// The stage's inputs, bound or fetched: a segment's from its instance's
// number, a point's from its vertex's.
static std::string __inputs_glsl(bool framed, const char* stroke)
{
    return framed ? std::string(fetch_glsl()) + "#define STROKE " + stroke + "\n" + end_fetched
                  : std::string(position_glsl()) + end_attributes;
}

const char* line_vertex_glsl(bool framed)
{
    static const std::string stages[2] = {
        __inputs_glsl(false, "gl_InstanceID") + place_glsl() + strokes_common + line_main,
        __inputs_glsl(true, "gl_InstanceID") + place_glsl() + strokes_common + line_main,
    };
    return stages[framed].c_str();
}

const char* point_vertex_glsl(bool framed)
{
    static const std::string stages[2] = {
        __inputs_glsl(false, "gl_VertexID") + place_glsl() + strokes_common + point_main,
        __inputs_glsl(true, "gl_VertexID") + place_glsl() + strokes_common + point_main,
    };
    return stages[framed].c_str();
}

// The fragment's coverage: its distance from the segment (from the point,
// whose length is 0) against the radius, over a pixel's width. Lines are
// drawn in two passes, so that an edge's partial coverage never hides what
// lies behind it: the middle, at least half covered, with the depth written,
// then the edges blended over whatever is nearest, with the depth left alone.
// Points in one, their edges put at the far plane.
static const char strokes_fragment[] = R"(#version 330 core
in vec2 local;
flat in float len;
flat in float spot;
flat in float radius;
in float bulge;
in vec4 Color;

uniform float shade;  // over the map, the share of its colour: a darker ink for the edges of faces
uniform float fringe; // 0 for the middle, 1 for the edges, below 0 both: the edges at the far plane
uniform float solid;  // 1 where the middle covers its pixels whole: under the laid layers of a surface

out vec4 FragColor;

vec2 offset()
{
    if (spot > 0.0)
        return (2.0 * gl_PointCoord - 1.0) * spot;
    return vec2(local.x - clamp(local.x, 0.0, len), local.y);
}

float coverage()
{
    float c = clamp(radius + 0.5 - length(offset()), 0.0, 1.0);
    return fringe < 0.0 || (fringe < 0.5 ? c >= 0.5 : c < 0.5) ? c : 0.0;
}

// A tube or a little sphere, lit as the surface is from the viewer: the
// share of its normal toward the viewer, from the distance off its axis.
// Its depth is its front's, so that tubes and balls meet as solids do.
vec2 rounded(float c)
{
    vec2 o = offset() / max(radius, 1e-3);
    float toward = sqrt(max(0.0, 1.0 - dot(o, o)));
    gl_FragDepth = fringe < 0.0 && c < 0.5 ? 1.0 : gl_FragCoord.z + bulge * toward;
    // The highlight, toward^32 by squaring: pow costs a software rasteriser
    // a logarithm and an exponential a fragment.
    float t2 = toward * toward, t8 = t2 * t2 * t2 * t2;
    return vec2(toward, t8 * t8 * t8 * t8);
}
)";

// Each way of colouring gives the colour of a fragment of the coverage given.
static const char strokes_main[] = R"(
void main()
{
    float c = coverage();
    if (c <= 0.0)
        discard;
    // Laid layers cover whole pixels: a pixel of the middle that blended the
    // background into its colour, while its depth keeps the surfaces behind
    // out, would show that background through the layers before it.
    FragColor = shaded(solid > 0.5 && c >= 0.5 ? 1.0 : c);
}
)";

static const char flat_shaded[] = R"(
vec4 shaded(float c)
{
    return vec4(Color.rgb, Color.a * c);
}
)";

// A shade of 0 keeps the line's own colour, for lines that mark the map.
static const char flat_tint_shaded[] = R"(
vec4 shaded(float c)
{
    return shade > 0.0 ? vec4(shade * pow(mapColor(), vec3(1.0 / 2.2)), c) : vec4(Color.rgb, Color.a * c);
}
)";

static const char round_shaded[] = R"(
vec4 shaded(float c)
{
    vec2 l = rounded(c);
    return vec4(pow((0.5 + 0.5 * l.x + 1.0 * l.y) * Color.rgb, vec3(1.0 / 2.2)), Color.a * c);
}
)";

static const char round_tint_shaded[] = R"(
vec4 shaded(float c)
{
    vec2 l = rounded(c);
    return vec4(pow(mapColor() * (0.3 + 0.7 * l.x) + 0.15 * l.y, vec3(1.0 / 2.2)), c);
}
)";

const char* stroke_fragment_glsl(bool round, bool tint)
{
    static std::string stages[2][2];
    std::string& stage = stages[round][tint];
    if (stage.empty())
        stage = std::string(strokes_fragment) + (tint ? map_glsl() : "")
            + (round ? (tint ? round_tint_shaded : round_shaded) : (tint ? flat_tint_shaded : flat_shaded))
            + strokes_main;
    return stage.c_str();
}
