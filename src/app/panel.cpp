// The control panel: a Dear ImGui window over the view with the surface on
// show, the coordinate choice, the cues, the view, the picture and the table
// of keys.
#include "app/panel.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <GLFW/glfw3.h>
#include <imgui.h>

#include "draw/context.h"
#include "core/cues.h"
#include "app/input.h"
#include "app/keys.h"
#include "core/log.h"
#include "draw/mesh.h"
#include "draw/text.h"
#include "core/motion.h"
#include "app/surface.h"
#include "core/view.h"

// Tab switches it.
static bool shown = false;

// The window the panel belongs to, known from the Tab that first shows it.
static GLFWwindow* owner = nullptr;
// ImGui's context and both back ends are up.
static bool started = false;
// They could not be brought up; the panel stays hidden for the rest of the run.
static bool refused = false;
// Where the panel and the table of keys were last drawn, as left, top,
// right and bottom in the window's units.
static ImVec4 drawn[2];
static int drawn_count = 0;

static const float margin = 6.0f;

// The size of the panel's text and controls, and whether the fonts and
// style must be made anew for it before the next frame.
static float scale = 1.0f;
static bool rescaled = true;
// ImGui's style as set up, before any scaling.
static ImGuiStyle plain_style;

void set_scale_panel(float wanted)
{
    float clamped = std::fmax(0.5f, std::fmin(4.0f, wanted));
    // A scale that is not a number stays as it was.
    if (clamped == clamped && clamped != scale) {
        scale = clamped;
        rescaled = true;
    }
}

float scale_panel()
{
    return scale;
}

// As wide as its widest rows: the lighting's three choices, and a slider
// with the longest name and keys beside it; the same whether its sections
// are open or not, so that it does not jump as they open.
static float __width_panel()
{
    const ImGuiStyle& style = ImGui::GetStyle();
    auto text = [](const char* t) { return ImGui::CalcTextSize(t).x; };
    float choice = ImGui::GetFrameHeight() + style.ItemInnerSpacing.x + style.ItemSpacing.x;
    float light = text("light") + text("file") + text("shape") + text("smooth") + text(hint_keys(KEY_LIGHT))
        + 3 * choice + 4 * style.ItemSpacing.x;
    float slider = 8.0f * ImGui::GetFontSize() + style.ItemInnerSpacing.x + text("degrees/s")
        + style.ItemSpacing.x + text(hint_keys(KEY_TOUR));
    return std::fmax(light, slider) + 2 * style.WindowPadding.x + style.ScrollbarSize;
}

void __key_hint_panel(KeyAction action)
{
    ImGui::SameLine();
    ImGui::TextDisabled("%s", hint_keys(action));
}

// The panel's text in the labels' typeface, DejaVu Sans (ImGui's own
// where it cannot be read), 14 pixels tall times the scale, and the style
// scaled with it; the font's texture made again.
static void __fonts_panel()
{
    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->Clear();
    int size = 0;
    const unsigned char* font = font_text(&size);
    ImFontConfig config;
    config.FontDataOwnedByAtlas = false;
    config.SizePixels = std::round(14.0f * scale);
    if (font)
        io.Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(font), size, config.SizePixels, &config);
    else
        io.Fonts->AddFontDefault(&config);
    ImGui_ImplOpenGL3_DestroyFontsTexture();
    ImGui_ImplOpenGL3_CreateFontsTexture();
    ImGui::GetStyle() = plain_style;
    ImGui::GetStyle().ScaleAllSizes(scale);
    rescaled = false;
}

static bool __start_panel()
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // ImGui would otherwise leave imgui.ini and a log in the working folder.
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 4.0f;
    style.FrameRounding = 3.0f;
    // A little tighter than ImGui's own spacing, so that the panel with all
    // its controls open fits a 512-pixel window.
    style.FramePadding.y = 2.0f;
    style.ItemSpacing.y = 3.0f;
    plain_style = style;
    // The window's callbacks stay the viewer's: they hand the panel its
    // events, so that what it takes never reaches the view.
    if (!ImGui_ImplGlfw_InitForOpenGL(owner, false)) {
        ImGui::DestroyContext();
        return false;
    }
    if (!ImGui_ImplOpenGL3_Init("#version 330 core")) {
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
        return false;
    }
    return true;
}

int take_key_panel(GLFWwindow* window, int key, int scancode, int action, int mods)
{
    if (key == GLFW_KEY_TAB) {
        if (action == GLFW_PRESS && !refused) {
            shown = !shown;
            owner = window;
            // Back to the arrow, should the pointer have been over a field.
            if (!shown && started)
                glfwSetCursor(window, nullptr);
        }
        return 1;
    }
    if (!started || key < 0)
        return 0;
    // ImGui follows every key, even while hidden, so that none stays down for
    // it; Tab it never sees, since it would move between fields.
    ImGui_ImplGlfw_KeyCallback(window, key, scancode, action, mods);
    return holds_keys_panel();
}

