// The command line: the table of options, usage and help made from it, and
// parsing.
#include "app/options.h"

#include <getopt.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <strings.h>

#include "app/help.h"
#include "app/keys.h"
#include "app/record.h"
#include "core/ranges.h"
#include "core/tour.h"
#include "core/values.h"
#include "core/view.h"

static int __ends_with_png_options(const char* name)
{
    size_t length = strlen(name);
    return length > 4 && strcasecmp(name + length - 4, ".png") == 0;
}

// The place of text among the words of a row's argument, "x|y|z" (a value
// after the last word, "[=S]", is not a word); -1 when it is none of them,
// after saying so.
static int __word_options(const OptionRow& row, const char* text)
{
    char listed[96] = "";
    int place = 0, found = -1;
    for (const char* word = row.argument; *word && *word != '['; place++) {
        size_t length = strcspn(word, "|[");
        if (strlen(text) == length && strncmp(text, word, length) == 0)
            found = place;
        const char* between = !*listed ? "" : word[length] && word[length] != '[' ? ", " : " or ";
        snprintf(listed + strlen(listed), sizeof listed - strlen(listed), "%s%.*s", between,
            static_cast<int>(length), word);
        word += length + (word[length] == '|');
    }
    if (found < 0)
        usage_error_help("bad %s '%s': %s", row.name, text, listed);
    return found;
}

// What getopt_long returns for row k: its letter, or a value past any
// character.
static int __code_options(int k)
{
    return option_rows[k].letter ? option_rows[k].letter : 256 + k;
}

// How many long options a "--name" or "--name=value" argument abbreviates.
static int __prefix_count_options(const char* argument)
{
    const char* name = argument + 2;
    size_t length = strcspn(name, "=");
    int count = 0;
    for (int k = 0; k < option_row_count; k++)
        count += strncmp(option_rows[k].name, name, length) == 0;
    return count;
}

// The usage error for what getopt_long refused. optopt holds the refused
// short option, or the known long option that was given a value, or 0 for
// an unknown long option, which is then the argument before optind.
static int __refused_options(int code, const char* argument)
{
    if (code == ':')
        return usage_error_help(
            "option '%.*s' needs a value", static_cast<int>(strcspn(argument, "=")), argument);
    for (int k = 0; k < option_row_count; k++)
        if (__code_options(k) == optopt)
            return usage_error_help("option '--%s' takes no value", option_rows[k].name);
    if (optopt != 0)
        return usage_error_help("unknown option '-%c'", optopt);
    if (__prefix_count_options(argument) > 1)
        return usage_error_help("ambiguous option '%s'", argument);
    return usage_error_help("unknown option '%s'", argument);
}

