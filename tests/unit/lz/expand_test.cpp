// expand_test.cpp: the expander on its own: header checks, hand-made
// streams with known output, streaming through odd read sizes, and hostile
// input (cut short, bad header, garbage, failing reads and writes).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "synth.h"
#include "szdd.h"
#include "szdd_pack.h"

namespace {

// A stream held in memory, handed out at most `chunk` bytes per read.
struct source {
    const bytes *data;
    size_t pos = 0;
    int chunk = 1 << 30;
    int fail_at = -1;      // the read that fails, counting from 0
    int reads = 0;
    int overclaim = 0;     // extra bytes claimed on each read
};

int read_source(void *ctx, uint8_t *buf, int n)
{
    auto *s = static_cast<source *>(ctx);
    if (s->reads++ == s->fail_at)
        return -1;
    size_t k = std::min({size_t(n), size_t(s->chunk), s->data->size() - s->pos});
    if (k)
        std::memcpy(buf, s->data->data() + s->pos, k);
    s->pos += k;
    return int(k) + (k ? s->overclaim : 0);
}

struct sink {
    bytes data;
    int fail_at = -1;      // the write that fails, counting from 0
    int writes = 0;
    size_t largest = 0;
};

int write_sink(void *ctx, const uint8_t *buf, int n)
{
    auto *s = static_cast<sink *>(ctx);
    if (s->writes++ == s->fail_at)
        return -1;
    s->largest = std::max(s->largest, size_t(n));
    s->data.insert(s->data.end(), buf, buf + n);
    return 0;
}

struct result {
    int status;
    uint32_t written;
    bytes out;
    size_t largest_write;
};

result expand(const bytes &stream, int chunk = 1 << 30)
{
    auto work = std::make_unique<szdd_work>();
    source src{&stream};
    src.chunk = chunk;
    sink dst;
    uint32_t written = 12345;
    int st = szdd_expand(read_source, &src, write_sink, &dst, work.get(), &written);
    return {st, written, dst.data, dst.largest};
}

bytes header(uint32_t length, uint8_t mode = 'A')
{
    bytes h(szdd_header_size);
    szdd_write_header(h.data(), '_', length);
    h[8] = mode;
    return h;
}

bytes text(const char *s) { return bytes(s, s + std::strlen(s)); }

// What mscompress wrote for "hello hello hello world\n": literals, then one
// overlapping match (ring position 0xFF0, length 12), then literals.
const bytes hello_stream = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33, 0x41, 0x00, 0x18,
                            0x00, 0x00, 0x00, 0xBF, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x20, 0xF0,
                            0xF9, 0x77, 0x1F, 0x6F, 0x72, 0x6C, 0x64, 0x0A};

TEST(SzddHeader, WritesAndReadsBack)
{
    uint8_t p[szdd_header_size];
    szdd_write_header(p, 'x', 0x89ABCDEFu);
    EXPECT_EQ(0, std::memcmp(p, "SZDD\x88\xF0\x27\x33" "A", 9));
    EXPECT_EQ(p[9], 'x');
    EXPECT_EQ(p[10], 0xEF);
    EXPECT_EQ(p[13], 0x89);
    szdd_header h{};
    ASSERT_EQ(szdd_ok, szdd_read_header(p, sizeof p, &h));
    EXPECT_EQ(h.last_char, 'x');
    EXPECT_EQ(h.length, 0x89ABCDEFu);
}

TEST(SzddHeader, RejectsWhatIsNoModeAHeader)
{
    bytes good = header(100);
    struct {
        bytes head;
        int status;
    } cases[] = {
        {{}, szdd_bad_signature},
        {text("MZ\x90"), szdd_bad_signature},
        {bytes(good.begin(), good.begin() + 5), szdd_truncated},
        {bytes(good.begin(), good.begin() + 13), szdd_truncated},
        {header(100, 'B'), szdd_bad_mode},
        {bytes(good.begin(), good.begin() + 9), szdd_truncated},
        {text("KWAJ\x88\xF0\x27\xD1\x01\x00"), szdd_bad_signature},
    };
    cases[5].head[8] = 'C'; // the mode is judged as soon as it is there
    cases[5].status = szdd_bad_mode;
    for (auto &c : cases) {
        szdd_header h{};
        EXPECT_EQ(c.status, szdd_read_header(c.head.data(), c.head.size(), &h)) << c.head.size();
        EXPECT_EQ(c.status, expand(c.head).status) << c.head.size();
    }
}

