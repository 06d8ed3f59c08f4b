// sys.cpp: the real OS calls behind the POSIX backend's table.
#include "sys.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

static int real_open(const char *path, int flags, mode_t mode)
{
    return open(path, flags, mode);
}

static int real_spawn(pid_t *pid, const char *path, const posix_spawn_file_actions_t *fa,
                      const posix_spawnattr_t *attr, char *const argv[], char *const envp[],
                      int search)
{
    return search ? posix_spawnp(pid, path, fa, attr, argv, envp)
                  : posix_spawn(pid, path, fa, attr, argv, envp);
}

static int real_fcntl(int fd, int cmd, int arg)
{
    return fcntl(fd, cmd, arg);
}

static const struct sys_calls real_calls = {
    real_open, read, write, close, lseek, stat, unlink, mkdir, chdir, rmdir,
    chmod, utimensat, opendir, readdir, closedir, readlink, getcwd, fork,
    waitpid, real_spawn, real_fcntl,
};

struct sys_calls sys = real_calls;

void sys_reset(void)
{
    sys = real_calls;
}
