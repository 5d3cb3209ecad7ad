// The GLSL stages. The vertex stage sees four of the surface's coordinates,
// x, y, z and the hidden w, and during a swap turns one of x, y, z toward w
// in the plane of the two before the 3-D rotation and camera apply.
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

out vec3 Normal;
out vec3 FragPos;

mat2 rotate2d(float a)
{
    return mat2(cos(a), sin(a), -sin(a), cos(a));
}

void main()
{
    vec3 n = vec3(aNormal_x, aNormal_y, aNormal_z);
    vec3 p = vec3(aPos_x, aPos_y, aPos_z);

    // A row vector times the matrix: the first component is
    // v * cos(angle) + w * sin(angle).
    int k = int(i);
    n[k] = (vec2(n[k], aNormal_w) * rotate2d(angle)).x;
    p[k] = (vec2(p[k], aPos_w) * rotate2d(angle)).x;

    // rot only ever holds a rotation, whose inverse transpose is itself.
    Normal = mat3(rot) * n;
    vec4 turned = rot * vec4(p, 1.0);
    FragPos = turned.xyz;
    gl_Position = fix * turned;
}
)";

// Viewer and light share a point in front of the camera; the absolute values
// light both sides of the surface alike.
const char* const fs = R"(#version 330 core
in vec3 Normal;
in vec3 FragPos;

uniform vec4 color;

out vec4 FragColor;

const vec3 lightPos = vec3(0.0, 0.0, -15.0);
const vec3 viewPos = vec3(0.0, 0.0, -15.0);

void main()
{
    vec3 normal = normalize(Normal);
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
