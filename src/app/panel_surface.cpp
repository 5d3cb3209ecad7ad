// The control panel's sections of the surface on show: its file, the
// coordinate choice and the swaps; and frames of R^m, with turns in planes
// of the surface's coordinates, tours, and keeping the view on show.
#include <cmath>
#include <cstdio>
#include <cstring>

#include <imgui.h>

#include "app/course.h"
#include "app/input.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "app/panel.h"
#include "app/scene.h"
#include "app/surface.h"
#include "core/view.h"

// Each shape on show: whether it is shown, its colour, its file and what it
// is made of.
static void __shapes_panel()
{
    for (int k = 0; k < shape_count; k++) {
        Shape& shape = shapes[k];
        const KindRow* row = row_shapes(shape.kind);
        ImGui::PushID(k);
        ImGui::Checkbox("##shown", &shape.shown);
        ImGui::SameLine();
        float colour[3] = {shape.color[0] / 255.0f, shape.color[1] / 255.0f, shape.color[2] / 255.0f};
        if (ImGui::ColorEdit3("##colour", colour, ImGuiColorEditFlags_NoInputs)) {
            uint8_t rgb[3];
            for (int c = 0; c < 3; c++)
                rgb[c] = static_cast<uint8_t>(colour[c] * 255.0f + 0.5f);
            color_file_shapes(k, rgb);
        }
        ImGui::SameLine();
        ImGui::TextWrapped("%s: %llu %s", shape.name[0] ? shape.name : row->name,
            static_cast<unsigned long long>(row->count(&shape)), row->counted);
        ImGui::PopID();
    }
}