int parse_options(int argc, char** argv, Options* options)
{
    *options = {};
    options->frames = -1;
    options->light = -1;
    options->tint = -1;
    options->tint_scale = -1.0f;
    options->wire = -1;
    options->stereo = -1;
    options->eyes = -1.0f;
    options->tour = -1;
    // 0 starts getopt_long afresh, so the parser can run more than once in a
    // process; the leading ':' tells a missing value from an unknown option.
    optind = 0;
    opterr = 0;
    // A row for every action: sized by the actions, the arrays are no
    // variable-length ones, which standard C++ has not.
    struct option long_options[OPTION_VERSION + 2] = {};
    char letters[OPTION_VERSION + 3] = ":";
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        long_options[k]
            = {row.name, row.argument ? required_argument : no_argument, nullptr, __code_options(k)};
        if (row.letter)
            strncat(letters, &row.letter, 1);
    }
    int code;
    while ((code = getopt_long(argc, argv, letters, long_options, nullptr)) != -1) {
        int k = 0;
        while (k < option_row_count && __code_options(k) != code)
            k++;
        if (k == option_row_count)
            return __refused_options(code, argv[optind - 1]);
        const OptionRow& row = option_rows[k];
        options->given |= 1ull << row.action;
        unsigned long long number = 0;
        int word = 0;
        const char* fault = nullptr;
        switch (row.action) {
        case OPTION_HELP:
            print_help();
            return 0;
        case OPTION_VERSION:
            printf("plexorama %s\n", PLEXORAMA_VERSION);
            return 0;
        case OPTION_FRAMES:
            if (!number_values(optarg, LONG_MAX, &number))
                return usage_error_help("bad frame count '%s'", optarg);
            options->frames = static_cast<long>(number);
            break;
        case OPTION_SHOW:
            if ((fault = coordinates_values(optarg, options->coordinates)) != nullptr)
                return usage_error_help("bad coordinate list '%s': %s", optarg, fault);
            options->show = optarg;
            break;
        case OPTION_SWAP:
            if ((word = __word_options(row, optarg)) < 0)
                return 2;
            options->swap = row_keys(KEY_SWAP)->codes[word];
            break;
        case OPTION_VIEW:
            options->view = optarg;
            break;
        case OPTION_SAVE_VIEW:
            options->save_view = optarg;
            break;
        case OPTION_OUTPUT:
            // The picture is PNG whatever its name; a name that says
            // otherwise would mislead every program that goes by it.
            if (!__ends_with_png_options(optarg))
                return usage_error_help("bad picture name '%s': it must end in .png", optarg);
            options->output = optarg;
            break;
        case OPTION_RECORD:
            if (kind_record(optarg) == RECORD_NONE)
                return usage_error_help(
                    "bad recording name '%s': a %%d pattern for PNG frames, or .mp4, .webm, .gif", optarg);
            options->record = optarg;
            break;
        case OPTION_SIZE:
            if (!number_values(optarg, 8192, &number) || number < 16)
                return usage_error_help("bad picture size '%s': 16 to 8192", optarg);
            options->size = static_cast<int>(number);
            break;
        case OPTION_TURN:
            if ((options->turn_count = turns_values(optarg, options->turns, 16)) < 0)
                return usage_error_help(
                    "bad turn '%s': PLANE=DEGREES,... with PLANE xy, xz, yz, xw, yw, zw or A:B, at most 16",
                    optarg);
            break;
        case OPTION_BASIS:
            if ((options->frame_count = floats_values(optarg, options->frame, 4 * max_dim_frame)) < 16
                || options->frame_count % 4)
                return usage_error_help(
                    "bad basis '%.40s': 4 m numbers, m from 4 to 255, row after row", optarg);
            break;
        case OPTION_TOUR:
            if (!(options->tour = tour_values(optarg, &options->seed, &options->seeded)))
                return usage_error_help("bad tour '%s': grand, grand=SEED or little", optarg);
            break;
        case OPTION_TOUR_SPEED:
            if (!float_values(optarg, &options->tour_speed)
                || !within_range(RANGE_TOUR_SPEED, options->tour_speed))
                return usage_error_help("bad tour speed '%s': %s", optarg, text_range(RANGE_TOUR_SPEED));
            break;
        case OPTION_ZOOM:
            if (!float_values(optarg, &options->zoom) || !within_range(RANGE_ZOOM, options->zoom))
                return usage_error_help("bad zoom '%s': %s", optarg, text_range(RANGE_ZOOM));
            break;
        case OPTION_LIGHT:
            if ((options->light = __word_options(row, optarg)) < 0)
                return 2;
            break;
        case OPTION_QUIET:
            options->quiet = true;
            break;
        case OPTION_INFO:
            // Its FILE is the one after the options.
            break;
        case OPTION_PRINT_VIEW:
            options->print_view = true;
            break;
        case OPTION_COLOR:
        case OPTION_STEREO: {
            // The map's scale, or the eyes' distance, may follow the word;
            // the first word, fixed or off, has none to take.
            char text[32];
            float number = 0.0f;
            options->tint_auto = row.action == OPTION_COLOR && strcmp(optarg, "w=auto") == 0;
            if (options->tint_auto) {
                options->tint = TINT_W;
                break;
            }
            RangeName range = row.action == OPTION_COLOR ? RANGE_SCALE : RANGE_EYES;
            if (!word_number_values(optarg, text, sizeof text, &number))
                return usage_error_help("bad %s '%s': %s", row.name, optarg, row.argument);
            if ((word = __word_options(row, text)) < 0)
                return 2;
            if (word == 0 && number != -1.0f)
                return usage_error_help("bad %s '%s': %s takes no number", row.name, optarg, text);
            if (number != -1.0f && !within_range(range, number))
                return usage_error_help("bad %s '%s': %s", row.name, optarg, fault_range(range));
            *(row.action == OPTION_COLOR ? &options->tint : &options->stereo) = word;
            *(row.action == OPTION_COLOR ? &options->tint_scale : &options->eyes) = number;
            break;
        }
        case OPTION_AA:
            if ((word = __word_options(row, optarg)) < 0)
                return 2;
            options->aa = 1 << word;
            break;
        case OPTION_OPACITY:
            if (!float_values(optarg, &options->opacity) || !within_range(RANGE_OPACITY, options->opacity))
                return usage_error_help("bad opacity '%s': %s", optarg, text_range(RANGE_OPACITY));
            break;
        case OPTION_UI_SCALE:
            if (!float_values(optarg, &options->ui_scale) || !(options->ui_scale >= 0.5f)
                || !(options->ui_scale <= 4.0f))
                return usage_error_help("bad interface scale '%s': 0.5 to 4", optarg);
            break;
        case OPTION_NO_PREFERENCES:
            options->no_preferences = true;
            break;
        case OPTION_SLICE:
            if (!band_values(optarg, options->band))
                return usage_error_help(
                    "bad slice '%s': C or C,DELTA, DELTA %s", optarg, text_range(RANGE_WIDTH, true));
            options->slice = true;
            break;
        case OPTION_EYE4:
            if (!float_values(optarg, &options->eye4) || !within_range(RANGE_EYE4, options->eye4))
                return usage_error_help("bad eye distance '%s': %s", optarg, text_range(RANGE_EYE4));
            break;
        case OPTION_GIZMO:
            options->gizmo = true;
            break;
        case OPTION_DOUBLE_CURVE:
            options->double_curve = true;
            break;
        case OPTION_BROKEN:
            options->broken = true;
            break;
        case OPTION_WIRE:
            // on|off: on is the first word.
            if ((word = __word_options(row, optarg)) < 0)
                return 2;
            options->wire = !word;
            break;
        case OPTION_SPIN:
            if (!spin_values(optarg, &options->spin))
                return usage_error_help("bad spin '%s': PLANE or PLANE=DEGREES_PER_SECOND, %s", optarg,
                    text_range(RANGE_SPIN_RATE));
            break;
        }
    }
    for (; optind < argc; optind++) {
        if (options->file_count == max_files_options)
            return usage_error_help("more than %d files: '%s'", max_files_options, argv[optind]);
        options->files[options->file_count++] = argv[optind];
    }
    options->file = options->files[0];
    // --info reads FILE alone, in the view of --view when given.
    if (options->given & (1u << OPTION_INFO)) {
        if (!options->file)
            return usage_error_help("--info needs a FILE");
        if (options->file_count > 1)
            return usage_error_help("--info takes its one FILE, not '%s'", options->files[1]);
        options->info = options->file;
    }
    // These act on the file shown at start, which --info does not show.
    for (int k = 0; k < option_row_count; k++)
        if (const OptionRow& row = option_rows[k];
            row.needs_file && (options->given & (1ull << row.action))) {
            if (options->info && row.action != OPTION_VIEW && row.action != OPTION_INFO)
                return usage_error_help("--info shows no FILE: not with --%s", row.name);
            if (!options->file)
                return usage_error_help("--%s needs a FILE", row.name);
        }
    if (options->info)
        return -1;
    bool offscreen = options->output || options->record;
    // A view file holds no frames, files or turn under way.
    for (OptionAction drawn : {OPTION_OUTPUT, OPTION_RECORD, OPTION_SAVE_VIEW, OPTION_SWAP, OPTION_FRAMES})
        if (options->print_view && (options->given & (1ull << drawn)))
            return usage_error_help("--print-view draws nothing: not with --%s", option_rows[drawn].name);
    // A grand tour never ends of itself.
    if (options->tour == TOUR_GRAND && options->record && options->frames < 0)
        return usage_error_help("--record with a grand tour needs --frames");
    if (options->size && !offscreen)
        return usage_error_help("--size needs --output or --record");
    if (options->frames == 0 && offscreen)
        return usage_error_help("--frames 0 draws nothing to write");
    if (!options->size)
        options->size = 512;
    // H.264 in 4:2:0 takes only even sizes.
    if (options->record && kind_record(options->record) == RECORD_MP4 && options->size % 2)
        return usage_error_help("--size %d is odd: .mp4 needs an even size", options->size);
    return -1;
}
