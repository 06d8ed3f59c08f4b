// The launch record split: every rule as one table.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "record.h"

namespace {

struct split_case {
    const char *record;
    const char *run, *chain, *option;
};

const split_case cases[] = {
    {"setup.exe", "setup.exe", "", ""},
    {"setup.exe,setup1.exe", "setup.exe", "setup1.exe", ""},
    {"setup.exe,auto", "setup.exe", "auto", ""},
    {"setup.exe, setup1.exe", "setup.exe", "", ""},          // a space empties field 2...
    {"setup.exe, setup1.exe,self", "setup.exe", "", ""},     // ...and every field after it
    {"setup.exe,auto,self", "setup.exe", "auto", "self"},
    {"setup.exe,,self", "setup.exe", "", "self"},
    {"setup.exe,auto, self", "setup.exe", "auto", ""},
    {"", "", "", ""},
    {" setup.exe", " setup.exe", "", ""},                    // field 1 is never trimmed
    {"setup.exe ,\tauto ", "setup.exe ", "\tauto ", ""},     // a tab is an ordinary character
    {"a,b,c,d,e", "a", "b", "c,d,e"},                        // a third comma stays in field 3
    {"a,AUTO", "a", "AUTO", ""},
    {",", "", "", ""},
    {",,", "", "", ""},
    {"a,b,", "a", "b", ""},
    {"a,  b", "a", "", ""},
};

TEST(record, splits_every_case_in_place)
{
    for (const split_case &c : cases) {
        SCOPED_TRACE(c.record);
        char buf[record_space] = {};
        std::strcpy(buf, c.record);
        launch_record rec;
        EXPECT_TRUE(record_split(buf, record_read, &rec));
        EXPECT_STREQ(rec.run_program, c.run);
        EXPECT_STREQ(rec.chained_program, c.chain);
        EXPECT_STREQ(rec.stub_option, c.option);
        // The offset counts the unsplit text, commas and spaces included.
        EXPECT_EQ(rec.stream_offset, 32769 + (int)std::strlen(c.record));
        // Fields point into the buffer, or at an empty string.
        for (char *f : {rec.run_program, rec.chained_program, rec.stub_option})
            EXPECT_TRUE((f >= buf && f < buf + record_space) || *f == 0);
    }
}

TEST(record, longest_record_and_no_terminator)
{
    char buf[record_space] = {};
    std::memset(buf, 'x', record_max);
    buf[100] = ',';
    launch_record rec;
    EXPECT_TRUE(record_split(buf, record_read, &rec));
    EXPECT_EQ(rec.stream_offset, 32769 + record_max);

    // No zero byte in 520 bytes: the record is cut after them, and the split
    // stays inside the buffer (the slack bytes are untouched but the first).
    std::memset(buf, 'y', record_read);
    buf[record_read - 1] = ',';
    EXPECT_FALSE(record_split(buf, record_read, &rec));
    EXPECT_EQ(rec.stream_offset, 32769 + record_read);
    EXPECT_EQ(std::strlen(rec.run_program), (size_t)record_read - 1);
    EXPECT_STREQ(rec.chained_program, "");
    // The five-byte "auto" overwrite from a field starting at the last byte
    // still fits the buffer.
    EXPECT_LE(rec.chained_program + 5, buf + record_space);
}

TEST(record, file_ending_early)
{
    // Nothing after the stub: no bytes read at all.
    char buf[record_space] = {};
    launch_record rec;
    EXPECT_FALSE(record_split(buf, 0, &rec));
    EXPECT_STREQ(rec.run_program, "");
    EXPECT_EQ(rec.stream_offset, 32769);

    // The file ends inside the record text, before its zero byte.
    std::memcpy(buf, "setup.exe,auto", 14);
    EXPECT_FALSE(record_split(buf, 14, &rec));
    EXPECT_STREQ(rec.run_program, "setup.exe");
    EXPECT_STREQ(rec.chained_program, "auto");
    EXPECT_EQ(rec.stream_offset, 32769 + 14);
}

} // namespace
