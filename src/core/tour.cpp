// Tours: targets, and the steps along the geodesics between them.
#include "core/tour.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/ranges.h"
#include "core/values.h"

namespace {

// The path on the way, where the last step left the frame, and how far.
Geodesic path;
Frame left;
uint32_t path_target = 0;
long steps = 0, step = 0;
bool walking = false;

// The choices of the little tour in order: every four of dim in lexical
// order, or the groups of consecutive coordinates.
void __choice_tour(uint8_t dim, uint32_t k, uint8_t show[4])
{
    if (dim > 8) {
        for (int i = 0; i < 4; i++)
            show[i] = static_cast<uint8_t>((k + static_cast<uint32_t>(i)) % dim);
        return;
    }
    uint32_t seen = 0;
    for (int a = 0; a < dim; a++)
        for (int b = a + 1; b < dim; b++)
            for (int c = b + 1; c < dim; c++)
                for (int d = c + 1; d < dim; d++)
                    if (seen++ == k) {
                        const uint8_t found[4] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b),
                            static_cast<uint8_t>(c), static_cast<uint8_t>(d)};
                        memcpy(show, found, sizeof found);
                        return;
                    }
}

// Steps from one frame to another at the tour's pace: whole steps, so that
// a round of the little tour is a whole number of frames.
long __steps_tour(const Tour* tour, const Geodesic* g)
{
    double pace = static_cast<double>(tour->speed) * M_PI / 180.0 / 60.0;
    double n = pace > 0.0 ? std::ceil(g->angle / pace - 1e-9) : 1.0;
    // A speed within its range takes some hundred thousand steps at most;
    // the bound keeps any other from overflowing the conversion.
    return n >= 1.0 ? static_cast<long>(std::fmin(n, 1e9)) : 1;
}

const char* const kinds[] = {"off", "grand", "little", "guided=fewest-crossings", "guided=spread", nullptr};

} // namespace

uint32_t choices_tour(uint8_t dim)
{
    if (dim > 8)
        return dim;
    uint32_t n = dim;
    return n * (n - 1) * (n - 2) * (n - 3) / 24;
}

void target_tour(const Tour* tour, uint8_t dim, uint32_t k, Frame* frame)
{
    if (tour->kind == TOUR_LITTLE) {
        uint8_t show[4];
        __choice_tour(dim, k % choices_tour(dim), show);
        choice_frame(show, dim, frame);
        return;
    }
    // Each target from a state of its own, so that target k is the same
    // however the tour came to it.
    uint64_t state = tour->seed * 0x2545f4914f6cdd1dull + k;
    random_frame(&state, dim, frame);
}

uint32_t first_target_tour(const Frame* frame)
{
    uint32_t count = choices_tour(frame->dim);
    Tour little = {TOUR_LITTLE, false, 0, 0.0f, 0};
    for (uint32_t k = 0; k < count; k++) {
        Frame choice;
        target_tour(&little, frame->dim, k, &choice);
        if (memcmp(choice.rows, frame->rows, sizeof choice.rows) == 0)
            return (k + 1) % count;
    }
    return 0;
}

void step_tour(Tour* tour, Frame* frame)
{
    if ((tour->kind != TOUR_GRAND && tour->kind != TOUR_LITTLE) || !tour->running || frame->dim < 4)
        return;
    bool moved = !walking || path_target != tour->target || frame->dim != left.dim
        || memcmp(frame->rows, left.rows, sizeof left.rows) != 0;
    if (moved) {
        Frame target;
        target_tour(tour, frame->dim, tour->target, &target);
        if (!start_geodesic_frame(frame, &target, &path))
            return;
        path_target = tour->target;
        steps = __steps_tour(tour, &path);
        step = 0;
        walking = true;
    }
    step++;
    walk_geodesic_frame(&path, static_cast<double>(step) / static_cast<double>(steps), frame);
    if (step == steps) {
        *frame = path.to;
        tour->target
            = tour->kind == TOUR_LITTLE ? (tour->target + 1) % choices_tour(frame->dim) : tour->target + 1;
        walking = false;
    }
    left = *frame;
}

long round_tour(const Tour* tour, const Frame* frame)
{
    Frame at = *frame, target;
    long total = 0;
    uint32_t k = tour->target, count = choices_tour(frame->dim);
    for (uint32_t n = 0; n < count; n++, k = (k + 1) % count) {
        target_tour(tour, frame->dim, k, &target);
        Geodesic g;
        if (start_geodesic_frame(&at, &target, &g))
            total += __steps_tour(tour, &g);
        at = g.to;
    }
    return total;
}

size_t format_tour(const Tour* tour, char* text, size_t size)
{
    int length = tour->kind == TOUR_NONE
        ? snprintf(text, size, " off")
        : snprintf(text, size, " %s %llu %.9g %lu %s", kinds[tour->kind],
            static_cast<unsigned long long>(tour->seed), static_cast<double>(tour->speed),
            static_cast<unsigned long>(tour->target), tour->running ? "running" : "paused");
    return length > 0 ? static_cast<size_t>(length) : 0;
}

int parse_tour(char** words, int count, Tour* tour)
{
    if (count == 1 && strcmp(words[0], "off") == 0) {
        *tour = {TOUR_NONE, false, 0, default_speed_tour, 0};
        return 1;
    }
    unsigned long long seed = 0, target = 0;
    float speed = 0.0f;
    int kind = 1;
    while (count == 5 && kinds[kind] && strcmp(words[0], kinds[kind]) != 0)
        kind++;
    if (count != 5 || !kinds[kind] || !number_values(words[1], UINT64_MAX, &seed)
        || !float_values(words[2], &speed) || !number_values(words[3], UINT32_MAX, &target)
        || (strcmp(words[4], "running") != 0 && strcmp(words[4], "paused") != 0))
        return 0;
    if (!within_range(RANGE_TOUR_SPEED, speed))
        return -1;
    *tour = {static_cast<TourKind>(kind), strcmp(words[4], "running") == 0, seed, speed,
        static_cast<uint32_t>(target)};
    return 1;
}