TEST(SzddHeader, EveryStatusHasItsOwnMessage)
{
    int all[] = {szdd_ok, szdd_bad_signature, szdd_bad_mode, szdd_truncated, szdd_read_error,
                 szdd_write_error};
    for (int a : all)
        for (int b : all)
            if (a != b)
                EXPECT_STRNE(szdd_message(a), szdd_message(b));
    EXPECT_NE(std::string(szdd_message(szdd_bad_signature)).find("signature"), std::string::npos);
}

TEST(SzddExpand, DecodesAStreamMadeByAnotherCompressor)
{
    result r = expand(hello_stream);
    ASSERT_EQ(szdd_ok, r.status) << szdd_message(r.status);
    EXPECT_EQ(r.written, 24u);
    EXPECT_EQ(r.out, text("hello hello hello world\n"));
}

TEST(SzddExpand, RingStartsFullOfSpaces)
{
    // "ab", then 18 bytes from ring position 0 (never written: spaces), then
    // the three bytes from the first write position 0xFF0 ("ab" and a space)
    bytes s = header(23);
    s.insert(s.end(), {0x03, 'a', 'b', 0x00, 0x0F, 0xF0, 0xF0});
    result r = expand(s);
    ASSERT_EQ(szdd_ok, r.status);
    EXPECT_EQ(r.out, text("ab                  ab "));
}

TEST(SzddExpand, MatchAWholeRingBack)
{
    // 4096 literals, then a match naming the ring position about to be
    // written: the byte written 4096 positions earlier, and on from there.
    synth_rng rng(7);
    bytes data = synth_noise(rng, 4096);
    bytes s = header(4096 + 18);
    for (size_t i = 0; i < 4096; i += 8) {
        s.push_back(0xFF);
        s.insert(s.end(), data.begin() + long(i), data.begin() + long(i) + 8);
    }
    unsigned ring = (szdd_ring_start + 4096) & 0xFFF;
    s.insert(s.end(), {0x00, uint8_t(ring), uint8_t((ring >> 4 & 0xF0) | 15)});
    result r = expand(s);
    ASSERT_EQ(szdd_ok, r.status);
    bytes want = data;
    want.insert(want.end(), data.begin(), data.begin() + 18);
    EXPECT_EQ(r.out, want);
}

TEST(SzddExpand, ReadSizesDoNotChangeTheOutput)
{
    bytes data = synth_archive(3, 300000);
    bytes stream = szdd_compress(data.data(), data.size());
    for (int chunk : {1, 2, 3, 17, 4096, 1 << 30}) {
        result r = expand(stream, chunk);
        ASSERT_EQ(szdd_ok, r.status) << chunk;
        EXPECT_EQ(r.written, data.size());
        EXPECT_TRUE(r.out == data) << "chunk " << chunk;
        EXPECT_LE(r.largest_write, size_t(szdd_block + szdd_max_match));
    }
}

TEST(SzddExpand, EmptyDataNeedsNoCompressedBytes)
{
    result r = expand(header(0));
    EXPECT_EQ(szdd_ok, r.status);
    EXPECT_EQ(r.written, 0u);
    EXPECT_TRUE(r.out.empty());
}

