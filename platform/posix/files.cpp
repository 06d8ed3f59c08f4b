// files.cpp: the POSIX backend's files, directories, times and names: a fixed
// table of buffered handles, case-blind name lookup, DOS time blocks.
#include "platform.h"
#include "sys.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

const char os_sep = '/';

// ---- handles ----------------------------------------------------------------

enum {
    slots = 8,               // handles open at once; the installer needs four
    slot_buffer = 65536      // so that 256-byte reads and writes seldom reach the OS
};

enum { mode_idle, mode_read, mode_write };

struct handle {
    bool used;               // the slot holds an open file
    bool failed;             // a write failed: later writes and the close report it
    int fd;                  // the OS descriptor
    int mode;                // mode_idle, mode_read or mode_write
    long base;               // file offset of buf[0]; the OS position unless reading
    int len;                 // reading: bytes held in buf; writing: bytes not yet written
    int at;                  // reading: the position within buf
    unsigned char buf[slot_buffer];
};

static handle table[slots];

static handle *slot(qfile f)
{
    if (f < 0 || f >= slots || !table[f].used)
        return 0;
    return &table[f];
}

static long position(const handle *h)
{
    if (h->mode == mode_read)
        return h->base + h->at;
    if (h->mode == mode_write)
        return h->base + h->len;
    return h->base;
}

static int write_all(int fd, const unsigned char *p, int n)
{
    while (n > 0) {
        ssize_t k = sys.write(fd, p, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)          // a write that stores nothing would loop forever
            return -1;
        p += k;
        n -= (int)k;
    }
    return 0;
}

// Writes the pending bytes at the OS position. Once a write has failed the
// bytes are dropped: the file has a gap, and the handle says so to the end.
static int flush(handle *h)
{
    if (h->mode == mode_write && h->len > 0) {
        if (!h->failed && write_all(h->fd, h->buf, h->len) < 0)
            h->failed = true;
        h->base += h->len;
        h->len = 0;
    }
    return h->failed ? -1 : 0;
}

// Empties the buffer and puts the OS position at `pos`; a seek reaches the
// OS only when the position is not already there.
static int move_to(handle *h, long pos)
{
    long os_pos = h->mode == mode_read ? h->base + h->len : h->base;
    if (h->mode == mode_write && flush(h) < 0)
        os_pos = -1;         // after a failed write the OS position is unknown
    else if (h->mode == mode_write)
        os_pos = h->base;
    h->mode = mode_idle;
    h->base = pos;
    h->len = h->at = 0;
    if (os_pos != pos && sys.lseek(h->fd, pos, SEEK_SET) < 0)
        return -1;
    return 0;
}

int file_flush(int f)
{
    handle *h = slot(f);
    return h ? flush(h) : -1;
}

static qfile open_slot(const char *path, int flags)
{
    int i = 0;
    while (i < slots && table[i].used)
        i++;
    char real[path_max];
    struct stat st;
    if (i == slots || !path_resolve(path, real))
        return qfile_bad;
    // Directories open for reading on POSIX; on Windows they do not.
    if (!(flags & O_CREAT) && (sys.stat(real, &st) < 0 || S_ISDIR(st.st_mode)))
        return qfile_bad;
    // Close-on-exec: a program we start must not hold our files, or it would
    // keep them from being deleted.
    int fd = sys.open(real, flags | O_CLOEXEC, 0666);
    if (fd < 0)
        return qfile_bad;
    handle *h = &table[i];
    h->used = true;
    h->failed = false;
    h->fd = fd;
    h->mode = mode_idle;
    h->base = 0;
    h->len = h->at = 0;
    return i;
}

qfile os_open(const char *path)
{
    return open_slot(path, O_RDONLY);
}

// Read and write, as the LZ service reads back the destination it wrote.
qfile os_create(const char *path)
{
    return open_slot(path, O_RDWR | O_CREAT | O_TRUNC);
}

