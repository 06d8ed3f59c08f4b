// The archive walk over real files, read as the installer reads them.
#include <gtest/gtest.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "walk.h"

namespace {

namespace fs = std::filesystem;

std::string entry(const std::string &name, uint32_t time_block, int32_t size, const std::string &data)
{
    std::string s = name + '\0';
    for (uint32_t v : {time_block, (uint32_t)size})
        for (int i = 0; i < 4; i++)
            s += (char)(v >> (8 * i));
    return s + data;
}

struct walked {
    std::string name;
    uint32_t time_block;
    int32_t size;
    std::string data;
};

struct walk_outcome {
    std::vector<walked> entries;
    int last;   // walk_end or walk_damaged
};

class walk : public ::testing::Test {
protected:
    fs::path path = fs::temp_directory_path() / ("qox-walk-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());

    void TearDown() override { fs::remove(path); }

    // Walks `stream` up to `end` (its length when negative) like the stub:
    // whole name, header, then data in blocks until size bytes or no byte.
    walk_outcome run(const std::string &stream, long end = -1)
    {
        std::ofstream(path, std::ios::binary) << stream;
        qfile f = os_open(path.c_str());
        EXPECT_NE(f, qfile_bad);
        archive_walk w;
        walk_start(&w, f, end < 0 ? (long)stream.size() : end);
        walk_outcome out;
        char name[name_space];
        for (;;) {
            int r = walk_name(&w, name);
            if (r != walk_ok) {
                out.last = r;
                break;
            }
            walked e{name, 0, 0, ""};
            r = walk_header(&w, &e.time_block, &e.size);
            if (r != walk_ok) {
                out.entries.push_back(e);
                out.last = r;
                break;
            }
            char block[data_block];
            for (int32_t left = e.size; left > 0;) {
                int got = walk_data(&w, block, left < data_block ? left : data_block);
                if (got <= 0)
                    break;
                e.data.append(block, got);
                left -= got;
            }
            out.entries.push_back(e);
        }
        os_close(f);
        return out;
    }
};

TEST_F(walk, empty_stream_has_no_entry)
{
    walk_outcome o = run("");
    EXPECT_TRUE(o.entries.empty());
    EXPECT_EQ(o.last, walk_end);
}

TEST_F(walk, entries_read_from_the_right_bytes)
{
    std::string big(1000, 'x');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)(i * 7);
    std::string name255(255, 'N');
    std::string s = entry("SETUP.EXE", 0x12345678, (int32_t)big.size(), big) +
                    entry("EMPTY", 0x5a5a0001, 0, "") +
                    entry("NEG", 0x00010002, -5, "") +
                    entry(name255, 7, 3, "abc") +
                    entry("DIR1\\DIR2\\FILE.TXT", 9, 2, "hi") +
                    entry("LAST", 0x01020304, 4, "tail");   // shorter than 256 bytes in all
    walk_outcome o = run(s);
    ASSERT_EQ(o.last, walk_end);
    ASSERT_EQ(o.entries.size(), 6u);
    EXPECT_EQ(o.entries[0].name, "SETUP.EXE");
    EXPECT_EQ(o.entries[0].time_block, 0x12345678u);
    EXPECT_EQ(o.entries[0].data, big);
    EXPECT_EQ(o.entries[1].size, 0);
    EXPECT_EQ(o.entries[1].time_block, 0x5a5a0001u);
    EXPECT_EQ(o.entries[2].size, -5);
    EXPECT_EQ(o.entries[2].data, "");
    EXPECT_EQ(o.entries[3].name, name255);
    EXPECT_EQ(o.entries[3].data, "abc");
    EXPECT_EQ(o.entries[4].name, "DIR1\\DIR2\\FILE.TXT");
    EXPECT_EQ(o.entries[5].name, "LAST");
    EXPECT_EQ(o.entries[5].time_block, 0x01020304u);
    EXPECT_EQ(o.entries[5].data, "tail");
}

TEST_F(walk, empty_name_is_an_entry)
{
    walk_outcome o = run(entry("", 1, 3, "abc") + entry("B", 2, 1, "b"));
    ASSERT_EQ(o.entries.size(), 2u);
    EXPECT_EQ(o.entries[0].name, "");
    EXPECT_EQ(o.entries[0].data, "abc");
    EXPECT_EQ(o.entries[1].name, "B");
}

TEST_F(walk, hostile_streams_are_damaged)
{
    std::string good = entry("A", 1, 2, "ab");
    struct { std::string stream; size_t entries; } cases[] = {
        {std::string(256, 'Z') + '\0', 0},            // no zero byte within 256 bytes
        {good + std::string(40, 'Z'), 1},             // no zero byte within what is left
        {good + "B" + '\0' + "\1\2", 2},              // ends inside the time block
        {good + "B" + '\0' + "\1\2\3\4\5", 2},        // ends inside the size
    };
    for (auto &c : cases) {
        walk_outcome o = run(c.stream);
        EXPECT_EQ(o.last, walk_damaged);
        EXPECT_EQ(o.entries.size(), c.entries);
    }
}

TEST_F(walk, size_beyond_the_end_gives_what_is_left)
{
    walk_outcome o = run(entry("A", 1, 1000, "only this"));
    ASSERT_EQ(o.entries.size(), 1u);
    EXPECT_EQ(o.entries[0].data, "only this");
    EXPECT_EQ(o.last, walk_end);
}

TEST_F(walk, bytes_past_the_end_are_never_read)
{
    // A signature appended after the stream's length does not become entries,
    // and an entry's data stops at the length.
    std::string s = entry("A", 1, 4, "abcd");
    walk_outcome o = run(s + entry("SIGNATURE", 2, 3, "sig"), (long)s.size());
    ASSERT_EQ(o.entries.size(), 1u);
    EXPECT_EQ(o.last, walk_end);
    o = run(s, (long)s.size() - 2);
    ASSERT_EQ(o.entries.size(), 1u);
    EXPECT_EQ(o.entries[0].data, "ab");
}

} // namespace
