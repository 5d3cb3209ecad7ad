// The window: GLFW set-up, callbacks, end of frame and frame pacing.
#include "app/window.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "app/input.h"
#include "app/keys.h"
#include "app/panel.h"
#include "app/scene.h"
#include "draw/platform.h"

GLFWwindow* window = nullptr;
const char* wname = "plexorama: surface plotter";
bool hidden_window = false;

// GLFW's description of why init_window failed, copied because GLFW's own
// string is valid only until the library is terminated.
static char failure[256] = "";

static void __keep_failure_window()
{
    const char* description = glfw_error_platform();
    snprintf(failure, sizeof failure, "%s", description ? description : "GLFW gave no reason");
}

// The commands of the window beyond the view: the panel's scale, saving the
// view now, quitting and full screen. Returns whether the key was one.
static bool __command_window(GLFWwindow* window, int key, int action, int mods)
{
    int place = 0;
    const KeyRow* row = find_keys(key, &place, mods & GLFW_MOD_CONTROL);
    if (!row || (is_page_platform && row->place == KEYS_DESKTOP))
        return false;
    if (action == GLFW_RELEASE || (action == GLFW_REPEAT && row->action != KEY_UI_SCALE))
        return row->control;
    switch (row->action) {
    case KEY_UI_SCALE:
        set_scale_panel(scale_panel() * (place % 2 ? 0.8f : 1.25f));
        return true;
    case KEY_SAVE:
        save_now_scene();
        return true;
    case KEY_QUIT:
        glfwSetWindowShouldClose(window, GLFW_TRUE);
        return true;
    case KEY_FULL_SCREEN:
        full_screen_window(window);
        return true;
    default:
        return false;
    }
}

void __key_callback_window(GLFWwindow* window, int key, int scancode, int action, int mods)
{
    if (!take_key_panel(window, key, scancode, action, mods) && !__command_window(window, key, action, mods))
        __key_callback_input(window, key, scancode, action, mods);
}

void __button_callback_window(GLFWwindow* window, int button, int action, int mods)
{
    if (!take_button_panel(window, button, action, mods))
        __button_callback_input(window, button, action, mods);
}

void __scroll_callback_window(GLFWwindow* window, double xoffset, double yoffset)
{
    if (!take_scroll_panel(window, xoffset, yoffset))
        __scroll_callback_input(window, xoffset / wheel_unit_platform, yoffset / wheel_unit_platform);
}

int __key_state_window(GLFWwindow* window, int key)
{
    return holds_keys_panel() ? GLFW_RELEASE : glfwGetKey(window, key);
}

GLFWwindow* init_window(int width, int height, const char* title)
{
    failure[0] = '\0';
    if (!glfwInit()) {
        __keep_failure_window();
        return nullptr;
    }

    // GLFW's defaults give the rest: visible, resizable, double-buffered,
    // 8-bit colour channels and the 24-bit depth buffer the depth test needs.
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    // Runs that draw offscreen still need a context, and so a window.
    if (hidden_window)
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    window_class_platform("plexorama");

    GLFWwindow* created = glfwCreateWindow(width, height, title, nullptr, nullptr);
    if (!created) {
        __keep_failure_window();
        glfwTerminate();
        return nullptr;
    }
    glfwMakeContextCurrent(created);

    glfwSetWindowSizeCallback(created, __window_callback_input);
    glfwSetDropCallback(created, __drop_callback_input);
    glfwSetCursorPosCallback(created, __cursor_callback_input);
    // Keys, buttons and the wheel reach the control panel first, and the view
    // only what the panel does not take. A window that is never shown has no
    // panel, so nothing of it can come into a picture.
    bool panel = !hidden_window;
    glfwSetKeyCallback(created, panel ? __key_callback_window : __key_callback_input);
    glfwSetMouseButtonCallback(created, panel ? __button_callback_window : __button_callback_input);
    glfwSetScrollCallback(created, panel ? __scroll_callback_window : __scroll_callback_input);
    if (panel) {
        glfwSetCharCallback(created, __char_callback_panel);
        glfwSetWindowFocusCallback(created, __focus_callback_panel);
        glfwSetCursorEnterCallback(created, __enter_callback_panel);
        key_state_input = __key_state_window;
    }

    // GLFW reports no size event for the initial size.
    __window_callback_input(created, width, height);
    return created;
}

const char* failure_window()
{
    return failure;
}

void use_window(GLFWwindow* window)
{
    glfwMakeContextCurrent(window);
}

int is_open_window(GLFWwindow* window)
{
    glfwSwapBuffers(window);
    glfwPollEvents();
    __limit_fps_window(60);
    return !glfwWindowShouldClose(window);
}

void full_screen_window(GLFWwindow* window)
{
    // Where the window was before it went full screen.
    static int place[4] = {0, 0, 512, 512};
    if (glfwGetWindowMonitor(window)) {
        glfwSetWindowMonitor(window, nullptr, place[0], place[1], place[2], place[3], 0);
        return;
    }
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (!mode)
        return;
    glfwGetWindowPos(window, &place[0], &place[1]);
    glfwGetWindowSize(window, &place[2], &place[3]);
    glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
}

void close_window(GLFWwindow* window)
{
    glfwDestroyWindow(window);
    glfwTerminate();
}

int __sleep_request_window(double remaining)
{
    int32_t nanoseconds = static_cast<int32_t>(1000000000.0 * remaining);
    return nanoseconds / 1000;
}

void __limit_fps_window(int fps)
{
    // The GLFW timer starts at glfwInit, so the first frame measures the
    // whole start-up and rarely sleeps.
    static double previous_time = 0.0;

    double now = glfwGetTime();
    double period = 1.0 / fps;
    double elapsed = now - previous_time;
    // A negative time means GLFW was started again and its timer restarted.
    if (period > elapsed && elapsed >= 0.0) {
        usleep(static_cast<useconds_t>(__sleep_request_window(period - elapsed)));
        now = glfwGetTime();
    }
    previous_time = now;
}
