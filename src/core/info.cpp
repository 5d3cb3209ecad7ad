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

static void __print_ranges_info(FILE* out, int dim, const double* min, const double* max)
{
    for (int k = 0; k < dim; k++) {
        if (std::isnan(min[k]))
            fprintf(out, "coordinate %d: no finite value\n", k + 1);
        else
            fprintf(out, "coordinate %d: min %.9g max %.9g\n", k + 1, min[k], max[k]);
    }
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
    __print_ranges_info(out, info->dim, info->min, info->max);
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

void measure_shapes_info(const ShapeData* shapes, int count, const OoglCounts* counts, ShapesInfo* info)
{
    *info = {};
    info->dim = count ? shapes[0].dim : 0;
    info->counts = *counts;
    for (int k = 0; k < info->dim; k++)
        info->min[k] = info->max[k] = NAN;
    for (int s = 0; s < count; s++) {
        if (shapes[s].kind == SHAPE_TRIANGLES)
            info->triangles += shapes[s].vertex_count / 3;
        for (uint64_t v = 0; v < shapes[s].vertex_count; v++) {
            const float* p = shapes[s].coords + v * info->dim;
            double distance = 0;
            for (int k = 0; k < info->dim; k++) {
                info->min[k] = std::fmin(info->min[k], p[k]);
                info->max[k] = std::fmax(info->max[k], p[k]);
                distance += double(p[k]) * p[k];
            }
            info->radius = std::fmax(info->radius, std::sqrt(distance));
        }
    }
    info->fits = info->radius <= view_radius_info * (1 + fit_tolerance_info);
}

void print_shapes_info(FILE* out, const char* path, const ShapesInfo* info)
{
    fprintf(out, "file: %s\n", path);
    fprintf(out, "m: %d coordinates per vertex\n", info->dim);
    fprintf(out, "vertices: %llu\n", static_cast<unsigned long long>(info->counts.vertices));
    fprintf(out, "faces: %llu, as %llu triangles\n", static_cast<unsigned long long>(info->counts.faces),
        static_cast<unsigned long long>(info->triangles));
    fprintf(out, "segments: %llu\n", static_cast<unsigned long long>(info->counts.segments));
    fprintf(out, "points: %llu\n", static_cast<unsigned long long>(info->counts.points));
    __print_ranges_info(out, info->dim, info->min, info->max);
    if (info->fits)
        fprintf(out, "fits the view: yes, within %g of the origin (farthest vertex at %.6g)\n",
            view_radius_info, info->radius);
    else
        fprintf(out, "fits the view: no, the farthest vertex is %.6g from the origin, beyond %g\n",
            info->radius, view_radius_info);
}

// --info on a file that is not KLEIN: an OOGL file, else the KLEIN
// reader's refusal stands.
static int __run_oogl_info(const char* path, const char* not_klein)
{
    ShapeData shapes[max_shapes_oogl];
    int count;
    OoglCounts counts;
    const char* reason = read_shapes_oogl(path, shapes, &count, &counts);
    if (reason) {
        complain_log("%s: %s", path, reason == not_oogl ? not_klein : reason);
        return 1;
    }
    ShapesInfo info;
    measure_shapes_info(shapes, count, &counts, &info);
    for (int k = 0; k < count; k++)
        free_shape(&shapes[k]);
    print_shapes_info(stdout, path, &info);
    return 0;
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
static const char* __crossing_info(const SurfaceData* data, const View* scene, Crossing* curve)
{
    CrossingView view = {};
    if (scene->framed)
        view.frame = scene->frame;
    else
        choice_frame(scene->show, data->dim, &view.frame);
    if (scene->cues.eye4)
        view.eye = scene->cues.eye4_at > 0
            ? scene->cues.eye4_at
            : 3.0 * reach_frame(&view.frame, data->coords, data->vertex_count);
    compose_frame(scene->turn4[0], &view.frame);
    return find_crossing(data->coords, data->dim, data->vertex_count, &view, curve);
}

int run_info(const char* path, const View* scene)
{
    SurfaceData data;
    KleinReport report;
    if (create_surface_klein(path, &data, &report) != 0) {
        char reason[96];
        describe_klein(&report, reason, sizeof reason);
        if (report.status == KLEIN_NOT_KLEIN)
            return __run_oogl_info(path, reason);
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

// Whether some triangle of finite corners spans an area in R^m: its edges
// from the first corner, u and v, are not parallel. The Gram determinant
// |u|^2 |v|^2 - (u.v)^2 is |u|^2 |v|^2 sin^2 of their angle; floats put
// a sine of some 1e-7 into one that is 0.
static bool __has_area_info(const SurfaceData* data, uint32_t vertex_count)
{
    int m = data->dim;
    for (uint64_t t = 0; t + 3 <= vertex_count; t += 3) {
        const float* a = data->coords + t * m;
        double uu = 0, vv = 0, uv = 0;
        bool finite = true;
        for (int k = 0; k < m; k++) {
            double u = double(a[m + k]) - a[k], v = double(a[2 * m + k]) - a[k];
            finite = finite && std::isfinite(u) && std::isfinite(v);
            uu += u * u;
            vv += v * v;
            uv += u * v;
        }
        if (finite && uu * vv - uv * uv > 1e-12 * uu * vv)
            return true;
    }
    return false;
}

void describe_blank_info(const char* path, double pixel, char* text, size_t size)
{
    SurfaceData data;
    if (!path || create_surface_klein(path, &data) != 0) {
        snprintf(text, size, "no surface is shown");
        return;
    }
    SurfaceInfo info;
    measure_info(&data, &info);
    bool area = info.vertex_count >= 3 && __has_area_info(&data, info.vertex_count);
    free(data.coords);
    free(data.normals);
    // The largest distance two vertices can be apart: the box's diagonal.
    double span = 0;
    for (int k = 0; k < info.dim; k++)
        if (!std::isnan(info.min[k]))
            span += (info.max[k] - info.min[k]) * (info.max[k] - info.min[k]);
    span = std::sqrt(span);
    if (info.vertex_count < 3)
        snprintf(text, size, "it has no whole triangle");
    else if (info.finite_vertices == 0)
        snprintf(text, size, "no vertex has only finite coordinates");
    else if (!area)
        snprintf(text, size, "it has no area: the corners of every triangle lie on one line or at one point");
    else if (info.radius > view_radius_info * (1 + fit_tolerance_info))
        snprintf(text, size,
            "it reaches %.3g from the origin, and the view shows %.3g whole (plexorama-convert --fit makes "
            "it fit)",
            info.radius, view_radius_info);
    else if (span < pixel)
        snprintf(text, size,
            "it is too small to see: it spans %.3g, less than a pixel, %.3g "
            "(plexorama-convert --fit makes it fill the view)",
            span, pixel);
    else
        snprintf(text, size, "it lies outside the view as turned, zoomed and panned");
}
