// Where two triangles of the shadow cross, in double precision: each
// triangle's edges that cross the other's plane, where they cross it inside
// the other triangle, are the segment's ends. A point on an edge is found
// from the edge and the other triangle alone, so that both triangles on the
// edge find it alike, and the curve joins up.
#include <algorithm>
#include <cmath>

#include "core/crossing_parts.h"

void __normal_crossing(const double* const t[3], double* n)
{
    double e1[3], e2[3];
    for (int k = 0; k < 3; k++) {
        e1[k] = t[1][k] - t[0][k];
        e2[k] = t[2][k] - t[0][k];
    }
    n[0] = e1[1] * e2[2] - e1[2] * e2[1];
    n[1] = e1[2] * e2[0] - e1[0] * e2[2];
    n[2] = e1[0] * e2[1] - e1[1] * e2[0];
}

int __axis_crossing(const double* n)
{
    double x = std::fabs(n[0]), y = std::fabs(n[1]), z = std::fabs(n[2]);
    return x >= y && x >= z ? 0 : y >= z ? 1 : 2;
}

bool __point_less_crossing(const double* a, const double* b)
{
    return a[0] != b[0] ? a[0] < b[0] : a[1] != b[1] ? a[1] < b[1] : a[2] < b[2];
}

namespace {

// Two triangles whose corners all lie within this share of the reach of the
// other's plane lie in one plane: float rounding of the coordinates.
constexpr double flat_crossing = 0x1p-21;

// A triangle's corners, plane, and the distances from the other's plane.
struct Side {
    const double* at[3];
    const uint32_t* id;
    double n[3];
    double d[3]; // its corners' from the other's plane, times the other's normal's length
};

// The weights of p, on the plane of t, over t's corners; false when p lies
// outside.
bool __inside_crossing(const double* p, const Side& t, double* where)
{
    int k = __axis_crossing(t.n), u = (k + 1) % 3, v = (k + 2) % 3;
    auto area = [&](const double* a, const double* b, const double* c) {
        return (b[u] - a[u]) * (c[v] - a[v]) - (b[v] - a[v]) * (c[u] - a[u]);
    };
    where[0] = area(p, t.at[1], t.at[2]);
    where[1] = area(t.at[0], p, t.at[2]);
    where[2] = area(t.at[0], t.at[1], p);
    double sum = where[0] + where[1] + where[2];
    for (int i = 0; i < 3; i++)
        if (where[i] * t.n[k] < 0)
            return false;
    if (!(sum != 0))
        return false;
    for (int i = 0; i < 3; i++)
        where[i] /= sum;
    return true;
}

// The points where the edges of one triangle cross the plane of the other,
// within it: ends of the segment, added to ends[count]. The edge's lesser
// corner leads, so that both triangles on an edge find the same point.
void __edges_crossing(
    const Side& edges, const Side& other, int whose, uint32_t inside, SegmentEnd* ends, int* count)
{
    for (int i = 0; i < 3; i++) {
        int p = i, q = (i + 1) % 3;
        if ((edges.d[p] >= 0) == (edges.d[q] >= 0))
            continue;
        if (__point_less_crossing(edges.at[q], edges.at[p]))
            std::swap(p, q);
        double t = edges.d[p] / (edges.d[p] - edges.d[q]);
        SegmentEnd end = {};
        for (int k = 0; k < 3; k++)
            end.at[k] = edges.at[p][k] + t * (edges.at[q][k] - edges.at[p][k]);
        if (!__inside_crossing(end.at, other, end.where[1 - whose]))
            continue;
        end.where[whose][p] = 1 - t;
        end.where[whose][q] = t;
        end.edge[0] = std::min(edges.id[p], edges.id[q]);
        end.edge[1] = std::max(edges.id[p], edges.id[q]);
        end.inside = inside;
        if (*count < 4)
            ends[(*count)++] = end;
    }
}

} // namespace

bool __meet_crossing(const Shadow* s, uint32_t a, uint32_t b, Segment* segment)
{
    Side sides[2];
    uint32_t triangles[2] = {a, b};
    for (int h = 0; h < 2; h++) {
        sides[h].id = s->corners[triangles[h]];
        for (int k = 0; k < 3; k++)
            sides[h].at[k] = s->at[sides[h].id[k]];
        __normal_crossing(sides[h].at, sides[h].n);
    }
    bool flat = true;
    for (int h = 0; h < 2; h++) {
        const Side& other = sides[1 - h];
        double length
            = std::sqrt(other.n[0] * other.n[0] + other.n[1] * other.n[1] + other.n[2] * other.n[2]);
        int up = 0;
        for (int k = 0; k < 3; k++) {
            double d = 0;
            for (int j = 0; j < 3; j++)
                d += other.n[j] * (sides[h].at[k][j] - other.at[0][j]);
            sides[h].d[k] = d;
            up += d >= 0;
            flat = flat && std::fabs(d) <= flat_crossing * s->reach * length;
        }
        if (up == 0 || up == 3)
            return false;
    }
    if (flat)
        return false;
    SegmentEnd ends[4];
    int count = 0;
    __edges_crossing(sides[0], sides[1], 0, b, ends, &count);
    __edges_crossing(sides[1], sides[0], 1, a, ends, &count);
    if (count < 2)
        return false;
    // More than two only where the crossing runs through a corner: the two
    // farthest apart.
    int first = 0, second = 1;
    double far = -1;
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++) {
            double d = 0;
            for (int k = 0; k < 3; k++)
                d += (ends[i].at[k] - ends[j].at[k]) * (ends[i].at[k] - ends[j].at[k]);
            if (d > far) {
                far = d;
                first = i;
                second = j;
            }
        }
    segment->triangle[0] = a;
    segment->triangle[1] = b;
    segment->ends[0] = ends[first];
    segment->ends[1] = ends[second];
    return true;
}
