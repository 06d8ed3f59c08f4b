// main.cpp (POSIX): the process entry. Hands over to the installer's
// WinMain as Windows would: no instances, the arguments as one command line
// (which the installer ignores), show state SW_SHOW.
#include <signal.h>
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
    // Past a file size limit a write must fail, as on a full disk, and be
    // answered as one, rather than end the process half-way. Programs the
    // installer starts get every signal's default action back.
    signal(SIGXFSZ, SIG_IGN);
    return WinMain(0, 0, line, 5);
}
