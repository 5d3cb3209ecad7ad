// Rendering: one frame of the view, drawn the same in the window, in a
// headless run and in the page. It owns the two programs and builds them
// anew for the cues and the finish they draw, runs the swap animation's
// steps, uploads what the view changed, and finishes the picture:
// anti-aliased, transparent, for two eyes.
#pragma once

#include "draw/glsl.h"

// The application's programs: lit, vs + fs, and unlit for the wireframe,
// vs + fs_plain (or their colour-by-w stages); 0 until created.
extern unsigned int shader;
extern unsigned int shader_plain;

// How a surface seen through a frame of R^m is drawn: every coordinate read
// from attributes, where they fit; fetched from textures; or worked out on
// the CPU, where GL cannot fetch them all.
enum FramePath { PATH_COLUMNS, PATH_FETCHED, PATH_STREAMED };

// The path frames take where they can, for tests; -1, as it starts, takes
// the first that can.
extern int forced_path_render;

// A program of a vertex stage and a fragment stage, with the camera and the
// view's motion uploaded; 0 when GL gives no program.
unsigned int build_program_render(const char* vertex, const char* fragment);

// Renders one frame: orientation, uniforms, swap animation, clear, draw.
void main_loop();

// Deletes the GL objects of the frame but for the programs: the map's
// texture, the frame's block and the render targets.
void stop_render();
