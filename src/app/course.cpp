// The frame on show and the tours: each change goes through set_view, as a
// coordinate choice where the frame is one.
#include "app/course.h"

#include <cstring>
#include <ctime>

#include <cglm/cglm.h>

#include "app/pursuit.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "core/motion.h"
#include "core/view.h"

// Puts frame s on show with the 4-D turn as it is: as a coordinate choice
// where it is one (with the turn that makes it one folded into turn4), else
// as a frame of R^m.
static void __put_course(const Frame* s)
{
    View next = view;
    float turn[16];
    next.framed = !reduce_frame(s, next.show, turn);
    if (next.framed) {
        next.frame = *s;
    } else {
        mat4 reduced, composed;
        memcpy(reduced, turn, sizeof reduced);
        glm_mat4_mul(next.turn4, reduced, composed);
        glm_mat4_copy(composed, next.turn4);
    }
    set_view(&next);
}

void frame_course(Frame* frame, bool turned)
{
    if (view.framed) {
        *frame = view.frame;
    } else {
        choice_frame(view.show, view.dim, frame);
    }
    if (turned)
        compose_frame(view.turn4[0], frame);
}

int turn_coordinates_course(int a, int b, float angle)
{
    if (view.dim < 4 || a == b || a < 0 || b < 0 || a >= view.dim || b >= view.dim)
        return 0;
    Frame s;
    frame_course(&s, false);
    turn_frame(&s, a, b, angle);
    __put_course(&s);
    return 1;
}

void show_frame_course(const Frame* frame)
{
    View next = view;
    glm_mat4_identity(next.turn4);
    set_view(&next);
    __put_course(frame);
}

// Takes the frame on show into next as its frame, the 4-D turn composed in,
// for a tour to move as a whole. Returns 0 when there is none to move.
static int __take_frame_course(View* next)
{
    Frame f;
    frame_course(&f, true);
    if (f.dim < 4)
        return 0;
    glm_mat4_identity(next->turn4);
    next->framed = true;
    next->frame = f;
    return 1;
}

void start_tour_course(TourKind kind, uint64_t seed, float speed)
{
    View next = view;
    if (!__take_frame_course(&next))
        return;
    next.tour = {kind, true, seed, speed, kind == TOUR_LITTLE ? first_target_tour(&next.frame) : 0};
    set_view(&next);
}

void run_tour_course(bool run)
{
    const Tour& tour = view.tour;
    if (run && tour.kind == TOUR_NONE) {
        start_tour_course(TOUR_GRAND, static_cast<uint64_t>(time(nullptr)), tour.speed);
        return;
    }
    // A tour at a coordinate choice goes on from it, toward the target it
    // was on the way to, as from any frame.
    View next = view;
    if (run && !view.framed && !__take_frame_course(&next))
        return;
    next.tour.running = run && tour.kind != TOUR_NONE;
    set_view(&next);
}

void advance_tour_course()
{
    // A view file or a link holds the frame of a running tour as a coordinate
    // choice wherever it is one: the tour takes it back as its frame.
    if (view.tour.running && !view.framed) {
        View next = view;
        if (!__take_frame_course(&next))
            return;
        set_view(&next);
    }
    advance_tour_motion();
    advance_pursuit();
}

void pull_course(int k, const float* column)
{
    if (k < 0 || k >= view.dim)
        return;
    Frame s;
    frame_course(&s, false);
    pull_frame(&s, k, column);
    __put_course(&s);
}
