// walk.cpp: the archive stream walker shared by the stub and qoxpack.
#include "walk.h"
#include "szdd.h"

long walk_length(const unsigned char *head, int n)
{
    szdd_header h;
    if (n < 0 || szdd_read_header(head, (size_t)n, &h) != szdd_ok || h.length > 0x7fffffffu)
        return -1;
    return (long)h.length;
}

void walk_start(archive_walk *w, qfile file, long end)
{
    w->file = file;
    w->pos = 0;
    w->end = end;
}

// Reads at most `count` bytes, never past the stream's end.
static int read_some(archive_walk *w, void *buf, int count)
{
    long left = w->end - w->pos;
    if (count > left)
        count = (int)left;
    if (count <= 0)
        return 0;
    int got = os_read(w->file, buf, count);
    if (got > count)
        got = -1;               // a platform answer no buffer can hold
    if (got > 0)
        w->pos += got;
    return got;
}

// Reads exactly `count` bytes unless the stream ends or fails first.
static int read_full(archive_walk *w, unsigned char *buf, int count)
{
    int have = 0;
    while (have < count) {
        int got = read_some(w, buf + have, count - have);
        if (got <= 0)
            break;
        have += got;
    }
    return have;
}

int walk_name(archive_walk *w, char *name)
{
    int got = read_some(w, name, name_read);
    if (got == 0)               // a stream that ends before its length is cut
        return w->pos < w->end ? walk_damaged : walk_end;
    if (got < 0)
        return walk_damaged;
    int len = 0;
    while (len < got && name[len])
        len++;
    if (len == got) {           // no zero byte among the bytes read
        name[got < name_space ? got : name_space - 1] = 0;
        return walk_damaged;
    }
    // Back to just after the name's zero byte.
    long back = got - len - 1;
    if (back > 0) {
        if (os_seek(w->file, -back, seek_cur) < 0)
            return walk_damaged;
        w->pos -= back;
    }
    return walk_ok;
}

static uint32_t le32(const unsigned char *p)
{
    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int walk_header(archive_walk *w, uint32_t *time_block, int32_t *size)
{
    unsigned char b[4];
    *time_block = 0;
    *size = 0;
    if (read_full(w, b, 4) < 4)
        return walk_damaged;
    *time_block = le32(b);
    if (read_full(w, b, 4) < 4)
        return walk_damaged;
    *size = (int32_t)le32(b);
    return walk_ok;
}

int walk_data(archive_walk *w, void *buf, int count)
{
    if (count > data_block)
        count = data_block;
    return read_some(w, buf, count);
}
