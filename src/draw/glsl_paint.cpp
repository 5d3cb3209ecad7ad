// Stages that paint each vertex in its own colour.
#include <string>

#include "draw/glsl.h"
#include "draw/glsl_parts.h"

// Each vertex's colour, from a texture of them 4096 a row, handed on to the
// fragment stage, which takes it in place of the uniform colour where
// "painted" is set; the uniform's alpha still gives the opacity.
static const char paint_inputs[] = R"(uniform highp sampler2D paint;
out vec4 Paint;
)";

static const char paint_fetch[] = R"(void main()
{
    Paint = texelFetch(paint, ivec2(gl_VertexID % 4096, gl_VertexID / 4096), 0);
)";

static const char paint_colour[] = R"(uniform vec4 color;
in vec4 Paint;
uniform float painted;

vec4 painting()
{
    return painted > 0.5 ? vec4(Paint.rgb, Paint.a * color.a) : color;
}
#define color painting()
)";

const char* painted_glsl(const char* stage, bool vertex)
{
    static struct {
        const char* stage;
        std::string painted;
    } made[16];
    int k = 0;
    while (k < 16 && made[k].stage && made[k].stage != stage)
        k++;
    if (k == 16)
        k = 0;
    if (made[k].stage != stage) {
        std::string text = vertex
            ? replaced_glsl(replaced_glsl(stage, "void main()\n{\n", paint_fetch), "out float W;",
                std::string(paint_inputs) + "out float W;")
            : replaced_glsl(stage, "uniform vec4 color;\n", paint_colour);
        made[k] = {stage, text};
    }
    return made[k].painted.c_str();
}