// The shapes, m, the coordinate choice and the swap buttons.
void __surface_panel()
{
    const uint8_t* p = view.show;
    if (shape_count == 0) {
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextDisabled("Nothing on show: drop a file here.");
        ImGui::PopTextWrapPos();
        return;
    }
    ImGui::TextWrapped("m %u, n %u", view.dim, vertices_shapes());
    if (shown_path[0] && ImGui::IsItemHovered())
        ImGui::SetTooltip("%s", shown_path);
    __shapes_panel();

    // Coordinates count from 1, as on the command line and the digit keys.
    char hidden[8];
    snprintf(hidden, sizeof hidden, "%d", p[3] + 1);
    ImGui::Text("shown as x %d, y %d, z %d", p[0] + 1, p[1] + 1, p[2] + 1);
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("hidden as w");
    ImGui::SameLine();
    ImGui::SetNextItemWidth(ImGui::GetFontSize() * 4.0f);
    if (ImGui::BeginCombo("##hidden", hidden)) {
        for (int c = 0; c < view.dim; c++) {
            const char* role = c == p[0] ? "  x" : c == p[1] ? "  y" : c == p[2] ? "  z" : "";
            char label[16];
            snprintf(label, sizeof label, "%d%s", c + 1, role);
            // The list is drawn from the record, which the choice changes.
            bool chosen = c == p[3];
            if (ImGui::Selectable(label, chosen, role[0] ? ImGuiSelectableFlags_Disabled : 0))
                choose_hidden_input(static_cast<uint8_t>(c));
            // A coordinate shown as x, y or z cannot be hidden as well.
            if (role[0] && ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled))
                ImGui::SetTooltip("%d is shown as %s: swap it with w instead (I O P)", c + 1, role + 2);
            if (chosen)
                ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    __key_hint_panel(KEY_HIDE);

    ImGui::TextUnformatted("swap w with");
    static const char* const slots[3] = {"x", "y", "z"};
    for (int slot = 0; slot < 3; slot++) {
        ImGui::SameLine();
        if (ImGui::SmallButton(slots[slot]))
            exchange_input(slot);
    }
    __key_hint_panel(KEY_SWAP);
}

// Writes the view on show beside the working folder's other files, under a
// name no file has: the surface's, numbered. Returns the name, or none.
static const char* __keep_panel()
{
    const char* slash = strrchr(shown_path, '/');
    const char* file = slash ? slash + 1 : shown_path;
    char stem[256];
    int length = static_cast<int>(strcspn(file, "."));
    snprintf(stem, sizeof stem, "%.*s", length ? length : 7, length ? file : "surface");
    const char* name = fresh_path_scene(stem);
    if (!name)
        return nullptr;
    View scene = view;
    return write_scene(name, &scene) ? name : nullptr;
}

// A combo of the surface's coordinates, from 1.
static void __coordinate_panel(const char* label, int* c, int dim)
{
    char shown[16];
    snprintf(shown, sizeof shown, "%d", *c + 1);
    ImGui::SetNextItemWidth(ImGui::GetFontSize() * 3.0f);
    if (ImGui::BeginCombo(label, shown)) {
        for (int k = 0; k < dim; k++) {
            snprintf(shown, sizeof shown, "%d", k + 1);
            if (ImGui::Selectable(shown, k == *c))
                *c = k;
        }
        ImGui::EndCombo();
    }
}

void __frames_panel()
{
    static int a = 0, b = 4, kind = 0;
    static uint64_t seed = 1;
    static float speed = default_speed_tour;
    static const char* kept = nullptr;
    int dim = dim_shapes();
    if (!dim) {
        ImGui::TextDisabled("No surface on show.");
        return;
    }
    a = a < dim ? a : 0;
    b = b < dim && b != a ? b : (a + 1) % dim;

    // A turn of coordinate a toward b, 15 degrees a click.
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("turn");
    ImGui::SameLine();
    __coordinate_panel("##from", &a, dim);
    ImGui::SameLine();
    ImGui::TextUnformatted("to");
    ImGui::SameLine();
    __coordinate_panel("##to", &b, dim);
    ImGui::TextUnformatted("by");
    ImGui::SameLine();
    if (ImGui::SmallButton("-15"))
        turn_coordinates_course(a, b, -static_cast<float>(M_PI) / 12);
    ImGui::SameLine();
    if (ImGui::SmallButton("+15"))
        turn_coordinates_course(a, b, static_cast<float>(M_PI) / 12);
    ImGui::SameLine();
    ImGui::TextUnformatted("degrees");
    if (view.framed)
        ImGui::TextWrapped("a frame of R^%d: a digit key goes back to a choice", dim);

    // The tour: its kind, seed and pace, and whether it runs.
    const Tour& tour = view.tour;
    // In the order of the tour's kinds, from the grand tour.
    static const char* const kinds[] = {"grand", "little", "guided: fewest crossings", "guided: spread"};
    ImGui::Combo("tour", &kind, kinds, 4);
    ImGui::BeginDisabled(kind == TOUR_LITTLE - 1);
    ImGui::InputScalar("seed", ImGuiDataType_U64, &seed);
    ImGui::EndDisabled();
    ImGui::SliderFloat("degrees/s", &speed, 1.0f, 100.0f, "%.0f", ImGuiSliderFlags_Logarithmic);
    if (ImGui::Button("start"))
        start_tour_course(static_cast<TourKind>(kind + 1), seed, speed);
    ImGui::SameLine();
    ImGui::BeginDisabled(tour.kind == TOUR_NONE);
    if (ImGui::Button(tour.running ? "pause" : "go on"))
        run_tour_course(!tour.running);
    ImGui::EndDisabled();
    if (ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled) && tour.kind == TOUR_NONE)
        ImGui::SetTooltip("no tour yet: start one");
    __key_hint_panel(KEY_TOUR);
    if (tour.kind != TOUR_NONE) {
        char seeds[40] = "";
        if (tour.kind != TOUR_LITTLE)
            snprintf(seeds, sizeof seeds, ", seed %llu", static_cast<unsigned long long>(tour.seed));
        ImGui::TextWrapped("%s tour%s, %.0f degrees/s, %s %u%s", kinds[tour.kind - 1], seeds,
            static_cast<double>(tour.speed), tour.kind > TOUR_LITTLE ? "searches" : "target", tour.target,
            tour.running ? "" : ", paused");
    }

    // Pause and keep the projection, as a view file.
    if (ImGui::Button("keep this view")) {
        run_tour_course(false);
        kept = __keep_panel();
        if (!kept)
            kept = "";
    }
    if (ImGui::IsItemHovered())
        ImGui::SetTooltip("pause and save the view on show to a file in the working folder");
    if (kept)
        ImGui::TextWrapped(kept[0] ? "kept as %s" : "cannot write a view file here%s", kept);
}