int os_read(qfile f, void *buf, int count)
{
    handle *h = slot(f);
    if (!h || count < 0)
        return -1;
    if (h->mode != mode_read) {
        if (move_to(h, position(h)) < 0)
            return -1;
        h->mode = mode_read;
    }
    unsigned char *out = (unsigned char *)buf;
    int got = 0;
    while (got < count) {
        if (h->at == h->len) {
            h->base += h->len;
            h->len = h->at = 0;
            ssize_t k;
            do
                k = sys.read(h->fd, h->buf, slot_buffer);
            while (k < 0 && errno == EINTR);
            if (k < 0)
                return got ? got : -1;
            if (k == 0)
                break;
            h->len = (int)k;
        }
        int n = count - got;
        if (n > h->len - h->at)
            n = h->len - h->at;
        memcpy(out + got, h->buf + h->at, n);
        h->at += n;
        got += n;
    }
    return got;
}

int os_write(qfile f, const void *buf, int count)
{
    handle *h = slot(f);
    if (!h || count < 0 || h->failed)
        return -1;
    if (h->mode != mode_write) {
        if (move_to(h, position(h)) < 0)
            return -1;
        h->mode = mode_write;
    }
    const unsigned char *in = (const unsigned char *)buf;
    int put = 0;
    while (put < count) {
        if (h->len == slot_buffer && flush(h) < 0)
            return -1;
        int n = count - put;
        if (n > slot_buffer - h->len)
            n = slot_buffer - h->len;
        memcpy(h->buf + h->len, in + put, n);
        h->len += n;
        put += n;
    }
    return count;
}

long os_seek(qfile f, long offset, int origin)
{
    handle *h = slot(f);
    if (!h || (origin != seek_set && origin != seek_cur))
        return -1;
    long to = origin == seek_set ? offset : position(h) + offset;
    if (to < 0)
        return -1;
    // Within what a read buffered: no OS call.
    if (h->mode == mode_read && to >= h->base && to <= h->base + h->len) {
        h->at = (int)(to - h->base);
        return to;
    }
    if (to == position(h))
        return to;
    return move_to(h, to) < 0 ? -1 : to;
}

int os_close(qfile f)
{
    handle *h = slot(f);
    if (!h)
        return -1;
    int rc = flush(h);
    if (sys.close(h->fd) < 0)
        rc = -1;
    h->used = false;
    return rc;
}

// ---- names ------------------------------------------------------------------

static bool same_name(const char *a, const char *b)
{
    for (;; a++, b++) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z')
            x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z')
            y += 'a' - 'A';
        if (x != y)
            return false;
        if (!x)
            return true;
    }
}

// Replaces the level `name` (zero-terminated, inside `path`) with the first
// entry of its directory that matches it without regard to ASCII case; the
// match has the same length, so it is written over the level in place.
static bool match_level(char *path, char *name)
{
    char first = *name;
    *name = 0;
    DIR *d = sys.opendir(name == path ? "." : path);
    *name = first;
    if (!d)
        return false;
    bool found = false;
    struct dirent *e;
    while (!found && (e = sys.readdir(d)) != 0) {
        if (same_name(e->d_name, name)) {
            memcpy(name, e->d_name, strlen(name));
            found = true;
        }
    }
    sys.closedir(d);
    return found;
}

bool path_resolve(const char *path, char *out)
{
    size_t n = strlen(path);
    if (n >= path_max)
        return false;
    for (size_t i = 0; i <= n; i++)
        out[i] = path[i] == '\\' ? '/' : path[i];
    struct stat st;
    if (n == 0 || sys.stat(out, &st) == 0)
        return true;
    // Level by level; an exact name wins over one that differs in case.
    char *p = out;
    for (;;) {
        while (*p == '/')
            p++;
        if (!*p)
            return true;
        char *end = p;
        while (*end && *end != '/')
            end++;
        char keep = *end;
        *end = 0;
        bool found = sys.stat(out, &st) == 0 || match_level(out, p);
        *end = keep;
        if (!found)
            return true;
        p = end;
    }
}

