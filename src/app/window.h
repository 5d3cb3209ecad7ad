// The window: GLFW set-up with a GL 3.3 core context, event callbacks, the
// end of every frame (swap, events, pacing to a fixed rate) and shutdown.
#pragma once

struct GLFWwindow;

// The application's: the one window, none until start-up creates it, and
// its title, "plexorama: surface plotter".
extern GLFWwindow* window;
extern const char* wname;

extern bool hidden_window; // false; true before init_window makes a window that is never shown

// Creates the window with a current GL 3.3 core context and its callbacks
// registered, and sets the first viewport. A window to be shown routes its
// input through the control panel. Returns none on failure.
GLFWwindow* init_window(int width, int height, const char* title);

// GLFW's own words for the last failure of init_window; empty after success.
const char* failure_window();

void use_window(GLFWwindow* window);

// Presents the frame, runs pending events and waits out the rest of the
// frame's time. Returns non-zero while the window is to stay open.
int is_open_window(GLFWwindow* window);

// Puts the window over the whole of the primary screen, in the screen's
// own mode, or back to where and how large it was: GLFW's monitor mode,
// which needs no window manager.
void full_screen_window(GLFWwindow* window);

// Destroys the window and shuts GLFW down.
void close_window(GLFWwindow* window);

// Keys, buttons and the wheel: to the control panel, then to the view
// unless the panel took them. The wheel's offsets become clicks, as GLFW
// gives them on the desktop.
void __key_callback_window(GLFWwindow* window, int key, int scancode, int action, int mods);
void __button_callback_window(GLFWwindow* window, int button, int action, int mods);
void __scroll_callback_window(GLFWwindow* window, double xoffset, double yoffset);

// Held keys as the view polls them: none while the panel holds the keyboard.
int __key_state_window(GLFWwindow* window, int key);

// Sleeps so that frames are released at most fps times a second.
void __limit_fps_window(int fps);

// Microseconds of sleep requested for the given seconds left of a frame.
int __sleep_request_window(double remaining);
