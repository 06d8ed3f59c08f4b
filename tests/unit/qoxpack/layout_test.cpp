// layout_test.cpp: the record, name, name-set and time rules qoxpack
// applies when it writes a file and when it verifies one.
#include "layout.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <ctime>

using namespace layout;

namespace {

bool mentions(const std::vector<std::string> &lines, const std::string &part)
{
    for (const auto &l : lines)
        if (l.find(part) != std::string::npos)
            return true;
    return false;
}

TEST(record, text_follows_the_field_rules)
{
    struct { record_fields f; const char *text; } cases[] = {
        {{"setup.exe", "", false}, "setup.exe"},
        {{"setup.exe", "setup1.exe", false}, "setup.exe,setup1.exe"},
        {{"setup.exe", "auto", false}, "setup.exe,auto"},
        {{"setup.exe", "", true}, "setup.exe,,self"},
        {{"setup.exe", "auto", true}, "setup.exe,auto,self"},
        {{"", "", true}, ",,self"},
        {{"", "", false}, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(record_text(c.f), c.text);
        EXPECT_TRUE(record_refusals(c.f).empty()) << c.text;
        EXPECT_TRUE(record_faults(c.text).empty()) << c.text;
    }
}

TEST(record, refusals_name_the_reason)
{
    struct { record_fields f; const char *why; } cases[] = {
        {{"a,b.exe", "", false}, "comma"},
        {{"setup.exe", "x,y", false}, "comma"},
        {{"setup.exe", " setup1.exe", false}, "space"},
        {{"setup\n.exe", "", false}, "control"},
        {{"", "auto", false}, "needs a program to run"},
        {{"..\\setup.exe", "auto", false}, "\"..\" level"},     // opened and deleted outside
        {{"\\setup.exe", "", false}, "absolute"},
        {{"setup.exe", "C:\\doc.txt", false}, "drive letter"},
        {{std::string(520, 'a'), "", false}, "at most 519"},
        {{std::string(510, 'a'), "auto", true}, "at most 519"},   // 520 with the fields
    };
    for (const auto &c : cases)
        EXPECT_TRUE(mentions(record_refusals(c.f), c.why)) << record_text(c.f);
    // Names of at most 255 bytes keep every record qoxpack writes within 519
    // characters: the longest is 255 + 1 + 255 + 5.
    record_fields longest{std::string(255, 'a'), std::string(255, 'b'), true};
    EXPECT_EQ(record_text(longest).size(), 516u);
    EXPECT_TRUE(record_refusals(longest).empty());
    EXPECT_TRUE(mentions(record_refusals({std::string(256, 'a'), "", false}), "at most 255"));
    EXPECT_TRUE(record_refusals({" leading.exe", "", false}).empty()); // field 1 keeps its space
}

TEST(record, faults_of_records_read_back)
{
    struct { const char *text; const char *fault; } cases[] = {
        {"setup.exe, setup1.exe", "field 2"},
        {"setup.exe,auto, self", "field 3"},
        {"setup.exe,auto,self,x", "more than three fields"},
        {"setup.exe,auto,Self", "only \"self\""},
        {",setup1.exe", "field 1 names no program"},
        {"set\tup.exe", "control"},
        {"sub\\..\\..\\x.exe,auto", "\"..\" level"},
        {"setup.exe,/etc/passwd", "absolute"},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(mentions(record_faults(c.text), c.fault)) << c.text;
}

TEST(names, accepted_and_refused)
{
    const char *fine[] = {"SETUP.EXE", "dir\\sub\\file.txt", "a..b", ".hidden", "~un3",
                          "dir\\~un1", " lead"};
    for (const char *n : fine)
        EXPECT_EQ(name_problem(n), "") << n;
    EXPECT_EQ(name_problem(std::string(255, 'n')), "");

    struct { std::string name; const char *why; } cases[] = {
        {"", "empty"},
        {std::string("a\0b", 3), "zero byte"},
        {std::string(256, 'n'), "at most 255"},
        {"a\x1b[2Jb", "control"},
        {"bell\x7f", "control"},
        {"\\windows\\x", "absolute"},
        {"/etc/passwd", "absolute"},
        {"C:autoexec.bat", "drive letter"},
        {"..\\x", "\"..\""},
        {"a\\..\\..\\x", "\"..\""},
        {"a\\.. \\x", "\"..\""},
        {"...", "\"..\""},
        {"a/b", "'/'"},
        {"a\\\\b", "empty folder level"},
        {"dir\\", "empty folder level"},
        {"~UN1", "~un1"},
        {"~un2", "~un1"},
    };
    for (const auto &c : cases)
        EXPECT_NE(name_problem(c.name).find(c.why), std::string::npos)
            << c.name << " -> " << name_problem(c.name);
}

TEST(names, windows_cautions)
{
    EXPECT_NE(name_caution("a?b"), "");
    EXPECT_NE(name_caution("dir.\\x"), "");
    EXPECT_NE(name_caution("x "), "");
    EXPECT_EQ(name_caution("dir\\file.txt"), "");
}

TEST(name_set, collisions_and_clean_up_list)
{
    EXPECT_TRUE(set_problems({"A.TXT", "B.TXT", "dir\\a.txt"}, true).empty());
    EXPECT_TRUE(mentions(set_problems({"Setup.exe", "SETUP.EXE"}, false), "without regard to case"));
    EXPECT_TRUE(mentions(set_problems({"qox32.exe"}, true), "stub copy"));
    EXPECT_TRUE(set_problems({"qox32.exe"}, false).empty());
    EXPECT_TRUE(mentions(set_problems({"DATA", "data\\x"}, false), "needs a folder"));

    // 16000 bytes exactly fits; one more does not. Each name costs its length plus one.
    std::vector<std::string> names;
    for (int i = 0; i < 100; i++) {
        char n[8];
        snprintf(n, sizeof n, "%03d", i);
        names.push_back(std::string(n) + std::string(156, 'x'));  // 159 + 1 = 160 bytes
    }
    EXPECT_EQ(cleanup_bytes(names, false), 16000u);
    EXPECT_TRUE(set_problems(names, false).empty());
    EXPECT_TRUE(mentions(set_problems(names, true), "clean-up list"));  // + "QOX32.EXE" and its zero
    names.back() += "y";
    EXPECT_TRUE(mentions(set_problems(names, false), "16001 bytes"));
}

// Time blocks are local time: set a zone far from UTC for these tests.
class dos_time : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tz = getenv("TZ");
        saved_ = tz ? tz : "";
        had_ = tz != nullptr;
        setenv("TZ", "America/New_York", 1);
        tzset();
    }
    void TearDown() override
    {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string saved_;
    bool had_ = false;
};

TEST_F(dos_time, local_fields_even_seconds_and_round_trip)
{
    struct tm tm {};
    tm.tm_year = 2021 - 1900, tm.tm_mon = 6, tm.tm_mday = 4;
    tm.tm_hour = 13, tm.tm_min = 45, tm.tm_sec = 31, tm.tm_isdst = -1;
    std::time_t t = mktime(&tm);
    bool clamped = true;
    uint32_t block = dos_block(t, &clamped);
    EXPECT_FALSE(clamped);
    EXPECT_EQ(dos_block_text(block), "2021-07-04 13:45:30");
    EXPECT_EQ(block & 0xffff, (13u << 11) | (45u << 5) | 15u);
    EXPECT_EQ(block >> 16, (41u << 9) | (7u << 5) | 4u);
    std::time_t back;
    ASSERT_TRUE(dos_block_time(block, &back));
    EXPECT_EQ(back, t - 1);
}

TEST_F(dos_time, out_of_range_times_are_clamped)
{
    bool clamped = false;
    EXPECT_EQ(dos_block_text(dos_block(0, &clamped)), "1980-01-01 00:00:00");
    EXPECT_TRUE(clamped);
    EXPECT_EQ(dos_block_text(dos_block((std::time_t)4400000000LL, &clamped)),
              "2107-12-31 23:59:58");
    EXPECT_TRUE(clamped);
    struct tm tm {};
    tm.tm_year = 80, tm.tm_mon = 0, tm.tm_mday = 1, tm.tm_isdst = -1;
    dos_block(mktime(&tm), &clamped);
    EXPECT_FALSE(clamped);  // the first moment of 1980 local time fits
}

TEST(dos_time_fields, invalid_blocks_are_told_apart)
{
    EXPECT_TRUE(dos_block_valid((uint32_t)((41 << 9) | (7 << 5) | 4) << 16));
    EXPECT_FALSE(dos_block_valid(0));                                   // month 0, day 0
    EXPECT_FALSE(dos_block_valid((uint32_t)((41 << 9) | (13 << 5) | 4) << 16));
    EXPECT_FALSE(dos_block_valid((uint32_t)((41 << 9) | (7 << 5) | 4) << 16 | (24u << 11)));
    std::time_t t;
    EXPECT_FALSE(dos_block_time(0, &t));
}

} // namespace
