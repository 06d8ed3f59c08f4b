/* peak.c: runs a program and writes its peak resident memory (KiB) and its
 * processor time (user and system seconds, with the children it waited for)
 * to a file: peak OUT PROGRAM [ARG...]; exits as the program did.
 *
 * The kernel carries a process's peak across exec from the memory it had
 * before, so a program started straight from a large driver would show the
 * driver's size. This launcher is small and static, and it starts the
 * program with vfork: what the program inherits is this launcher's few
 * pages. */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: peak OUT PROGRAM [ARG...]\n");
        return 2;
    }
    pid_t pid = vfork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    if (pid < 0)
        return 126;
    int status;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) < 0)
        return 126;
    FILE *f = fopen(argv[1], "w");
    if (f) {
        fprintf(f, "%ld %ld.%06ld %ld.%06ld\n", ru.ru_maxrss, (long)ru.ru_utime.tv_sec,
                (long)ru.ru_utime.tv_usec, (long)ru.ru_stime.tv_sec, (long)ru.ru_stime.tv_usec);
        fclose(f);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
