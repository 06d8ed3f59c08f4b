// Stands in for the installer behind the POSIX entry point: reports what
// main handed over and returns a result main must pass on.
#include <cstdio>
#include "platform.h"

int QWINAPI WinMain(qinst inst, qinst prev, char *cmdline, int show)
{
    printf("instances %d %d, command line [%s], show %d\n", inst != nullptr,
           prev != nullptr, cmdline, show);
    return 7;
}
