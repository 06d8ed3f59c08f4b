// selfrun.cpp: the installer of a sanitizer tree, started on a self-expanding
// file given as its first argument. A sanitized stub is far larger than the
// 32768-byte stub region, so it cannot sit in front of its own payload; this
// program takes the given file as its own (the backend finds its own file
// through readlink of /proc/self/exe) and then runs as the stub would.
//   selfrun FILE [ARGS...]
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "platform.h"
#include "sys.h"

int QWINAPI WinMain(qinst, qinst, char *, int);

static char self[PATH_MAX];

static ssize_t self_readlink(const char *path, char *buf, size_t size)
{
    if (strcmp(path, "/proc/self/exe") != 0)
        return readlink(path, buf, size);
    size_t n = strlen(self);
    if (n > size)
        n = size;
    memcpy(buf, self, n);
    return (ssize_t)n;
}

int main(int argc, char **argv)
{
    if (argc < 2 || !realpath(argv[1], self)) {
        fprintf(stderr, "usage: selfrun FILE [ARGS...]\n");
        return 2;
    }
    sys.readlink = self_readlink;
    static char line[1024];
    int n = 0;
    for (int i = 2; i < argc; i++) {
        if (i > 2 && n < (int)sizeof line - 1)
            line[n++] = ' ';
        for (const char *s = argv[i]; *s && n < (int)sizeof line - 1; s++)
            line[n++] = *s;
    }
    line[n] = 0;
    return WinMain(0, 0, line, 5);
}
