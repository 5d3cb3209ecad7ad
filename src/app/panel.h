// The control panel: Tab shows and hides it over the view. Dear ImGui draws
// it; its context and GL objects are made when it is first shown, so that a
// run that never shows it makes no call of it. The window hands it input
// events before the view, and the view does not see what the panel takes.
#pragma once

#include "app/keys.h"

struct GLFWwindow;

// Whether the panel is shown; not at start.
bool is_shown_panel();

// Tab switches the panel; any other key goes to the panel as well, and is
// taken from the view while the panel holds the keyboard. Returns 1 when
// the view must not act on the key.
int take_key_panel(GLFWwindow* window, int key, int scancode, int action, int mods);

// Button presses and the wheel over the shown panel, or while a list of it
// is open. Returns 1 when the view must not act on them; releases it leaves
// to the view.
int take_button_panel(GLFWwindow* window, int button, int action, int mods);
int take_scroll_panel(GLFWwindow* window, double xoffset, double yoffset);

// Whether the shown panel holds the keyboard: a field is typed into or a
// control is held. Held keys must not turn the view then.
bool holds_keys_panel();

// Draws the panel over the frame when shown; when hidden, nothing, and no
// GL call. The first time it is shown this makes its context and GL objects.
void draw_panel();

// The panel's text and controls scale times their size, from 0.5 to 4: 1
// at start, --ui-scale's; Ctrl+ and Ctrl- multiply it by 1.25 and 0.8.
void set_scale_panel(float scale);
float scale_panel();

// Deletes the panel's context and GL objects, if ever made; the window and
// its context must still be there.
void stop_panel();

// Typed characters, focus and the pointer entering the window, which only
// the panel needs.
void __char_callback_panel(GLFWwindow* window, unsigned int codepoint);
void __focus_callback_panel(GLFWwindow* window, int focused);
void __enter_callback_panel(GLFWwindow* window, int entered);

// The panel's sections in files of their own, and what they share.
// The keys that do the same as the control just drawn, dimmed, after it.
void __key_hint_panel(KeyAction action);
// The file, its sizes, the coordinate choice and the swap buttons.
void __surface_panel();
// Turns in planes of the surface's coordinates, tours, and keeping a view.
void __frames_panel();
// The picture's finish and the map's scale (panel_picture.cpp).
void __picture_panel();