// Whether the pointer is over the panel now. A click can come before the
// frame that sees the pointer arrive, so ImGui's own verdict, made in that
// frame, would give it to the wrong side; the pointer is held against where
// the panel was drawn instead.
static bool __under_pointer_panel(GLFWwindow* window)
{
    // An open list takes every click, and one beside it closes the list.
    if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel))
        return true;
    double x, y;
    glfwGetCursorPos(window, &x, &y);
    for (int k = 0; k < drawn_count; k++)
        if (x >= drawn[k].x && x < drawn[k].z && y >= drawn[k].y && y < drawn[k].w)
            return true;
    return false;
}

// Keeps where the ImGui window being built is drawn.
static void __keep_place_panel()
{
    ImVec2 at = ImGui::GetWindowPos(), size = ImGui::GetWindowSize();
    if (drawn_count < 2)
        drawn[drawn_count++] = ImVec4(at.x, at.y, at.x + size.x, at.y + size.y);
}

int take_button_panel(GLFWwindow* window, int button, int action, int mods)
{
    if (!shown || !started)
        return 0;
    bool over = __under_pointer_panel(window);
    // ImGui sees the clicks beside the panel too: one there ends the typing
    // into a field and closes an open list.
    ImGui_ImplGlfw_MouseButtonCallback(window, button, action, mods);
    // The view sees every release, so that a drag of its own let go over
    // the panel ends; it lets go of no button it did not take.
    return action == GLFW_PRESS && over;
}

int take_scroll_panel(GLFWwindow* window, double xoffset, double yoffset)
{
    if (!shown || !started || !__under_pointer_panel(window))
        return 0;
    // ImGui adds the offsets up as floats: one that is not a number, or
    // past the range of float, would scroll the panel to nowhere for good.
    if (std::isfinite(xoffset) && std::isfinite(yoffset))
        ImGui_ImplGlfw_ScrollCallback(window, std::fmax(-100.0, std::fmin(100.0, xoffset)),
            std::fmax(-100.0, std::fmin(100.0, yoffset)));
    return 1;
}

bool is_shown_panel()
{
    return shown;
}

bool holds_keys_panel()
{
    return shown && started && ImGui::GetIO().WantCaptureKeyboard;
}

void __char_callback_panel(GLFWwindow* window, unsigned int codepoint)
{
    // ImGui keeps typed characters until its next frame; a hidden panel has none.
    if (shown && started)
        ImGui_ImplGlfw_CharCallback(window, codepoint);
}

void __focus_callback_panel(GLFWwindow* window, int focused)
{
    if (started)
        ImGui_ImplGlfw_WindowFocusCallback(window, focused);
}

void __enter_callback_panel(GLFWwindow* window, int entered)
{
    if (started)
        ImGui_ImplGlfw_CursorEnterCallback(window, entered);
}

// A slider of a value of the cues from lowest to highest, with a scale that
// suits it; 1 when moved. Without s there is no range, so it waits for one.
static bool __slider_panel(
    const char* label, float* value, float lowest, float highest, ImGuiSliderFlags scale)
{
    ImGui::BeginDisabled(view.reach <= 0.0f);
    bool moved
        = ImGui::SliderFloat(label, value, lowest, highest, "%.3f", scale | ImGuiSliderFlags_AlwaysClamp);
    ImGui::EndDisabled();
    return moved;
}

// Every switch of the cues to w, with its values, set on a copy of the view
// that is put on show at the end.
static void __cues_panel()
{
    View next = view;
    Cues& c = next.cues;
    const float s = view.reach;
    bool by_w = c.tint == TINT_W;
    if (ImGui::Checkbox("colour by w", &by_w))
        c.tint = by_w ? TINT_W : TINT_FIXED;
    __key_hint_panel(KEY_TINT);

    ImGui::Checkbox("slice", &c.slice);
    __key_hint_panel(KEY_SLICE);
    if (c.slice) {
        __slider_panel("at c", &c.slice_at, -s, s, 0);
        float band = slice_width_cues();
        if (__slider_panel("width", &band, s / 256.0f, s, ImGuiSliderFlags_Logarithmic))
            c.slice_width = band;
    }

    ImGui::Checkbox("4-D perspective", &c.eye4);
    __key_hint_panel(KEY_EYE4);
    if (c.eye4) {
        float eye = eye4_at_cues();
        if (__slider_panel("eye at d", &eye, s / 2.0f, 32.0f * s, ImGuiSliderFlags_Logarithmic))
            c.eye4_at = eye;
    }

    ImGui::Checkbox("gizmo", &c.gizmo);
    __key_hint_panel(KEY_GIZMO);
    ImGui::SameLine();
    ImGui::Checkbox("wireframe", &c.wire);
    __key_hint_panel(KEY_WIRE);
    ImGui::Checkbox("double curve", &c.curve);
    __key_hint_panel(KEY_CURVE);
    ImGui::SameLine();
    ImGui::Checkbox("broken", &c.broken);
    set_view(&next);
}

