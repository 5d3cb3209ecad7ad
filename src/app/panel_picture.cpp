// The control panel's section of the picture: anti-aliasing, the surface's
// opacity, stereo and the eyes' distance, and the scale of the map that
// colours by w, set on a copy of the view that is put on show at the end.
#include <imgui.h>

#include "core/cues.h"
#include "app/panel.h"
#include "core/view.h"

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
