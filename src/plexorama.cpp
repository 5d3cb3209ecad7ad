// The viewer's entry point; everything else lives in the modules.
#include "main.h"

int main()
{
    Options options = {nullptr, -1};
    return run_main(&options);
}
