// Input handlers: viewport.
#include "input.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

void __window_callback_input(GLFWwindow*, int width, int height)
{
    // Clearing covers the whole window, so the strips beside the square
    // show the clear colour.
    int side = width < height ? width : height;
    glViewport((width - side) / 2, (height - side) / 2, side, side);
}
