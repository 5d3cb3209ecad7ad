// Figures of a surface for `plexorama --info`, computed in double precision
// from the floats as read, so that they can be checked against other tools.
#include "core/info.h"

#include <cmath>
#include <cstdlib>

#include "core/log.h"

void measure_info(const SurfaceData* data, SurfaceInfo* info)
{
    *info = {};
    info->dim = data->dim;
    info->vertex_count = static_cast<uint32_t>(data->vertex_count);
    for (int k = 0; k < data->dim; k++)
        info->min[k] = info->max[k] = NAN;
    bool all_finite = true;
    // Without coordinates every normal is the empty vector, and a header
    // may claim 2^32 - 1 of them: no need to visit each.
    if (data->dim == 0)
        info->zero_normals = info->vertex_count;
    for (uint64_t v = 0; data->dim && v < info->vertex_count; v++) {
        const float* p = data->coords + v * data->dim;
        const float* n = data->normals + v * data->dim;
        double distance = 0, length = 0;
        bool finite = true, finite_normal = true;
        for (int k = 0; k < data->dim; k++) {
            if (std::isfinite(p[k])) {
                // NaN compares false, so the first finite value replaces it.
                if (!(p[k] >= info->min[k]))
                    info->min[k] = p[k];
                if (!(p[k] <= info->max[k]))
                    info->max[k] = p[k];
                distance += double(p[k]) * p[k];
            } else {
                info->nonfinite_coords++;
                finite = false;
            }
            if (std::isfinite(n[k]))
                length += double(n[k]) * n[k];
            else {
                info->nonfinite_normals++;
                finite_normal = false;
            }
        }
        if (finite) {
            info->radius = std::fmax(info->radius, std::sqrt(distance));
            info->finite_vertices++;
        }
        all_finite = all_finite && finite;
        length = std::sqrt(length);
        if (finite_normal && length < zero_normal_info)
            info->zero_normals++;
        else if (!finite_normal || std::fabs(length - 1) > unit_tolerance_info)
            info->nonunit_normals++;
    }
    info->fits = all_finite && info->radius <= view_radius_info * (1 + fit_tolerance_info);
}

void print_info(FILE* out, const char* path, const SurfaceInfo* info)
{
    fprintf(out, "file: %s\n", path);
    fprintf(out, "m: %d coordinates per vertex%s\n", info->dim,
        info->dim < 4 ? " (fewer than 4: it cannot be shown)" : "");
    uint32_t left = info->vertex_count % 3;
    fprintf(out, "n: %u vertices, %u triangles", info->vertex_count, info->vertex_count / 3);
    if (left)
        fprintf(out, " (%u left over, not drawn)", left);
    fprintf(out, "\n");
    for (int k = 0; k < info->dim; k++) {
        if (std::isnan(info->min[k]))
            fprintf(out, "coordinate %d: no finite value\n", k + 1);
        else
            fprintf(out, "coordinate %d: min %.9g max %.9g\n", k + 1, info->min[k], info->max[k]);
    }
    fprintf(out, "not finite: %llu coordinates, %llu normal components\n",
        static_cast<unsigned long long>(info->nonfinite_coords),
        static_cast<unsigned long long>(info->nonfinite_normals));
    fprintf(out, "normals: %llu zero (shorter than %g), %llu not of unit length (off by more than %g)\n",
        static_cast<unsigned long long>(info->zero_normals), zero_normal_info,
        static_cast<unsigned long long>(info->nonunit_normals), unit_tolerance_info);
    if (info->fits)
        fprintf(out, "fits the view: yes, within %g of the origin (farthest vertex at %.6g)\n",
            view_radius_info, info->radius);
    else if (info->nonfinite_coords)
        fprintf(out, "fits the view: no, some coordinates are not finite\n");
    else
        fprintf(out,
            "fits the view: no, the farthest vertex is %.6g from the origin, beyond %g; "
            "to fit it: plexorama-convert %s OUT.klein --fit\n",
            info->radius, view_radius_info, path);
}

void print_crossing_info(FILE* out, const Crossing* curve)
{
    fprintf(out, "double curve\n");
    fprintf(out, "length: %.9g\n", curve->length);
    fprintf(out, "components: %llu\n", static_cast<unsigned long long>(curve->line_count));
    fprintf(out, "triple points: %llu\n", static_cast<unsigned long long>(curve->triple_count));
    fprintf(out, "branch points: %llu\n", static_cast<unsigned long long>(curve->branch_count));
}

// The double curve of the surface as the scene shows it: the frame of the
// coordinate choice or the scene's own, under its 4-D turn, and its 4-D eye
// where it has one, 3 s away unless placed.
static const char* __crossing_info(const SurfaceData* data, const Scene* scene, Crossing* curve)
{
    CrossingView view = {};
    if (scene->view.framed)
        view.frame = scene->view.frame;
    else
        choice_frame(scene->show, data->dim, &view.frame);
    if (scene->view.cues.eye4)
        view.eye = scene->view.cues.eye4_at > 0
            ? scene->view.cues.eye4_at
            : 3.0 * reach_frame(&view.frame, data->coords, data->vertex_count);
    compose_frame(scene->view.turn4[0], &view.frame);
    return find_crossing(data->coords, data->dim, data->vertex_count, &view, curve);
}

int run_info(const char* path, const Scene* scene)
{
    SurfaceData data;
    KleinReport report;
    if (create_surface_klein(path, &data, &report) != 0) {
        char reason[96];
        describe_klein(&report, reason, sizeof reason);
        complain_log("%s: %s", path, reason);
        return 1;
    }
    SurfaceInfo info;
    measure_info(&data, &info);
    print_info(stdout, path, &info);
    Crossing curve = {};
    const char* fault = scene && info.dim >= 4 ? __crossing_info(&data, scene, &curve) : nullptr;
    if (scene && info.dim >= 4 && !fault)
        print_crossing_info(stdout, &curve);
    free_crossing(&curve);
    free(data.coords);
    free(data.normals);
    if (info.dim < 4) {
        complain_log("%s: fewer than 4 coordinates: it cannot be shown", path);
        return 1;
    }
    if (fault) {
        complain_log("%s: no double curve: %s", path, fault);
        return 1;
    }
    return 0;
}

void describe_blank_info(const char* path, char* text, size_t size)
{
    SurfaceData data;
    if (!path || create_surface_klein(path, &data) != 0) {
        snprintf(text, size, "no surface is shown");
        return;
    }
    SurfaceInfo info;
    measure_info(&data, &info);
    free(data.coords);
    free(data.normals);
    if (info.vertex_count < 3)
        snprintf(text, size, "it has no whole triangle");
    else if (info.finite_vertices == 0)
        snprintf(text, size, "no vertex has only finite coordinates");
    else if (info.radius > view_radius_info * (1 + fit_tolerance_info))
        snprintf(text, size,
            "it reaches %.3g from the origin, and the view shows %.3g whole (plexorama-convert --fit makes "
            "it fit)",
            info.radius, view_radius_info);
    else
        snprintf(text, size, "it lies outside the view as turned, zoomed and panned");
}
