// shell.cpp: the shell's "open" over POSIX (programs and scripts are started,
// anything else goes to xdg-open), and the /proc scan that tells whether a
// file is in use by any process.
#include "platform.h"
#include "sys.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

// ---- files in use -----------------------------------------------------------

enum { proc_path = 64 + path_max };

static char *append(char *p, const char *s)
{
    while (*s)
        *p++ = *s++;
    *p = 0;
    return p;
}

// Device and inode decide, so any name of the file (a link, a path relative to
// another process's directory) is recognised.
static bool same_file(const char *path, const struct stat *st)
{
    struct stat s;
    return sys.stat(path, &s) == 0 && s.st_dev == st->st_dev && s.st_ino == st->st_ino;
}

// One line of /proc/PID/maps: "start-end perms offset dev inode   path". The
// inode is compared first so that only a likely match costs a stat.
static bool map_line_holds(char *line, const struct stat *st)
{
    char *p = line;
    for (int field = 0; field < 4; field++) {
        while (*p && *p != ' ')
            p++;
        while (*p == ' ')
            p++;
    }
    unsigned long long ino = 0;
    while (*p >= '0' && *p <= '9')
        ino = ino * 10 + (unsigned)(*p++ - '0');
    if (ino != (unsigned long long)st->st_ino)
        return false;
    while (*p == ' ')
        p++;
    return *p == '/' && same_file(p, st);
}

static bool maps_hold(const char *dir, const struct stat *st)
{
    char path[proc_path];
    append(append(path, dir), "/maps");
    int fd = sys.open(path, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    char buf[8192];
    int len = 0;
    bool held = false;
    while (!held) {
        ssize_t k = sys.read(fd, buf + len, sizeof buf - 1 - len);
        if (k <= 0)
            break;
        len += (int)k;
        buf[len] = 0;
        char *line = buf, *nl;
        while (!held && (nl = strchr(line, '\n')) != 0) {
            *nl = 0;
            held = map_line_holds(line, st);
            line = nl + 1;
        }
        len = (int)(buf + len - line);
        if (len == (int)sizeof buf - 1)
            len = 0;         // a line longer than the buffer names no file of ours
        memmove(buf, line, len);
    }
    sys.close(fd);
    return held;
}

// An interpreter names the script it runs on its command line, from its start
// on, whether or not it keeps the script open. Relative names resolve against
// the process's own directory.
static bool command_names(const char *dir, const char *base, const struct stat *st)
{
    char path[proc_path], args[4096];
    append(append(path, dir), "/cmdline");
    int fd = sys.open(path, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int n = 0;
    ssize_t k;
    while (n < (int)sizeof args - 1 && (k = sys.read(fd, args + n, sizeof args - 1 - n)) > 0)
        n += (int)k;
    sys.close(fd);
    args[n] = 0;
    for (char *a = args; a < args + n; a += strlen(a) + 1) {
        const char *b = strrchr(a, '/');
        if (strcmp(b ? b + 1 : a, base) != 0)
            continue;
        if (a[0] != '/')
            append(append(append(path, dir), "/cwd/"), a);
        if (same_file(a[0] == '/' ? a : path, st))
            return true;
    }
    return false;
}

static bool process_holds(const char *dir, const char *base, const struct stat *st, bool own)
{
    char path[proc_path];
    append(append(path, dir), "/exe");
    if (same_file(path, st))
        return true;
    char *end = append(append(path, dir), "/fd");
    DIR *d = sys.opendir(path);
    bool held = false;
    if (d) {
        struct dirent *e;
        *end++ = '/';
        while (!held && (e = sys.readdir(d)) != 0) {
            if (e->d_name[0] != '.') {
                append(end, e->d_name);
                held = same_file(path, st);
            }
        }
        sys.closedir(d);
    }
    // Our own command line names the installer, never a script it runs; read
    // against the target directory it could name an entry by chance.
    return held || maps_hold(dir, st) || (!own && command_names(dir, base, st));
}

bool file_in_use(const char *real, const struct stat *st, bool names_only)
{
    const char *base = strrchr(real, '/');
    base = base ? base + 1 : real;
    DIR *proc = sys.opendir("/proc");
    if (!proc)
        return false;
    bool used = false;
    struct dirent *e;
    long self = (long)getpid();
    while (!used && (e = sys.readdir(proc)) != 0) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9' || strlen(e->d_name) > 20)
            continue;
        long pid = 0;
        for (const char *c = e->d_name; *c >= '0' && *c <= '9'; c++)
            pid = pid * 10 + (*c - '0');
        char dir[64];
        append(append(dir, "/proc/"), e->d_name);
        if (names_only)
            used = pid != self && command_names(dir, base, st);
        else
            used = process_holds(dir, base, st, pid == self);
    }
    sys.closedir(proc);
    return used;
}

// ---- the shell ----------------------------------------------------------------

// Starts `file` through a middle process that ends as soon as the program's
// image is in place (posix_spawn returns after the exec), so the program is
// adopted by init and never lingers as our zombie, and no signal setting of
// ours changes. The program gets the default signal actions, no blocked
// signals, and /dev/null as input so that it cannot take the installer's.
static void start(const char *file, char *const argv[], int search)
{
    pid_t mid = sys.fork();
    if (mid == 0) {
        posix_spawn_file_actions_t fa;
        posix_spawnattr_t attr;
        sigset_t all, none;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawnattr_init(&attr);
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t pid;
        _exit(sys.spawn(&pid, file, &fa, &attr, argv, environ, search) == 0 ? 0 : 127);
    }
    int status;
    while (mid > 0 && sys.waitpid(mid, &status, 0) < 0 && errno == EINTR) {
    }
}

// An ELF file or a "#!" script is a program: it is made executable for its
// owner (archives do not carry the mode) and started. Anything else, a
// directory included, is handed to xdg-open; a missing name opens nothing.
void os_shell_open(const char *path)
{
    char real[path_max];
    struct stat st;
    if (!path_resolve(path, real) || sys.stat(real, &st) < 0)
        return;
    unsigned char head[4] = {0, 0, 0, 0};
    if (S_ISREG(st.st_mode)) {
        int fd = sys.open(real, O_RDONLY | O_CLOEXEC, 0);
        if (fd >= 0) {
            sys.read(fd, head, sizeof head);
            sys.close(fd);
        }
    }
    bool program = memcmp(head, "\177ELF", 4) == 0 || (head[0] == '#' && head[1] == '!');
    if (program) {
        if (!(st.st_mode & S_IXUSR))
            sys.chmod(real, (st.st_mode & 07777) | S_IXUSR);
        char *argv[] = {real, 0};
        start(real, argv, 0);
    } else {
        char *argv[] = {(char *)"xdg-open", real, 0};
        start("xdg-open", argv, 1);
    }
}
