// lz.cpp: the LZ service over the SZDD expander. Sources and destinations are
// ordinary handles; a source without the SZDD signature is copied unchanged,
// as the Windows service does.
#include "platform.h"
#include "sys.h"
#include "szdd.h"

#include <string.h>

// The service's error answers, with the Windows service's values.
static const long lz_bad_in = -1;       // the source handle is not open
static const long lz_bad_out = -2;      // the destination handle is not open
static const long lz_read_error = -3;   // the source could not be read, or ended early
static const long lz_write_error = -4;  // the destination could not be written
static const long lz_unknown_mode = -8; // SZDD, but not mode A

static szdd_work lz_work;    // the expander's buffers: static, the stub has no heap

struct lz_source {
    qfile f;                 // the source handle
    const uint8_t *head;     // signature bytes read ahead, handed out first
    int head_len;            // how many of them are left
};

static int lz_reader(void *ctx, uint8_t *buf, int n)
{
    lz_source *s = (lz_source *)ctx;
    if (s->head_len > 0) {
        int k = n < s->head_len ? n : s->head_len;
        memcpy(buf, s->head, k);
        s->head += k;
        s->head_len -= k;
        return k;
    }
    return os_read(s->f, buf, n);
}

static int lz_writer(void *ctx, const uint8_t *buf, int n)
{
    return os_write(*(qfile *)ctx, buf, n) == n ? 0 : -1;
}

qfile lz_open(const char *path, qofs *, int style)
{
    if (style == lz_style_read)
        return os_open(path);
    if (style == lz_style_create)
        return os_create(path);
    return qfile_bad;
}

static long plain_copy(qfile src, qfile dst, const uint8_t *head, int n)
{
    if (n > 0 && os_write(dst, head, n) != n)
        return lz_write_error;
    long total = n;
    while ((n = os_read(src, lz_work.in, sizeof lz_work.in)) > 0) {
        if (os_write(dst, lz_work.in, n) != n)
            return lz_write_error;
        total += n;
    }
    return n < 0 ? lz_read_error : total;
}

// The destination is flushed before the answer, so that a full disk is
// reported here and not only at its close.
long lz_copy(qfile src, qfile dst)
{
    if (file_flush(dst) < 0)
        return lz_bad_out;
    uint8_t head[8];
    int n = os_read(src, head, sizeof head);
    if (n < 0)
        return lz_bad_in;
    long result;
    if (n == (int)sizeof head && memcmp(head, szdd_signature, sizeof head) == 0) {
        lz_source s = {src, head, n};
        uint32_t written = 0;
        int rc = szdd_expand(lz_reader, &s, lz_writer, &dst, &lz_work, &written);
        result = rc == szdd_ok ? (long)written
               : rc == szdd_bad_mode ? lz_unknown_mode
               : rc == szdd_write_error ? lz_write_error
               : lz_read_error;
    } else {
        result = plain_copy(src, dst, head, n);
    }
    if (file_flush(dst) < 0)
        return lz_write_error;
    return result;
}

void lz_close(qfile src)
{
    os_close(src);
}

// Nothing to release: the work area is static.
void lz_done(void)
{
}
