// Input handlers: files dropped onto the window, and the viewport on resize.
#pragma once

#include "klein.h"

struct GLFWwindow;

enum ShowStatus {
    SHOW_DONE,
    SHOW_UNREADABLE,          // refused by the reader; its report says why
    SHOW_TOO_FEW_COORDINATES, // under 4: x, y, z and w need four different ones
    SHOW_NO_MESH,             // the GPU could not take it
};

// Puts the surface of a KLEIN file on show in place of the one shown. On any
// refusal the shown surface and the coordinate choice stay as they were.
// report, when given, receives the reader's verdict.
ShowStatus show_surface_input(const char* path, KleinReport* report);

// Shows the first file of a drop; refusals are silent.
void __drop_callback_input(GLFWwindow* window, int count, const char** paths);

// Keeps the drawing area the largest centred square of the window.
void __window_callback_input(GLFWwindow* window, int width, int height);
