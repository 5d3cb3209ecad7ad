// The control panel, driven through the window's own callbacks as GLFW
// calls them: Tab shows and hides it, what it takes never reaches the view,
// and its controls act as the keys do.
#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include "core/cues.h"
#include "app/render.h"
#include "gl_test.h"
#include "app/input.h"
#include "core/motion.h"
#include "app/panel.h"
#include "core/view.h"
#include "app/window.h"

namespace {

const char* const controls = "Controls (Tab)";

// A press, a frame, a release and a frame: ImGui looks at keys and buttons
// once a frame.
void key(int k)
{
    __key_callback_window(window, k, 0, GLFW_PRESS, 0);
    main_loop();
    __key_callback_window(window, k, 0, GLFW_RELEASE, 0);
    main_loop();
}

void click(int mods = 0)
{
    __button_callback_window(window, GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, mods);
    main_loop();
    __button_callback_window(window, GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, mods);
    main_loop();
}

void point(float x, float y)
{
    glfwSetCursorPos(window, x, y);
    main_loop();
}

// Moves the pointer across the ImGui window called name until the control
// labelled label is under it, and leaves it there.
bool point_at(const char* name, const char* label)
{
    ImGuiWindow* shown = ImGui::FindWindowByName(name);
    if (!shown)
        return false;
    ImGuiID id = shown->GetID(label);
    // Steps finer than the smallest control, a small button one letter wide.
    for (float y = shown->Pos.y + 2; y < shown->Pos.y + shown->Size.y; y += 6)
        for (float x = shown->Pos.x + 4; x < shown->Pos.x + shown->Size.x; x += 12) {
            point(x, y);
            if (GImGui->HoveredId == id)
                return true;
        }
    return false;
}

class Panel : public testing::Test {
protected:
    void SetUp() override
    {
        drop_surface(12,
            {-1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0,
                0, 0, 0, 0, 0, 1},
            filled(36, 0.5f));
        choose_coordinates(0, 1, 2, 3);
        main_loop();
    }
    void TearDown() override
    {
        if (is_shown_panel())
            key(GLFW_KEY_TAB);
        for (int k = 0; k < 200 && animate_index != 0; k++)
            main_loop();
        reset_input();
    }
    void show()
    {
        if (!is_shown_panel())
            key(GLFW_KEY_TAB);
        __enter_callback_panel(window, 1);
        main_loop();
    }
    // Unfolds a section of the panel, unless an earlier test left it open.
    void open(const char* section)
    {
        ImGuiWindow* panel = ImGui::FindWindowByName(controls);
        ASSERT_TRUE(panel);
        if (panel->StateStorage.GetInt(panel->GetID(section), 0))
            return;
        ASSERT_TRUE(point_at(controls, section));
        click();
    }
};

TEST_F(Panel, ClicksDragsAndTheWheelOverItDoNotReachTheView)
{
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr) << "made before the panel was ever shown";
    show();
    ImGuiWindow* panel = ImGui::FindWindowByName(controls);
    ASSERT_NE(panel, nullptr);
    // Folded, it leaves most of a 512-pixel window to the surface.
    EXPECT_LE(panel->Size.x * panel->Size.y, 512.0f * 512.0f / 5);
    // A click can come before the frame that sees the pointer arrive.
    const struct {
        const char* where;
        float x, y;
        bool framed, reaches_view;
    } cases[] = {
        {"its title bar", panel->Pos.x + 30, panel->Pos.y + 6, true, false},
        {"beside it, the pointer just come from it", 40, 400, false, true},
        {"its foot, the pointer just come to it", panel->Pos.x + panel->Size.x - 6,
            panel->Pos.y + panel->Size.y - 3, false, false},
        {"beside it", 40, 400, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        glfwSetCursorPos(window, c.x, c.y);
        if (c.framed)
            main_loop();
        reset_input();
        View spinning = view;
        spinning.spin = {SPIN_PLANE, 0, 0, 0, 3, 0.01f};
        set_view(&spinning);
        __button_callback_window(window, GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 0);
        __cursor_callback_input(window, c.x - 30, c.y + 20);
        __button_callback_window(window, GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, 0);
        EXPECT_EQ(view.spin.kind == SPIN_PLANE, !c.reaches_view) << "a press stops a spin";
        EXPECT_EQ(view.q[3] != 1.0f, c.reaches_view) << "a drag turns";
        main_loop();
        reset_input();
        __scroll_callback_window(window, 0.0, 3.0);
        EXPECT_EQ(view.q[3] != 1.0f, c.reaches_view) << "the wheel turns";
    }

    // A drag begun beside the panel ends when let go over it.
    __button_callback_window(window, GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 0);
    glfwSetCursorPos(window, panel->Pos.x + 30, panel->Pos.y + 6);
    __button_callback_window(window, GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, 0);
    reset_input();
    __cursor_callback_input(window, 100, 100);
    EXPECT_EQ(view.q[3], 1.0f) << "the pointer turns the view with no button held";
}

TEST_F(Panel, KeysTypedIntoAFieldStayThere)
{
    show();
    open("View");
    ASSERT_TRUE(point_at(controls, "zoom"));
    // Ctrl and a click make the slider a field to type the zoom into.
    __key_callback_window(window, GLFW_KEY_LEFT_CONTROL, 0, GLFW_PRESS, GLFW_MOD_CONTROL);
    click(GLFW_MOD_CONTROL);
    __key_callback_window(window, GLFW_KEY_LEFT_CONTROL, 0, GLFW_RELEASE, 0);
    main_loop();
    ASSERT_TRUE(holds_keys_panel());
    EXPECT_EQ(key_state_input, __key_state_window) << "held keys go through the panel";

    // 5 would hide coordinate 5 and H colour by w, were they the view's.
    for (int k : {GLFW_KEY_5, GLFW_KEY_H}) {
        __char_callback_panel(window, k == GLFW_KEY_5 ? '5' : 'h');
        key(k);
    }
    key(GLFW_KEY_ENTER);
    EXPECT_FLOAT_EQ(view.zoom, 5.0f);
    EXPECT_EQ(view.show[3], 3);
    EXPECT_EQ(view.cues.tint, TINT_FIXED);

    EXPECT_FALSE(holds_keys_panel());
    key(GLFW_KEY_5);
    EXPECT_EQ(view.show[3], 4) << "once the field is left, keys reach the view";
}

TEST_F(Panel, ChoosesCoordinateElevenOfTwelveAndTurnsItIntoView)
{
    show();
    open("Surface");
    ASSERT_TRUE(point_at(controls, "##hidden"));
    click();
    ASSERT_TRUE(point_at("##Combo_00", "11"));
    click();
    EXPECT_EQ(view.show[3], 10);

    ASSERT_TRUE(point_at(controls, "x"));
    click();
    EXPECT_EQ(animate_index, 1) << "the swap turn runs";
    EXPECT_EQ(view.show[0], 10);
    EXPECT_EQ(view.show[3], 0);
}

TEST_F(Panel, FitsA512PixelWindowWithEveryWordWholeAtEveryScale)
{
    int width = 0, height = 0;
    glfwGetWindowSize(window, &width, &height);
    ASSERT_EQ(width, 512);
    show();
    View tinted = view;
    tinted.cues.tint = TINT_W;
    tinted.cues.slice = tinted.cues.eye4 = true;
    tinted.finish.stereo = STEREO_ANAGLYPH;
    set_view(&tinted);
    ImGuiWindow* panel = ImGui::FindWindowByName(controls);
    ASSERT_TRUE(panel);
    const char* const sections[] = {"Surface", "Cues to w", "Frames of R^m", "View", "Picture", "Keys"};
    for (const char* section : sections)
        panel->StateStorage.SetInt(panel->GetID(section), 1);
    // A projector's scale may scroll it, but cuts no word either.
    for (float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        set_scale_panel(scale);
        for (int k = 0; k < 4; k++)
            main_loop();
        EXPECT_GE(panel->Pos.x, 0.0f);
        EXPECT_GE(panel->Pos.y, 0.0f);
        EXPECT_LE(panel->Pos.x + panel->Size.x, 512.0f);
        EXPECT_LE(panel->Pos.y + panel->Size.y, 512.0f);
        // ImGui measures every row it lays out: none is wider than the
        // room it is shown in, so none is cut at the right.
        EXPECT_LE(panel->ContentSizeIdeal.x, panel->ContentRegionRect.GetWidth() + 0.5f)
            << "panel " << panel->Size.x << " wide";
        EXPECT_FALSE(panel->ScrollbarX);
        EXPECT_GE(panel->Size.x, ImGui::CalcTextSize(controls).x + 2 * ImGui::GetFrameHeight());
    }
    set_scale_panel(1.0f);
    for (const char* section : sections)
        panel->StateStorage.SetInt(panel->GetID(section), 0);
    set_view(&initial_view);
}

TEST_F(Panel, LeavesTheClippingOfThePerspectiveAndTheSliceOn)
{
    // The panel's shader writes no clip distance, so it draws with none.
    View cut = view;
    cut.cues.eye4 = cut.cues.slice = true;
    set_view(&cut);
    show();
    for (GLenum plane : {GL_CLIP_DISTANCE0, GL_CLIP_DISTANCE1, GL_CLIP_DISTANCE2})
        EXPECT_TRUE(glIsEnabled(plane)) << "plane " << plane - GL_CLIP_DISTANCE0;
    set_view(&initial_view);
}

} // namespace
