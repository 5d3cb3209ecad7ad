// The command line's parse: getopt_long's table made from the table of
// options, each value read by its row, and what the options ask together.
#include "app/options.h"

#include <getopt.h>

#include <cstring>

#include "app/options_parts.h"
#include "app/record.h"
#include "core/tour.h"

const OptionRow* row_options(const char* name)
{
    for (int k = 0; k < option_row_count; k++)
        if (strcmp(option_rows[k].name, name) == 0)
            return &option_rows[k];
    return nullptr;
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
static const char* __refused_options(int code, const char* argument)
{
    if (code == ':')
        return fault_options(
            "option '%.*s' needs a value", static_cast<int>(strcspn(argument, "=")), argument);
    for (int k = 0; k < option_row_count; k++)
        if (__code_options(k) == optopt)
            return fault_options("option '--%s' takes no value", option_rows[k].name);
    if (optopt != 0)
        return fault_options("unknown option '-%c'", optopt);
    if (__prefix_count_options(argument) > 1)
        return fault_options("ambiguous option '%s'", argument);
    return fault_options("unknown option '%s'", argument);
}

// What the options ask together, once each is read.
static const char* __check_options(Options* options)
{
    options->file = options->files[0];
    // --info reads FILE alone, in the view of --view when given.
    if (options->describe) {
        if (!options->file)
            return fault_options("--info needs a FILE");
        if (options->file_count > 1)
            return fault_options("--info takes its one FILE, not '%s'", options->files[1]);
        options->info = options->file;
    }
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        if (!(options->given >> k & 1))
            continue;
        // These act on the file shown at start, which --info does not show.
        if (options->info && (row.flags & OPTION_FILE) && !(row.flags & OPTION_INFO))
            return fault_options("--info shows no FILE: not with --%s", row.name);
        if ((row.flags & OPTION_FILE) && !options->file)
            return fault_options("--%s needs a FILE", row.name);
    }
    if (options->info)
        return nullptr;
    // A view file holds no frames, files or turn under way.
    for (int k = 0; k < option_row_count; k++)
        if (options->print_view && (options->given >> k & 1) && (option_rows[k].flags & OPTION_DRAWS))
            return fault_options("--print-view draws nothing: not with --%s", option_rows[k].name);
    bool offscreen = options->output || options->record;
    // A grand tour never ends of itself.
    if (options->tour == TOUR_GRAND && options->record && options->frames < 0)
        return fault_options("--record with a grand tour needs --frames");
    if (options->size && !offscreen)
        return fault_options("--size needs --output or --record");
    if (options->frames == 0 && offscreen)
        return fault_options("--frames 0 draws nothing to write");
    if (!options->size)
        options->size = 512;
    // H.264 in 4:2:0 takes only even sizes.
    if (options->record && kind_record(options->record) == RECORD_MP4 && options->size % 2)
        return fault_options("--size %d is odd: .mp4 needs an even size", options->size);
    return nullptr;
}

const char* parse_options(int argc, char** argv, Options* options)
{
    *options = {};
    options->frames = -1;
    options->tour = -1;
    options->asked = initial_view;
    // 0 starts getopt_long afresh, so the parser can run more than once in a
    // process; the leading ':' tells a missing value from an unknown option.
    optind = 0;
    opterr = 0;
    // Sized by the bits of given: the arrays are no variable-length ones,
    // which standard C++ has not.
    struct option long_options[64 + 1] = {};
    char letters[64 + 2] = ":";
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
        char* record = row.flags & OPTION_VIEW ? reinterpret_cast<char*>(&options->asked)
                                               : reinterpret_cast<char*>(options);
        if (const char* fault = row.read(row, optarg, record))
            return fault;
        options->given |= 1ull << k;
        options->values[k] = optarg;
        if (row.flags & OPTION_ANSWERS)
            return nullptr;
    }
    for (; optind < argc; optind++) {
        if (options->file_count == max_files_options)
            return fault_options("more than %d files: '%s'", max_files_options, argv[optind]);
        options->files[options->file_count++] = argv[optind];
    }
    return __check_options(options);
}

void read_view_options(const Options* options, View* next)
{
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        if ((row.flags & OPTION_VIEW) && (options->given >> k & 1))
            row.read(row, options->values[k], reinterpret_cast<char*>(next));
    }
}
