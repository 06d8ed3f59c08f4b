// sys.h: the one table through which the POSIX backend reaches the OS, and
// the few helpers its files share. Tests swap entries of `sys` to provoke a
// full disk, a file that cannot be created, a failed launch or removal.
#ifndef QOX_SYS_H
#define QOX_SYS_H

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

struct sys_calls {
    int (*open)(const char *path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void *buf, size_t n);
    ssize_t (*write)(int fd, const void *buf, size_t n);
    int (*close)(int fd);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*stat)(const char *path, struct stat *st);
    int (*unlink)(const char *path);
    int (*mkdir)(const char *path, mode_t mode);
    int (*chdir)(const char *path);
    int (*rmdir)(const char *path);
    int (*chmod)(const char *path, mode_t mode);
    int (*utimensat)(int dirfd, const char *path, const struct timespec t[2], int flags);
    DIR *(*opendir)(const char *path);
    struct dirent *(*readdir)(DIR *d);
    int (*closedir)(DIR *d);
    ssize_t (*readlink)(const char *path, char *buf, size_t size);
    char *(*getcwd)(char *buf, size_t size);
    pid_t (*fork)(void);
    pid_t (*waitpid)(pid_t pid, int *status, int options);
    // posix_spawn or posix_spawnp: `search` picks the PATH lookup.
    int (*spawn)(pid_t *pid, const char *path, const posix_spawn_file_actions_t *fa,
                 const posix_spawnattr_t *attr, char *const argv[], char *const envp[],
                 int search);
    int (*fcntl)(int fd, int cmd, int arg);
};

// The live table. sys_reset() puts the real calls back.
extern struct sys_calls sys;
void sys_reset(void);

// ---- shared within the backend ---------------------------------------------

enum { path_max = 4096 };

// Copies `path` into `out` (path_max bytes) with '\\' turned into '/', and
// resolves every level that does not exist exactly as written to an entry of
// its directory whose name matches it without regard to ASCII case. A level
// that matches nothing, and everything after it, is kept as written, so a
// new name is created as given. False when the path does not fit.
bool path_resolve(const char *path, char *out);

// True when some process (this one included) runs the file `real` (whose
// status is `st`) as its image, holds it open, has it mapped, or names it on
// its command line, as an interpreter names the script it runs. Found
// through /proc; false when /proc cannot be read. With `names_only` the
// command lines alone are read: for a caller that already knows that no
// open file refers to it anywhere.
bool file_in_use(const char *real, const struct stat *st, bool names_only);

// Writes out what a handle still buffers. 0, or -1 when a write failed now or
// earlier on this handle.
int file_flush(int f);

#endif
