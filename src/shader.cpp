// GL programs: stages compiled and linked one at a time, uniforms by name.
#include "shader.h"

#include <cstdio>
#include <cstring>

#include "platform.h"

unsigned int create_shader()
{
    return glCreateProgram();
}

void destroy_shader(unsigned int program)
{
    // Start-up failures reach here with 0 before any GL entry point is usable.
    if (program != 0)
        glDeleteProgram(program);
}

void use_shader(unsigned int program)
{
    glUseProgram(program);
}

int load_program_to_shader(unsigned int program, const char* source, int stage)
{
    static const GLenum types[] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};

    if (!source || stage < 0 || stage > 1)
        return 0;

    GLuint object = glCreateShader(types[stage]);
#ifdef __EMSCRIPTEN__
    // WebGL 2 compiles GLSL ES 3.00: the same stage under that version line
    // in place of its own, with the precision that ES asks of a fragment
    // stage (and the vertex stage's own, highp, for both). Clip distances
    // need WEBGL_clip_cull_distance, whose name in GLSL is ANGLE's; without
    // it the stage writes them to an array of its own, and nothing is cut.
    const char* rest = strncmp(source, "#version", 8) == 0 ? strchr(source, '\n') : nullptr;
    const char* clip = !strstr(source, "gl_ClipDistance") ? ""
        : clip_distance_platform() ? "#extension GL_ANGLE_clip_cull_distance : enable\n"
                                   : "float clip_distance[8];\n#define gl_ClipDistance clip_distance\n";
    const char* sources[4] = {"#version 300 es\n", clip, "precision highp float;\n", rest ? rest + 1 : source};
    glShaderSource(object, 4, sources, nullptr);
#else
    glShaderSource(object, 1, &source, nullptr);
#endif
    glCompileShader(object);

    GLint compiled = GL_FALSE;
    glGetShaderiv(object, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[256];
        log[0] = '\0';
        glGetShaderInfoLog(object, sizeof log, nullptr, log);
        printf("%s", log);
        glDeleteShader(object);
        return 0;
    }

    // A shader object flagged for deletion lives on while attached.
    glAttachShader(program, object);
    glDeleteShader(object);
    glLinkProgram(program);
    return 1;
}

void load_float_to_shader(unsigned int program, const char* name, float value)
{
    glUseProgram(program);
    glUniform1f(glGetUniformLocation(program, name), value);
}

void load_mat4_to_shader(unsigned int program, const char* name, const float* matrix)
{
    glUseProgram(program);
    glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, matrix);
}

void load_float2_to_shader(unsigned int program, const char* name, const float* vector)
{
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, name), vector[0], vector[1]);
}

void load_float3_array_to_shader(unsigned int program, const char* name, int count, const float* vectors)
{
    glUseProgram(program);
    glUniform3fv(glGetUniformLocation(program, name), count, vectors);
}

void load_float4_to_shader(unsigned int program, const char* name, const float* vector)
{
    glUseProgram(program);
    glUniform4f(glGetUniformLocation(program, name), vector[0], vector[1], vector[2], vector[3]);
}
