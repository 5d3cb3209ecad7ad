// Headless runs: the offscreen loop, its picture and its recording.
#include "app/headless.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/course.h"
#include "core/info.h"
#include "app/render.h"
#include "draw/load.h"
#include "core/log.h"
#include "core/motion.h"
#include "core/output.h"
#include "draw/picture.h"
#include "app/pursuit.h"
#include "app/record.h"
#include "app/scene.h"
#include "core/view.h"

// One line on standard error naming what failed and why; the exit code.
static int __fail_headless(const char* what, const char* why)
{
    complain_log("%s: %s", what, why);
    return 1;
}

// Whether a picture holds only the clear colour, white.
static bool __blank_headless(const uint8_t* rgb, int size)
{
    size_t bytes = 3 * static_cast<size_t>(size) * static_cast<size_t>(size);
    for (size_t k = 0; k < bytes; k++)
        if (rgb[k] != 255)
            return false;
    return true;
}

// Draws offscreen until the run is over, recording every frame, and writes
// the last one as the picture. Returns the exit code; after a failure
// nothing of the picture or the recording is left.
int run_headless(const Options* options)
{
    int size = options->size;
    Picture picture;
    if (!create_picture(size, &picture)) {
        char why[64];
        snprintf(why, sizeof why, "cannot make a %d x %d picture", size, size);
        return __fail_headless(options->output ? options->output : options->record, why);
    }
    uint8_t* rgb = static_cast<uint8_t*>(malloc(3 * static_cast<size_t>(size) * static_cast<size_t>(size)));
    // Opened at once, so that a path that cannot be written fails before
    // any drawing.
    Output output = {};
    Record record = {};
    int failed = 0;
    const char* fault = nullptr;
    if (!rgb)
        failed = __fail_headless(options->output ? options->output : options->record, "out of memory");
    else if (options->output && !open_output(options->output, 0, &output)) {
        char why[128];
        snprintf(why, sizeof why, "cannot write: %s", strerror(errno));
        failed = __fail_headless(options->output, why);
    } else if (options->record && (fault = open_record(options->record, size, &record)) != nullptr) {
        failed = __fail_headless(options->record, fault);
        if (options->output)
            discard_output(&output);
    }
    if (failed) {
        free(rgb);
        destroy_picture(&picture);
        return failed;
    }
    arm_output();

    // Without --frames the run ends after one full turn of a spin, or once
    // a guided tour stops, else once no swap turn is running: after the
    // first frame, or after the frame that binds a turn's new coordinates.
    // Offscreen a guided tour's frames wait for its index.
    wait_pursuit(true);
    bool guided = view.tour.kind == TOUR_FEWEST_CROSSINGS || view.tour.kind == TOUR_SPREAD;
    Frame shown;
    frame_course(&shown, true);
    long last = options->frames >= 0                       ? options->frames
        : options->asked.spin.kind == SPIN_PLANE           ? spin_frames_scene(options)
        : options->record && view.tour.kind == TOUR_LITTLE ? round_tour(&view.tour, &shown)
                                                           : -1;
    mlog("[MAIN LOOP] Inicializando...\n");
    for (long drawn = 1;; drawn++) {
        main_loop();
        if (options->record) {
            read_picture(&picture, rgb);
            if ((fault = write_record(&record, rgb)) != nullptr) {
                failed = __fail_headless(options->record, fault);
                break;
            }
        }
        if (last >= 0 ? drawn == last : guided ? !view.tour.running : animate_index == 0)
            break;
    }
    mlog("[MAIN LOOP] Terminando...\n");

    // Each file is complete once in place; a later failure takes the ones
    // before it away again, and the recording, the slowest to finish, comes last.
    if (!failed && options->save_view)
        failed = save_scene(options->save_view);
    if (!failed && options->output) {
        if (!options->record)
            read_picture(&picture, rgb);
        if ((fault = save_png_picture(&output, rgb, size)) != nullptr)
            failed = __fail_headless(options->output, fault);
        if (!failed && __blank_headless(rgb, size)) {
            char why[160];
            describe_blank_info(options->file, pixel_load(size) / view.zoom, why, sizeof why);
            complain_log("warning: %s: nothing of the surface is drawn: %s", options->output, why);
        }
    }
    if (!failed && options->record && (fault = close_record(&record)) != nullptr)
        failed = __fail_headless(options->record, fault);
    if (failed) {
        if (options->output)
            discard_output(&output);
        if (options->record)
            discard_record(&record);
    }
    disarm_output(failed);
    free(rgb);
    destroy_picture(&picture);
    return failed;
}
