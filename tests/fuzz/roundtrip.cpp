// roundtrip.cpp (fuzz): the compressor's output expands to its input, by the
// streaming expander and by the plain decoder, and is never larger than the
// input stored as literals (one flag bit per byte).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "check.h"
#include "lzref.h"
#include "szdd.h"
#include "szdd_pack.h"

namespace {

struct source {
    const std::vector<uint8_t> *in;
    size_t at;
};

int read_src(void *ctx, uint8_t *buf, int n)
{
    source *s = (source *)ctx;
    size_t k = s->in->size() - s->at < (size_t)n ? s->in->size() - s->at : (size_t)n;
    memcpy(buf, s->in->data() + s->at, k);
    s->at += k;
    return (int)k;
}

int write_out(void *ctx, const uint8_t *buf, int n)
{
    auto *out = (std::vector<uint8_t> *)ctx;
    out->insert(out->end(), buf, buf + n);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t last = size ? data[size - 1] : 0;
    std::vector<uint8_t> packed = szdd_compress(data, size, last);
    check(packed.size() <= szdd_header_size + size + (size + 7) / 8);

    szdd_header h;
    check(szdd_read_header(packed.data(), packed.size(), &h) == szdd_ok);
    check(h.length == size && h.last_char == last);

    static szdd_work work;
    std::vector<uint8_t> out;
    source src{&packed, 0};
    uint32_t written = 0;
    check(szdd_expand(read_src, &src, write_out, &out, &work, &written) == szdd_ok);
    check(written == size && out.size() == size);
    check(size == 0 || memcmp(out.data(), data, size) == 0);

    lzref_result plain = lzref_expand(packed.data(), packed.size());
    check(plain.whole && plain.out == out);
    return 0;
}
