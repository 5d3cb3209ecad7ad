// The control panel where there is none: the web page, whose controls are
// the page's own, since Debian's Dear ImGui is built for the desktop alone.
// The panel takes nothing and draws nothing.
#include "app/panel.h"

bool is_shown_panel()
{
    return false;
}

int take_key_panel(GLFWwindow*, int, int, int, int)
{
    return 0;
}

int take_button_panel(GLFWwindow*, int, int, int)
{
    return 0;
}

int take_scroll_panel(GLFWwindow*, double, double)
{
    return 0;
}

bool holds_keys_panel()
{
    return false;
}

void draw_panel()
{
}

void set_scale_panel(float)
{
}

float scale_panel()
{
    return 1.0f;
}

void stop_panel()
{
}

void __char_callback_panel(GLFWwindow*, unsigned int)
{
}

void __focus_callback_panel(GLFWwindow*, int)
{
}

void __enter_callback_panel(GLFWwindow*, int)
{
}
