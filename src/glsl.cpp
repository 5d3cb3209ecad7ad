// The GLSL stages. The vertex stage sees four of the surface's coordinates,
// x, y, z and the hidden w, turns them in four dimensions, and during a swap
// turns one of x, y, z toward w in the plane of the two before the 3-D
// rotation and camera apply.
#include "glsl.h"

const char* const vs = R"(#version 330 core
layout(location = 0) in float aPos_x;
layout(location = 1) in float aPos_y;
layout(location = 2) in float aPos_z;
layout(location = 3) in float aPos_w;
layout(location = 4) in float aNormal_x;
layout(location = 5) in float aNormal_y;
layout(location = 6) in float aNormal_z;
layout(location = 7) in float aNormal_w;

uniform float angle; // swap angle in radians, 0 when idle
uniform float i;     // which of x, y, z turns toward w
uniform mat4 fix;    // camera: perspective times view
uniform mat4 rot;    // orientation
uniform mat4 turn4;  // 4-D turn of the shown coordinates
uniform float zoom;  // magnification about the centre of the picture
uniform vec2 pan;    // shift of the picture before zoom

out vec3 Normal;
out vec3 FragPos;

mat2 rotate2d(float a)
{
    return mat2(cos(a), sin(a), -sin(a), cos(a));
}

void main()
{
    vec4 n4 = turn4 * vec4(aNormal_x, aNormal_y, aNormal_z, aNormal_w);
    vec4 p4 = turn4 * vec4(aPos_x, aPos_y, aPos_z, aPos_w);
    vec3 n = n4.xyz;
    vec3 p = p4.xyz;

    // The swap turns in the space turn4 shows. A row vector times the
    // matrix: the first component is v * cos(angle) + w * sin(angle).
    int k = int(i);
    n[k] = (vec2(n[k], n4.w) * rotate2d(angle)).x;
    p[k] = (vec2(p[k], p4.w) * rotate2d(angle)).x;

    // rot only ever holds a rotation, whose inverse transpose is itself.
    Normal = mat3(rot) * n;
    vec4 turned = rot * vec4(p, 1.0);
    FragPos = turned.xyz;
    gl_Position = fix * turned;
    // Zoom and pan move the picture, not the surface: in clip space.
    gl_Position.xy = zoom * (gl_Position.xy + pan * gl_Position.w);
}
)";

// Viewer and light share a point in front of the camera; the absolute values
// light both sides of the surface alike.
const char* const fs = R"(#version 330 core
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

void main()
{
    vec3 normal = light > 0.5 ? shapeNormal() : normalize(Normal);
    vec3 viewDir = normalize(viewPos - FragPos);
    vec3 lightDir = normalize(lightPos - FragPos);
    vec3 halfwayDir = normalize(lightDir + viewDir);

    float specular = pow(abs(dot(normal, halfwayDir)), 32.0);
    float diffuse = abs(dot(normal, lightDir));

    vec3 result = pow((0.5 + 0.5 * diffuse + 1.0 * specular) * color.rgb, vec3(1.0 / 2.2));
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