TEST(SzddExpand, StopsAtTheExpandedLength)
{
    bytes data = synth_archive(5, 70000);
    bytes stream = szdd_compress(data.data(), data.size());

    // bytes after the compressed data, as a signature would add, are never
    // decoded, however they look
    bytes tail = stream;
    synth_rng rng(9);
    bytes junk = synth_noise(rng, 5000);
    tail.insert(tail.end(), junk.begin(), junk.end());
    result r = expand(tail);
    ASSERT_EQ(szdd_ok, r.status);
    EXPECT_TRUE(r.out == data);

    // a header that announces less yields exactly that much, even when the
    // last match reaches further
    for (uint32_t n : {0u, 1u, 4096u, 50001u}) {
        bytes shorter = stream;
        bytes h = header(n);
        std::copy(h.begin(), h.end(), shorter.begin());
        r = expand(shorter);
        ASSERT_EQ(szdd_ok, r.status);
        EXPECT_TRUE(r.out == bytes(data.begin(), data.begin() + n)) << n;
    }
}

TEST(SzddExpand, StreamCutAnywhereIsTruncated)
{
    bytes data = text("It was the best of times, it was the worst of times, it was the age "
                      "of wisdom, it was the age of foolishness, it was the epoch of belief.");
    bytes stream = szdd_compress(data.data(), data.size());
    for (size_t cut = 0; cut < stream.size(); cut++) {
        bytes part(stream.begin(), stream.begin() + long(cut));
        result r = expand(part, 3);
        EXPECT_EQ(cut == 0 ? szdd_bad_signature : szdd_truncated, r.status) << cut;
        // what came out before the end is right as far as it goes
        ASSERT_LE(r.out.size(), data.size());
        EXPECT_EQ(r.written, r.out.size());
        EXPECT_TRUE(std::equal(r.out.begin(), r.out.end(), data.begin())) << cut;
    }
}

TEST(SzddExpand, LengthBeyondTheDataIsTruncated)
{
    bytes data(1000, 'q');
    bytes stream = szdd_compress(data.data(), data.size());
    bytes h = header(1001);
    std::copy(h.begin(), h.end(), stream.begin());
    result r = expand(stream);
    EXPECT_EQ(szdd_truncated, r.status);
    EXPECT_EQ(r.out.size(), 1000u);

    r = expand(header(0xFFFFFFFFu));
    EXPECT_EQ(szdd_truncated, r.status);
    EXPECT_EQ(r.written, 0u);
}

TEST(SzddExpand, ArbitraryBytesDecodeToTheLengthOrEndTruncated)
{
    // Random compressed data names every ring position and length; the
    // expander must stay in its buffers and yield exactly the length.
    synth_rng rng(11);
    for (int i = 0; i < 40; i++) {
        uint32_t length = rng.below(200000);
        bytes s = header(length);
        bytes body = synth_noise(rng, rng.below(60000));
        s.insert(s.end(), body.begin(), body.end());
        result r = expand(s, int(1 + rng.below(20000)));
        if (r.status == szdd_ok)
            EXPECT_EQ(r.out.size(), length);
        else
            EXPECT_EQ(szdd_truncated, r.status);
        EXPECT_EQ(r.written, r.out.size());
        EXPECT_LE(r.out.size(), length);
    }
}

TEST(SzddExpand, ReportsFailedReadsAndWrites)
{
    bytes data = synth_archive(4, 200000);
    bytes stream = szdd_compress(data.data(), data.size());
    auto work = std::make_unique<szdd_work>();
    uint32_t written;

    for (int at : {0, 1, 5}) {
        source src{&stream};
        src.chunk = 16384;
        src.fail_at = at;
        sink dst;
        EXPECT_EQ(szdd_read_error,
                  szdd_expand(read_source, &src, write_sink, &dst, work.get(), &written)) << at;
    }
    {
        // a reader claiming more bytes than it had room for
        source src{&stream};
        src.chunk = 16384;
        src.overclaim = 1 << 20;
        sink dst;
        EXPECT_EQ(szdd_read_error,
                  szdd_expand(read_source, &src, write_sink, &dst, work.get(), &written));
    }
    for (int at : {0, 1}) {
        source src{&stream};
        sink dst;
        dst.fail_at = at;
        EXPECT_EQ(szdd_write_error,
                  szdd_expand(read_source, &src, write_sink, &dst, work.get(), &written)) << at;
        EXPECT_EQ(written, dst.data.size());
    }
}

} // namespace
