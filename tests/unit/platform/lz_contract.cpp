// lz_contract.cpp: the LZ service as the expansion job uses it: a source
// opened for reading, a destination created through the same open-file
// record, the whole source expanded (or copied when it is not compressed),
// and the destination read back through its own handle.
#include <string>

#include "scratch.h"

namespace {

const char signature[] = "SZDD\x88\xF0\x27\x33";

std::string header(size_t length)
{
    std::string h(signature, 8);
    h += 'A';
    h += '_';
    for (int i = 0; i < 4; i++)
        h += (char)(length >> (8 * i));
    return h;
}

// A valid stream of literals only: a flag byte (bit set: literal) before
// each group of up to eight bytes.
std::string literal_stream(const std::string &data)
{
    std::string s = header(data.size());
    for (size_t i = 0; i < data.size(); i += 8) {
        size_t n = std::min<size_t>(8, data.size() - i);
        s += (char)((1u << n) - 1);
        s += data.substr(i, n);
    }
    return s;
}

class lz : public scratch {
protected:
    // Expands `src` into "out" as the installer does; the byte count or the
    // negative answer of the open or the copy. `out` receives what the
    // destination handle reads back after a seek to 0.
    long expand(const std::string &src, std::string *out)
    {
        put_file(at("in"), src);
        qofs ofs;
        qfile s = lz_open("in", &ofs, lz_style_read);
        if (s < 0)
            return s;
        qfile d = lz_open("out", &ofs, lz_style_create);
        EXPECT_GE(d, 0);
        long n = lz_copy(s, d);
        lz_close(s);
        lz_done();
        out->clear();
        EXPECT_EQ(os_seek(d, 0, seek_set), 0);
        char buf[256];
        int k;
        while ((k = os_read(d, buf, sizeof buf)) > 0)
            out->append(buf, k);
        EXPECT_EQ(os_close(d), 0);
        return n;
    }
};

TEST_F(lz, expands_matches_and_literals)
{
    // "ABC", then a match of 9 bytes at ring position 4080 (where writing
    // starts): flag 0x07, position low byte F0, high nibble F and length-3.
    std::string src = header(12) + std::string("\x07" "ABC" "\xF0\xF6", 6);
    std::string out;
    EXPECT_EQ(expand(src, &out), 12);
    EXPECT_EQ(out, "ABCABCABCABC");
}

TEST_F(lz, expands_a_stream_larger_than_any_buffer)
{
    std::string data = pattern(150000);
    std::string out;
    EXPECT_EQ(expand(literal_stream(data), &out), (long)data.size());
    EXPECT_TRUE(same_bytes(out, data));
    EXPECT_TRUE(same_bytes(get_file(at("out")), data));
}

TEST_F(lz, copies_what_is_not_compressed)
{
    for (const std::string &plain : {pattern(70000), std::string("SZDD!"), std::string("SZ"), std::string()}) {
        std::string out;
        EXPECT_EQ(expand(plain, &out), (long)plain.size());
        EXPECT_TRUE(same_bytes(out, plain));
    }
}

TEST_F(lz, an_unknown_mode_falls_short)
{
    std::string src = literal_stream("hello");
    src[8] = 'B';
    std::string out;
    EXPECT_LT(expand(src, &out), 5);   // the installer then calls the archive damaged
}

TEST_F(lz, a_missing_source_cannot_be_opened)
{
    qofs ofs;
    EXPECT_LT(lz_open("missing", &ofs, lz_style_read), 0);
}

} // namespace