// ---- directories and whole files ---------------------------------------------

static void copy_text(char *buf, int size, const char *text)
{
    if (size <= 0)
        return;
    int i = 0;
    for (; i < size - 1 && text[i]; i++)
        buf[i] = text[i];
    buf[i] = 0;
}

void os_own_path(qinst, char *buf, int size)
{
    if (size <= 0)
        return;
    ssize_t n = sys.readlink("/proc/self/exe", buf, size - 1);
    buf[n > 0 ? n : 0] = 0;
}

void os_windows_dir(char *buf, int size)
{
    copy_text(buf, size, "/tmp");
}

void os_current_dir(char *buf, int size)
{
    if (size > 0 && !sys.getcwd(buf, size))
        buf[0] = 0;
}

// True when no open file refers to the regular file `real` anywhere: no
// descriptor, no mapping, no running image, in any process. The kernel grants
// a write lease only then, and it looks at the file itself, which is far
// cheaper than reading every process's descriptors and maps. Anything else
// (a lease refused, leases not supported, a file we may not open) proves
// nothing, and the caller scans.
static bool held_by_none(const char *real, const struct stat *st)
{
    // Opening a FIFO or a device could block or act on it.
    if (!S_ISREG(st->st_mode))
        return false;
    int fd = sys.open(real, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Should someone open the file while the lease is held, the kernel
    // signals the holder: with a signal whose default is to be ignored, not
    // SIGIO, whose default would end the installer.
    bool none = sys.fcntl(fd, F_SETSIG, SIGURG) == 0 && sys.fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    sys.close(fd);           // which ends the lease
    return none;
}

// Clean-up deletes every expanded file, and a full scan of /proc per file
// would cost more than writing it: only the command lines, which no kernel
// count covers, are read for a file that nobody holds open.
bool os_delete(const char *path)
{
    char real[path_max];
    struct stat st;
    if (!path_resolve(path, real) || sys.stat(real, &st) < 0 || S_ISDIR(st.st_mode))
        return false;
    if (file_in_use(real, &st, held_by_none(real, &st)))
        return false;
    return sys.unlink(real) == 0;
}

bool os_mkdir(const char *path)
{
    char real[path_max];
    return path_resolve(path, real) && sys.mkdir(real, 0777) == 0;
}

bool os_chdir(const char *path)
{
    char real[path_max];
    return path_resolve(path, real) && sys.chdir(real) == 0;
}

bool os_rmdir(const char *path)
{
    char real[path_max];
    return path_resolve(path, real) && sys.rmdir(real) == 0;
}

int os_current_drive(void)
{
    return -1;
}

void os_set_drive(int)
{
}

// ---- times ------------------------------------------------------------------

static bool leap(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// A block the Windows conversion refuses (month 0 or 13-15, day 0 or past the
// month's end, hour 24-31, minute 60-63, seconds 60 or 62) is refused here
// too, and the file keeps its time.
bool os_set_time(const char *path, unsigned long dos_time)
{
    static const unsigned char days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned time = dos_time & 0xFFFF, date = (dos_time >> 16) & 0xFFFF;
    int sec = (time & 31) * 2, min = (time >> 5) & 63, hour = time >> 11;
    int day = date & 31, mon = (date >> 5) & 15, year = 1980 + (date >> 9);
    if (sec > 59 || min > 59 || hour > 23 || mon < 1 || mon > 12 || day < 1 ||
        day > days[mon - 1] + (mon == 2 && leap(year)))
        return false;
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_sec = sec;
    tm.tm_min = min;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = mon - 1;
    tm.tm_year = year - 1900;
    tm.tm_isdst = -1;        // the date's own daylight-saving rule decides
    time_t t = mktime(&tm);
    char real[path_max];
    if (t == (time_t)-1 || !path_resolve(path, real))
        return false;
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = t;
    ts[1].tv_nsec = 0;
    return sys.utimensat(AT_FDCWD, real, ts, 0) == 0;
}
