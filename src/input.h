// Input handlers: the viewport on window resize.
#pragma once

struct GLFWwindow;

// Keeps the drawing area the largest centred square of the window.
void __window_callback_input(GLFWwindow* window, int width, int height);
