// main.cpp (POSIX): the process entry. Hands over to the installer's
// WinMain as Windows would: no instances, the arguments as one command line
// (which the installer ignores), show state SW_SHOW.
#include "platform.h"

int QWINAPI WinMain(qinst, qinst, char *, int);

int main(int argc, char **argv)
{
    static char line[1024];            // longer command lines are cut
    int n = 0;
    for (int i = 1; i < argc; i++) {
        if (i > 1 && n < (int)sizeof line - 1)
            line[n++] = ' ';
        for (const char *s = argv[i]; *s && n < (int)sizeof line - 1; s++)
            line[n++] = *s;
    }
    line[n] = 0;
    return WinMain(0, 0, line, 5);
}
