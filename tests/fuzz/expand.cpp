// expand.cpp (fuzz): the streaming SZDD expander against the plain decoder,
// with the compressed bytes arriving in reads of a chosen size, and a read or
// a write that fails at a chosen point.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "check.h"
#include "lzref.h"
#include "szdd.h"

namespace {

struct source {
    const uint8_t *p;
    size_t n, at;
    size_t chunk;            // largest count one read yields
    long fail_at;            // a read that reaches this offset fails; -1: never
};

int read_src(void *ctx, uint8_t *buf, int n)
{
    source *s = (source *)ctx;
    size_t k = (size_t)n;
    if (k > s->chunk)
        k = s->chunk;
    if (k > s->n - s->at)
        k = s->n - s->at;
    if (s->fail_at >= 0 && k > 0 && (long)(s->at + k) > s->fail_at)
        return -1;
    memcpy(buf, s->p + s->at, k);
    s->at += k;
    return (int)k;
}

struct sink {
    std::vector<uint8_t> out;
    long fail_after;         // a write past this many bytes fails; -1: never
};

int write_sink(void *ctx, const uint8_t *buf, int n)
{
    sink *s = (sink *)ctx;
    if (s->fail_after >= 0 && (long)(s->out.size() + (size_t)n) > s->fail_after)
        return -1;
    s->out.insert(s->out.end(), buf, buf + n);
    return 0;
}

const size_t chunks[8] = {1, 2, 3, 13, 255, 4096, 16383, 1 << 30};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Two option bytes: how reads are cut (bits 0-2), whether a read (bit 3)
    // or a write (bit 4) fails, and where (the second byte).
    uint8_t opt = data[0], where = data[1];
    source src{data + 2, size - 2, 0, chunks[opt & 7], (opt & 8) ? (long)where * 64 : -1};
    sink dst{{}, (opt & 16) ? (long)where * 1024 : -1};
    static szdd_work work;
    uint32_t written = 12345;
    int rc = szdd_expand(read_src, &src, write_sink, &dst, &work, &written);

    lzref_result want = lzref_expand(src.p, src.n);
    check(written == dst.out.size());
    // Whatever was written is the beginning of the plain decoding.
    check(dst.out.size() <= want.out.size());
    check(std::equal(dst.out.begin(), dst.out.end(), want.out.begin()));
    if (rc == szdd_read_error) {
        check(src.fail_at >= 0);
        return 0;
    }
    if (rc == szdd_write_error) {
        check(dst.fail_after >= 0);
        return 0;
    }
    if (!want.header_ok) {
        check(rc == szdd_bad_signature || rc == szdd_bad_mode || rc == szdd_truncated);
        check(dst.out.empty());
        return 0;
    }
    check(rc == (want.whole ? szdd_ok : szdd_truncated));
    check(dst.out == want.out);
    if (rc == szdd_ok)
        check(written == want.length);
    return 0;
}
