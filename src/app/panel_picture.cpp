// The control panel's section of the picture: anti-aliasing, the surface's
// opacity, stereo and the eyes' distance, the scale of the map that
// colours by w, and how lines and points are drawn, set on a copy of the
// view that is put on show at the end.
#include <imgui.h>

#include "core/cues.h"
#include "core/ranges.h"
#include "app/panel.h"
#include "draw/shapes.h"
#include "core/view.h"

// Lines' width or tubes, and points' size, where there are some.
static void __strokes_panel(Finish* f)
{
    const ImGuiSliderFlags log = ImGuiSliderFlags_Logarithmic | ImGuiSliderFlags_AlwaysClamp;
    if (shows_kind_shapes(SHAPE_LINES)) {
        // A tube's radius goes with the shape's size, s; a new one is thin.
        float s = view.reach > 0.0f ? view.reach : 1.0f;
        bool tubes = f->tubes > 0.0f;
        if (ImGui::Checkbox("tubes", &tubes))
            f->tubes = tubes ? s / 200.0f : 0.0f;
        ImGui::SameLine();
        if (tubes)
            ImGui::SliderFloat("radius", &f->tubes, s / 2000.0f, s / 10.0f, "%.3g", log);
        else
            ImGui::SliderFloat("line width", &f->line_width, ranges[RANGE_LINE_WIDTH].low,
                ranges[RANGE_LINE_WIDTH].high, "%.1f px", log);
    }
    if (shows_kind_shapes(SHAPE_POINTS))
        ImGui::SliderFloat("point size", &f->point_size, ranges[RANGE_POINT_SIZE].low,
            ranges[RANGE_POINT_SIZE].high, "%.1f px", log);
}

void __picture_panel()
{
    View next = view;
    Finish& f = next.finish;
    int place = f.aa >= 8 ? 3 : f.aa >= 4 ? 2 : f.aa >= 2 ? 1 : 0;
    if (ImGui::Combo("anti-alias", &place,
            "off\0"
            "2 samples\0"
            "4 samples\0"
            "8 samples\0"))
        f.aa = 1 << place;
    __key_hint_panel(KEY_AA);
    ImGui::SliderFloat("opacity", &f.opacity, 0.05f, 1.0f, "%.2f", ImGuiSliderFlags_AlwaysClamp);
    __key_hint_panel(KEY_OPACITY);
    int stereo = f.stereo;
    if (ImGui::Combo("stereo", &stereo,
            "off\0"
            "red-cyan\0"
            "side by side\0"))
        f.stereo = static_cast<Stereo>(stereo);
    __key_hint_panel(KEY_STEREO);
    if (f.stereo != STEREO_OFF)
        ImGui::SliderFloat("eyes apart", &f.eyes, 0.0f, 1.0f, "%.3f", ImGuiSliderFlags_AlwaysClamp);
    __strokes_panel(&f);
    // Without s there is no range for the map's own.
    if (next.cues.tint == TINT_W) {
        float scale = tint_scale_cues(), s = view.reach;
        ImGui::BeginDisabled(s <= 0.0f);
        if (ImGui::SliderFloat("map's s", &scale, s / 16.0f, 4.0f * s, "%.3g",
                ImGuiSliderFlags_Logarithmic | ImGuiSliderFlags_AlwaysClamp))
            next.cues.tint_scale = scale;
        ImGui::EndDisabled();
        ImGui::SameLine();
        if (ImGui::SmallButton("s"))
            next.cues.tint_scale = 0.0f;
        if (ImGui::IsItemHovered())
            ImGui::SetTooltip("the largest length of the shown (x, y, z, w)");
        ImGui::SameLine();
        if (ImGui::SmallButton("auto"))
            next.cues.tint_scale = -1.0f;
        if (ImGui::IsItemHovered())
            ImGui::SetTooltip("the largest |w| as shown");
    }
    set_view(&next);
}
