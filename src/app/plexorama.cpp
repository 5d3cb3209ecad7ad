// The viewer's entry point; everything else lives in the modules.
#include "app/main.h"
#include "app/help.h"

int main(int argc, char** argv)
{
    Options options;
    int answered = parse_help(argc, argv, &options);
    if (answered >= 0)
        return answered;
    return run_main(&options);
}