// Lighting, zoom, spin and reset.
static void __view_panel()
{
    View next = view;
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("light");
    ImGui::SameLine();
    if (ImGui::RadioButton("file", next.light == LIGHT_FILE))
        next.light = LIGHT_FILE;
    ImGui::SameLine();
    if (ImGui::RadioButton("shape", next.light == LIGHT_SHAPE))
        next.light = LIGHT_SHAPE;
    ImGui::SameLine();
    if (ImGui::RadioButton("smooth", next.light == LIGHT_SMOOTH))
        next.light = LIGHT_SMOOTH;
    __key_hint_panel(KEY_LIGHT);

    ImGui::SliderFloat("zoom", &next.zoom, min_zoom_motion, max_zoom_motion, "%.3f",
        ImGuiSliderFlags_Logarithmic | ImGuiSliderFlags_AlwaysClamp);
    __key_hint_panel(KEY_ZOOM);

    ImGui::BeginDisabled(next.spin.kind == SPIN_NONE);
    if (ImGui::Button("stop spin"))
        next.spin.kind = SPIN_NONE;
    ImGui::EndDisabled();
    if (ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled))
        ImGui::SetTooltip("Space, or a click on the surface");
    set_view(&next);
    ImGui::SameLine();
    if (ImGui::Button("reset view"))
        reset_input();
    if (ImGui::IsItemHovered())
        ImGui::SetTooltip("Backspace: the first orientation, 4-D turn, zoom and pan");
}

// The table of keys, in the panel's own width: scrolled within a part of
// the window's height, so that it hides nothing of the view.
static void __keys_panel()
{
    float high = std::fmax(96.0f, ImGui::GetIO().DisplaySize.y * 0.4f);
    if (!ImGui::BeginChild("keys", ImVec2(0.0f, high), true))
        return ImGui::EndChild();
    ImGui::PushTextWrapPos(0.0f);
    for (int k = 0; k < key_row_count; k++) {
        const KeyRow& row = key_rows[k];
        if (!row.keys || row.place == KEYS_PAGE)
            continue;
        ImGui::TextUnformatted(row.keys);
        if (row.help[0]) {
            ImGui::Indent(8.0f);
            ImGui::TextDisabled("%s", row.help);
            ImGui::Unindent(8.0f);
        }
    }
    ImGui::PopTextWrapPos();
    ImGui::EndChild();
}

static void __build_panel()
{
    const ImGuiIO& io = ImGui::GetIO();
    // Held to the top right corner, away from the gizmo in the lower left,
    // and over the strip beside the drawing area when the window is wide.
    // Scrolled where the window is too low for all of it.
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x - margin, margin), ImGuiCond_Always, ImVec2(1.0f, 0.0f));
    float width = std::fmin(__width_panel(), std::fmax(io.DisplaySize.x - 2 * margin, 64.0f));
    ImGui::SetNextWindowSizeConstraints(
        ImVec2(width, 0.0f), ImVec2(width, std::fmax(io.DisplaySize.y - 2 * margin, 64.0f)));
    ImGuiWindowFlags flags = ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove;
    bool open_now = ImGui::Begin("Controls (Tab)", &shown, flags);
    __keep_place_panel();
    if (!open_now) {
        ImGui::End();
        return;
    }
    // The sections start folded: open, they would hide the surface.
    ImGui::PushItemWidth(8.0f * ImGui::GetFontSize());
    if (ImGui::CollapsingHeader("Surface"))
        __surface_panel();
    if (ImGui::CollapsingHeader("Cues to w"))
        __cues_panel();
    if (ImGui::CollapsingHeader("Frames of R^m"))
        __frames_panel();
    if (ImGui::CollapsingHeader("View"))
        __view_panel();
    if (ImGui::CollapsingHeader("Picture"))
        __picture_panel();
    if (ImGui::CollapsingHeader("Keys"))
        __keys_panel();
    ImGui::PopItemWidth();
    ImGui::End();
}

void draw_panel()
{
    if (!shown)
        return;
    if (!started && !(started = __start_panel())) {
        refused = true;
        shown = false;
        complain_log("cannot show the control panel: Dear ImGui could not start");
        return;
    }
    ImGui_ImplOpenGL3_NewFrame();
    if (rescaled)
        __fonts_panel();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    drawn_count = 0;
    __build_panel();
    ImGui::Render();
    // The 4-D perspective and the slice clip the surface with distances that
    // ImGui's shader does not write; ImGui sets and puts back the rest of
    // GL's state itself.
    set_clip_context(false, false);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    set_clip_context(view.cues.eye4, view.cues.slice);
    // Closed with its own button.
    if (!shown)
        glfwSetCursor(owner, nullptr);
}

void stop_panel()
{
    if (!started)
        return;
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    started = false;
    shown = false;
}
