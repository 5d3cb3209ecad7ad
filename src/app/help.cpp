// Usage and help: the texts a user reads, made from the table of options
// and the table of keys.
#include "app/help.h"

#include <cstring>

#include "app/keys.h"
#include "core/log.h"

static const char help_head[] = "\n"
                                "Shows a surface of four or more dimensions from a KLEIN file. Drop another\n"
                                "file onto the window to show it instead.\n"
                                "\n"
                                "  FILE              KLEIN surface file to show at start; after -- it may\n"
                                "                    start with '-'\n";

static const char help_middle[]
    = "\n"
      "A run with --output or --record ends after --frames N frames if given, else\n"
      "after one full turn of --spin (360 x 60 / rate frames), after the frame that\n"
      "ends the turn of --swap (159 frames), or after the first frame. It still needs\n"
      "a display, as the window does: on a machine without one, run it under\n"
      "xvfb-run.\n"
      "\n"
      "Keys:\n";
static const char help_end[]
    = "\n"
      "Examples:\n"
      "  plexorama --show 1,3,4,2 --output figure.png surface.klein\n"
      "  plexorama --save-view turned.view surface.klein\n"
      "  plexorama --view turned.view --size 2048 --output large.png surface.klein\n"
      "  plexorama --swap y --record turn.mp4 surface.klein\n"
      "  plexorama --turn yw=40 --output figure.png surface.klein\n"
      "  plexorama --spin xw=30 --size 400 --record spin.webm surface.klein\n"
      "  plexorama --color w --slice 0.2 --output slice.png surface.klein\n"
      "  plexorama --light smooth --opacity 0.5 --aa 4 --output figure.png surface.klein\n"
      "\n"
      "Exit status: 0 after a normal close; 1 when a run fails (no window, a FILE\n"
      "that cannot be drawn offscreen, an output that cannot be written, no ffmpeg);\n"
      "2 for a usage error, a bad coordinate choice or a bad view file.\n";

// The usage line of every usage error, wrapped as a terminal shows it.
void usage_help(FILE* out)
{
    const char* const lead = "usage: plexorama";
    int width = fprintf(out, "%s", lead);
    char item[64];
    for (int place = 0; place < option_row_count + 2; place++) {
        const OptionRow* row
            = place < option_row_count && (option_rows[place].flags & OPTION_USAGE) ? &option_rows[place] : nullptr;
        if (row)
            snprintf(item, sizeof item, "[--%s%s%s]", row->name, row->argument ? " " : "",
                row->argument ? row->argument : "");
        else if (place >= option_row_count)
            snprintf(item, sizeof item, "%s", place == option_row_count ? "[--]" : "[FILE]");
        else
            continue;
        if (width + 1 + static_cast<int>(strlen(item)) > 80)
            width = fprintf(out, "\n%*s", static_cast<int>(strlen(lead)), "") - 1;
        width += fprintf(out, " %s", item);
    }
    fprintf(out, "\n       plexorama");
    const char* between = " ";
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        if (row.flags & OPTION_USAGE)
            continue;
        if (row.letter)
            fprintf(out, "%s-%c | --%s", between, row.letter, row.name);
        else
            fprintf(out, "%s--%s%s%s%s", between, row.name, row.argument ? " " : "",
                row.argument ? row.argument : "", row.flags & OPTION_FILE ? " [--view FILE] FILE" : "");
        between = " | ";
    }
    fprintf(out, "\n");
}

void print_help()
{
    usage_help(stdout);
    printf("%s", help_head);
    // Help goes in a column of its own, on the next line after a long name.
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        char name[64];
        if (row.letter)
            snprintf(name, sizeof name, "-%c, --%s", row.letter, row.name);
        else
            snprintf(name, sizeof name, "--%s%s%s", row.name, row.argument ? " " : "",
                row.argument ? row.argument : "");
        int length = static_cast<int>(strlen(name));
        printf("  %s%*s", name, length <= 17 ? 18 - length : 0, "");
        if (length > 17)
            printf("\n%20s", "");
        for (const char* c = row.help; *c; c++) {
            if (*c == '\n')
                printf("\n%20s", "");
            else
                putchar(*c);
        }
        putchar('\n');
    }
    printf("%s", help_middle);
    // The actions line up after the keys, two blanks apart at the least.
    for (int k = 0; k < key_row_count; k++) {
        const KeyRow& row = key_rows[k];
        if (!row.keys || row.place == KEYS_PAGE)
            continue;
        int blanks = static_cast<int>(strlen(row.keys)) < 14 ? 16 - static_cast<int>(strlen(row.keys)) : 2;
        printf("  %s%*s%s\n", row.keys, row.help[0] ? blanks : 0, "", row.help);
    }
    printf("%s", help_end);
}

int parse_help(int argc, char** argv, Options* options)
{
    if (const char* fault = parse_options(argc, argv, options)) {
        complain_log("%s", fault);
        usage_help(stderr);
        return 2;
    }
    if (options->help)
        print_help();
    else if (options->version)
        printf("plexorama %s\n", PLEXORAMA_VERSION);
    return options->help || options->version ? 0 : -1;
}
