// GL programs: stages compiled and linked one at a time, uniforms by name.
#include "draw/shader.h"

#include <cstdio>
#include <cstring>

#include "draw/platform.h"

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

// In the browser, clip distances come with WEBGL_clip_cull_distance, whose
// name in GLSL is ANGLE's. Where a browser lacks it, the vertex stage hands
// the distances on to the fragment stage of the same program, which drops every fragment
// where one is negative: the same cut, fragment by fragment, since a
// distance is interpolated across a triangle as clipping cuts it. Every
// distance is positive while its cue is off, so no plane need be switched.
// A program takes its vertex stage first; the last one that clips is kept.
// Fills sources[1] (an extension), [3] (declarations) and [5] (what follows
// the stage).
static void __clip_sources_shader(unsigned int program, const char* source, int stage, const char** sources)
{
    static unsigned int clipping = 0;
    if (stage == 0) {
        clipping = strstr(source, "gl_ClipDistance") ? program : 0;
        if (clipping && has_clip_distances_platform())
            sources[1] = "#extension GL_ANGLE_clip_cull_distance : enable\n";
        else if (clipping)
            sources[3] = "out float clip_distance[3];\n#define gl_ClipDistance clip_distance\n";
        return;
    }
    if (program != clipping || has_clip_distances_platform())
        return;
    // The stage's own main runs after the test, under another name.
    sources[3] = "in float clip_distance[3];\n#define main main_clipped\n";
    sources[5] = "#undef main\n"
                 "void main()\n"
                 "{\n"
                 "    if (min(clip_distance[0], min(clip_distance[1], clip_distance[2])) < 0.0)\n"
                 "        discard;\n"
                 "    main_clipped();\n"
                 "}\n";
}

int load_program_to_shader(unsigned int program, const char* source, int stage)
{
    static const GLenum types[] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};

    if (!source || stage < 0 || stage > 1)
        return 0;

    GLuint object = glCreateShader(types[stage]);
    if (stage_version_platform) {
        // GLSL ES: the same stage under the platform's version line in place
        // of its own, with the precision that ES asks of a fragment stage
        // (and the vertex stage's own, highp, for both).
        const char* rest = strncmp(source, "#version", 8) == 0 ? strchr(source, '\n') : nullptr;
        const char* sources[6]
            = {stage_version_platform, "", "precision highp float;\n", "", rest ? rest + 1 : source, ""};
        __clip_sources_shader(program, source, stage, sources);
        glShaderSource(object, 6, sources, nullptr);
    } else {
        glShaderSource(object, 1, &source, nullptr);
    }
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

void load_int_to_shader(unsigned int program, const char* name, int value)
{
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, name), value);
}

void load_int4_to_shader(unsigned int program, const char* name, const int* vector)
{
    glUseProgram(program);
    glUniform4i(glGetUniformLocation(program, name), vector[0], vector[1], vector[2], vector[3]);
}

void load_block_to_shader(unsigned int program, const char* name, unsigned int binding)
{
    GLuint block = glGetUniformBlockIndex(program, name);
    if (block != GL_INVALID_INDEX)
        glUniformBlockBinding(program, block, binding);
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
