// Input: the orientation and the keys, scroll wheel and mouse that turn it
// in three and four dimensions, zoom, pan and spin it, the choice of hidden
// coordinate and the swap keys, dropped files, and the viewport on resize.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include <cglm/types.h>

struct GLFWwindow;

// Reads whether a key is held: glfwGetKey, or what the window puts here to
// keep the keys typed into the control panel from the view, or a test's own.
extern int (*key_state_input)(GLFWwindow* window, int key);

// Applies one frame of the held rotation keys, 3-D and 4-D, and
// re-normalises the view's q; returns it.
const float* poll_input(GLFWwindow* window);

// Whether the last poll_input moved the slice: [ or ] held.
bool moves_slice_input();

// Applies one frame of the spin, if one runs: after a frame is drawn, so
// that frame k of a spin shows k steps.
void advance_spin_input();

// Back to the orientation and axes of the start, and reset_motion.
void reset_input();

// Stops a spin, as Space and a click do.
void stop_spin_input();

// Turns the view about the fixed horizontal and vertical axes; with Ctrl
// held, zooms instead.
void __scroll_callback_input(GLFWwindow* window, double xoffset, double yoffset);

// Makes coordinate c (from 0) the hidden one, unless the surface lacks it or
// shows it as x, y or z. Returns 1 when chosen.
int choose_hidden_input(uint8_t c);

// Exchanges the hidden coordinate with the one shown in slot 0, 1 or 2 (x,
// y or z) and starts the animated turn, as I, O and P do. Returns 1 when
// started, 0 with no surface on show.
int exchange_input(int slot);

// The pressed keys of the table of keys, each as its row says: digits
// choose the hidden coordinate, I, O, P start a swap, = and - zoom (held,
// too), Space, Backspace and the switches of the lighting and the cues.
void __key_callback_input(GLFWwindow* window, int key, int scancode, int action, int mods);

// Drags: the left button turns in 3-D as the scroll wheel does, the right
// one (or Shift with the left) in 4-D, the middle one pans; a turning drag
// let go while moving spins on. A press stops a spin.
void __button_callback_input(GLFWwindow* window, int button, int action, int mods);
void __cursor_callback_input(GLFWwindow* window, double x, double y);

// Shows the first file of a drop; refusals are silent.
void __drop_callback_input(GLFWwindow* window, int count, const char** paths);

// Keeps the drawing area the largest centred square of the window.
void __window_callback_input(GLFWwindow* window, int width, int height);
