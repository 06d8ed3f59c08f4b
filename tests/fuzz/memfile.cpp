// memfile.cpp (fuzz): the in-memory file behind the backend's call table.
#include "memfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include "sys.h"

namespace {

memfile file;
off_t pos;
const int fd_mem = 1000;

int mem_stat(const char *, struct stat *st)
{
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFREG | 0644;
    st->st_size = (off_t)file.size;
    return 0;
}

int mem_open(const char *, int flags, mode_t)
{
    if (flags & (O_WRONLY | O_RDWR)) {
        errno = EROFS;
        return -1;
    }
    pos = 0;
    return fd_mem;
}

ssize_t mem_read(int fd, void *buf, size_t n)
{
    if (fd != fd_mem) {
        errno = EBADF;
        return -1;
    }
    if (file.chunk && n > file.chunk)
        n = file.chunk;
    size_t left = (size_t)pos < file.size ? file.size - (size_t)pos : 0;
    if (n > left)
        n = left;
    if (file.fail_at >= 0 && pos + (off_t)n > file.fail_at && n > 0) {
        errno = EIO;
        return -1;
    }
    memcpy(buf, file.data + pos, n);
    pos += (off_t)n;
    return (ssize_t)n;
}

off_t mem_lseek(int fd, off_t offset, int whence)
{
    off_t to = whence == SEEK_SET ? offset : whence == SEEK_CUR ? pos + offset
                                          : (off_t)file.size + offset;
    if (fd != fd_mem || to < 0) {
        errno = EINVAL;
        return -1;
    }
    pos = to;
    return pos;
}

int mem_close(int fd)
{
    return fd == fd_mem ? 0 : -1;
}

} // namespace

void memfile_on(const memfile &f)
{
    file = f;
    pos = 0;
    sys.stat = mem_stat;
    sys.open = mem_open;
    sys.read = mem_read;
    sys.lseek = mem_lseek;
    sys.close = mem_close;
}

void memfile_off()
{
    sys_reset();
}
