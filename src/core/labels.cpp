// Labels on the picture: box tests and the search for a clear place.
#include "core/labels.h"

#include <algorithm>
#include <cmath>

bool overlap_labels(const Box& a, const Box& b)
{
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

bool crosses_labels(const Box& box, const Segment& s)
{
    // Liang and Barsky: the segment's part within each of the box's four
    // half-planes, narrowed in turn.
    float t0 = 0.0f, t1 = 1.0f;
    const float dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    const float p[4] = {-dx, dx, -dy, dy};
    const float q[4] = {s.x0 - box.x0, box.x1 - s.x0, s.y0 - box.y0, box.y1 - s.y0};
    for (int k = 0; k < 4; k++) {
        if (p[k] == 0.0f) {
            if (q[k] < 0.0f)
                return false;
            continue;
        }
        float t = q[k] / p[k];
        if (p[k] < 0.0f)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

namespace {

struct Candidate {
    float cost;
    float distance; // beyond the end, in pixels
    float angle;    // from the line's direction, in radians
};

Box __grown_labels(const Box& b, float by)
{
    return {b.x0 - by, b.y0 - by, b.x1 + by, b.y1 + by};
}

bool __clear_labels(const Box& box, const Clearance& clear)
{
    const Box& room = clear.room;
    if (box.x0 < room.x0 || box.y0 < room.y0 || box.x1 > room.x1 || box.y1 > room.y1)
        return false;
    Box grown = __grown_labels(box, clear.margin);
    for (int k = 0; k < clear.box_count; k++)
        if (overlap_labels(grown, clear.boxes[k]))
            return false;
    // Lines need less room than letters: half the margin.
    Box near = __grown_labels(box, 0.5f * clear.margin);
    for (int k = 0; k < clear.segment_count; k++)
        if (crosses_labels(near, clear.segments[k]))
            return false;
    return true;
}

} // namespace

int place_labels(const float* from, const float* end, float width, float height, const Clearance& clear,
    Box* placed, Segment* leader)
{
    float dx = end[0] - from[0], dy = end[1] - from[1], length = std::hypot(dx, dy);
    // A line seen end on points nowhere: up and to the right, then.
    float ux = length > 0.0f ? dx / length : static_cast<float>(M_SQRT1_2);
    float uy = length > 0.0f ? dy / length : static_cast<float>(M_SQRT1_2);
    if (!(width > 0.0f && height > 0.0f) || !std::isfinite(ux) || !std::isfinite(uy))
        return 0;
    // Steps of a third of the height out to the room's size, and of 15
    // degrees aside; turning aside costs as much as two steps out.
    const Box& room = clear.room;
    float step = height / 3.0f, reach = std::hypot(room.x1 - room.x0, room.y1 - room.y0);
    int steps = std::clamp(static_cast<int>(reach / step), 1, 96);
    const int turns = 6;
    static Candidate candidates[97 * (2 * turns + 1)];
    int count = 0;
    for (int s = 0; s <= steps; s++)
        for (int t = -turns; t <= turns; t++)
            candidates[count++]
                = {static_cast<float>(s + 2 * std::abs(t)), s * step, t * static_cast<float>(M_PI) / 12.0f};
    std::stable_sort(candidates, candidates + count,
        [](const Candidate& a, const Candidate& b) { return a.cost < b.cost; });
    for (int k = 0; k < count; k++) {
        const Candidate& c = candidates[k];
        float vx = ux * std::cos(c.angle) - uy * std::sin(c.angle);
        float vy = ux * std::sin(c.angle) + uy * std::cos(c.angle);
        // From the end to the box's nearest side, then to its centre: the
        // box's half extent along the direction.
        float gap = c.distance + clear.margin;
        float along = gap + 0.5f * width * std::fabs(vx) + 0.5f * height * std::fabs(vy);
        float cx = end[0] + vx * along, cy = end[1] + vy * along;
        Box box = {cx - 0.5f * width, cy - 0.5f * height, cx + 0.5f * width, cy + 0.5f * height};
        if (!__clear_labels(box, clear))
            continue;
        // Beyond half its height from the end, or aside, a label could be
        // taken for another line's: a leader joins them.
        bool away = c.angle != 0.0f || c.distance > 0.5f * height;
        Segment line = {end[0], end[1], end[0] + vx * gap, end[1] + vy * gap};
        bool crossing = false;
        for (int b = 0; away && b < clear.box_count && !crossing; b++)
            crossing = crosses_labels(clear.boxes[b], line);
        if (crossing)
            continue;
        *placed = box;
        *leader = line;
        return away ? 2 : 1;
    }
    return 0;
}

float digits_labels(int side)
{
    return std::max(10.0f, std::round(static_cast<float>(side) / 40.0f));
}
