// selfrun.cpp: the installer of a sanitizer tree, started on a self-expanding
// file given as its first argument. A sanitized stub is far larger than the
// 32768-byte stub region, so it cannot sit in front of its own payload; this
// program takes the given file as its own (the backend finds its own file
// through readlink of /proc/self/exe) and then enters the stub's own entry
// point (platform/posix/main.cpp, built here as qox_main) with the rest of
// the arguments.
//   selfrun FILE [ARGS...]
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "sys.h"

int qox_main(int argc, char **argv);

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
    argv[1] = argv[0];
    return qox_main(argc - 1, argv + 1);
}
