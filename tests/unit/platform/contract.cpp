// contract.cpp: the file, directory, drive and time operations of platform.h
// as every backend must give them; only platform.h and portable C++ here, so
// the same source runs against each backend.
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "scratch.h"

namespace {

class files : public scratch {};
class dirs : public scratch {};
class times : public scratch {};
class names : public scratch {};

std::string read_all(qfile f)
{
    std::string s;
    char buf[300];  // not a divisor of the sizes written: reads straddle blocks
    int n;
    while ((n = os_read(f, buf, sizeof buf)) > 0)
        s.append(buf, n);
    EXPECT_EQ(n, 0);
    return s;
}

// ---- files ------------------------------------------------------------------

TEST_F(files, round_trip_in_small_and_large_writes)
{
    // 256-byte writes as the installer makes them, then blocks larger than
    // any buffer a backend keeps.
    std::string data = pattern(70000) + pattern(200000, 2);
    qfile f = os_create("data.bin");
    ASSERT_NE(f, qfile_bad);
    size_t i = 0;
    while (i < 70000) {
        int n = (int)std::min<size_t>(256, 70000 - i);
        ASSERT_EQ(os_write(f, data.data() + i, n), n);
        i += n;
    }
    ASSERT_EQ(os_write(f, data.data() + i, (int)(data.size() - i)), (int)(data.size() - i));
    ASSERT_EQ(os_close(f), 0);
    EXPECT_TRUE(same_bytes(get_file(at("data.bin")), data));

    f = os_open("data.bin");
    ASSERT_NE(f, qfile_bad);
    EXPECT_TRUE(same_bytes(read_all(f), data));
    char c;
    EXPECT_EQ(os_read(f, &c, 1), 0) << "a read at the end answers 0";
    EXPECT_EQ(os_close(f), 0);
}

TEST_F(files, one_read_returns_all_that_is_asked_for)
{
    // The installer reads the stub region and the record with one read and
    // never looks at the count.
    std::string data = pattern(100000);
    put_file(at("big"), data);
    qfile f = os_open("big");
    ASSERT_NE(f, qfile_bad);
    std::vector<char> buf(33288);
    char c;
    ASSERT_EQ(os_read(f, &c, 1), 1);
    ASSERT_EQ(os_read(f, buf.data(), (int)buf.size()), (int)buf.size());
    EXPECT_TRUE(same_bytes(std::string(buf.data(), buf.size()), data.substr(1, buf.size())));
    ASSERT_EQ(os_seek(f, 99990, seek_set), 99990);
    EXPECT_EQ(os_read(f, buf.data(), 100), 10) << "fewer only at the end";
    os_close(f);
}

TEST_F(files, seek_from_start_and_back_from_current)
{
    std::string data = pattern(200000);
    put_file(at("s"), data);
    qfile f = os_open("s");
    ASSERT_NE(f, qfile_bad);
    char buf[256];
    struct step {
        long offset;
        int origin;
        long expect;     // the position after the seek
    } steps[] = {
        {150000, seek_set, 150000}, // beyond what a first read buffers
        {-100000, seek_cur, 50256}, // back across buffers (after the 256-byte read)
        {0, seek_set, 0},
        {-10, seek_cur, 246},       // back within what was just read
        {0, seek_cur, 502},
        {199900, seek_set, 199900},
    };
    for (const step &s : steps) {
        ASSERT_EQ(os_seek(f, s.offset, s.origin), s.expect) << s.offset << "/" << s.origin;
        int n = os_read(f, buf, sizeof buf);
        int want = (int)std::min<long>(256, (long)data.size() - s.expect);
        ASSERT_EQ(n, want);
        EXPECT_TRUE(same_bytes(std::string(buf, n), data.substr(s.expect, n))) << "after seek to " << s.expect;
    }
    EXPECT_EQ(os_seek(f, 0, seek_set), 0);
    os_close(f);
}

TEST_F(files, a_created_file_reads_back_what_was_written)
{
    // The LZ destination is written, sought to 0 and read through one handle.
    std::string data = pattern(5000);
    qfile f = os_create("both");
    ASSERT_NE(f, qfile_bad);
    ASSERT_EQ(os_write(f, data.data(), (int)data.size()), (int)data.size());
    ASSERT_EQ(os_seek(f, 0, seek_set), 0);
    EXPECT_TRUE(same_bytes(read_all(f), data));
    // Overwrite in the middle, then read it all again.
    ASSERT_EQ(os_seek(f, 1000, seek_set), 1000);
    ASSERT_EQ(os_write(f, "XYZ", 3), 3);
    data.replace(1000, 3, "XYZ");
    ASSERT_EQ(os_seek(f, -1003, seek_cur), 0);
    EXPECT_TRUE(same_bytes(read_all(f), data));
    EXPECT_EQ(os_close(f), 0);
    EXPECT_TRUE(same_bytes(get_file(at("both")), data));
}

TEST_F(files, create_empties_an_existing_file)
{
    put_file(at("old"), pattern(1000));
    qfile f = os_create("old");
    ASSERT_NE(f, qfile_bad);
    ASSERT_EQ(os_write(f, "new", 3), 3);
    ASSERT_EQ(os_close(f), 0);
    EXPECT_EQ(get_file(at("old")), "new");
}

TEST_F(files, open_and_create_fail_where_they_must)
{
    EXPECT_EQ(os_open("missing"), qfile_bad);
    EXPECT_EQ(os_create("no-such-dir\\file"), qfile_bad);
    ASSERT_TRUE(os_mkdir("adir"));
    EXPECT_EQ(os_open("adir"), qfile_bad) << "a directory is no file";
    EXPECT_EQ(os_create("adir"), qfile_bad);
}

TEST_F(files, bad_handle)
{
    char buf[16] = {};
    EXPECT_EQ(os_read(qfile_bad, buf, sizeof buf), -1);
    EXPECT_EQ(os_write(qfile_bad, buf, sizeof buf), -1);
    EXPECT_EQ(os_seek(qfile_bad, 0, seek_set), -1);
}

TEST_F(files, delete_removes_a_closed_file_only)
{
    put_file(at("victim"), "x");
    qfile f = os_open("victim");
    ASSERT_NE(f, qfile_bad);
    EXPECT_FALSE(os_delete("victim")) << "a file held open cannot be deleted";
    os_close(f);
    EXPECT_TRUE(os_delete("victim"));
    EXPECT_FALSE(file_exists(at("victim")));
    EXPECT_FALSE(os_delete("victim")) << "a missing file cannot be deleted";
}

// ---- names --------------------------------------------------------------------

TEST_F(names, backslash_separates_levels)
{
    ASSERT_TRUE(os_mkdir("sub"));
    ASSERT_TRUE(os_mkdir("sub\\deeper"));
    qfile f = os_create("sub\\deeper\\file.txt");
    ASSERT_NE(f, qfile_bad);
    os_write(f, "abc", 3);
    os_close(f);
    EXPECT_EQ(get_file(at("sub") + os_sep + "deeper" + os_sep + "file.txt"), "abc");
    std::string full = dir + "\\sub\\deeper\\file.txt";
    EXPECT_TRUE(os_set_time(full.c_str(), 0x5A2F0000));
    EXPECT_TRUE(os_delete(full.c_str()));
}

TEST_F(names, lookup_ignores_case)
{
    // An archive holds SETUP.EXE; the record names setup.exe.
    ASSERT_TRUE(os_mkdir("DISK1"));
    put_file(at("DISK1") + os_sep + "SETUP.EXE", "program");
    qfile f = os_open("disk1\\setup.exe");
    ASSERT_NE(f, qfile_bad);
    char buf[16];
    EXPECT_EQ(os_read(f, buf, sizeof buf), 7);
    os_close(f);
    EXPECT_TRUE(os_set_time("Disk1\\Setup.Exe", 0x5A2F0000));
    EXPECT_TRUE(os_chdir("disk1"));
    EXPECT_TRUE(os_chdir(".."));
    EXPECT_TRUE(os_delete("disk1\\setup.exe"));
    EXPECT_FALSE(file_exists(at("DISK1") + os_sep + "SETUP.EXE"));
    EXPECT_FALSE(os_mkdir("disk1")) << "DISK1 exists";
    EXPECT_TRUE(os_rmdir("disk1"));
}

// ---- directories ------------------------------------------------------------

TEST_F(dirs, make_one_level)
{
    EXPECT_TRUE(os_mkdir("one"));
    EXPECT_FALSE(os_mkdir("one")) << "exists";
    EXPECT_FALSE(os_mkdir("two\\three")) << "parent missing";
    EXPECT_TRUE(os_mkdir("one\\two"));
    put_file(at("f"), "");
    EXPECT_FALSE(os_mkdir("f")) << "a file of that name exists";
}

TEST_F(dirs, change_and_current)
{
    char buf[1024];
    os_current_dir(buf, sizeof buf);
    std::string top = buf;
    ASSERT_FALSE(top.empty());
    EXPECT_NE(top.back(), os_sep) << "no trailing separator";

    ASSERT_TRUE(os_mkdir("inner"));
    ASSERT_TRUE(os_chdir("inner"));
    os_current_dir(buf, sizeof buf);
    EXPECT_EQ(std::string(buf), top + os_sep + "inner");
    // The current directory is where relative names resolve.
    qfile f = os_create("here");
    ASSERT_NE(f, qfile_bad);
    os_close(f);
    EXPECT_TRUE(file_exists(at("inner") + os_sep + "here"));
    ASSERT_TRUE(os_chdir(".."));
    os_current_dir(buf, sizeof buf);
    EXPECT_EQ(std::string(buf), top);

    EXPECT_FALSE(os_chdir("missing"));
    put_file(at("plain"), "");
    EXPECT_FALSE(os_chdir("plain")) << "a file cannot be entered";
    os_current_dir(buf, sizeof buf);
    EXPECT_EQ(std::string(buf), top) << "a failed change leaves the directory";

    os_current_dir(buf, 3);
    EXPECT_STREQ(buf, "") << "a buffer too small gets an empty string";
}

TEST_F(dirs, remove_only_when_empty)
{
    ASSERT_TRUE(os_mkdir("full"));
    put_file(at("full") + os_sep + "f", "x");
    EXPECT_FALSE(os_rmdir("full"));
    EXPECT_TRUE(file_exists(at("full") + os_sep + "f"));
    ASSERT_TRUE(os_delete("full\\f"));
    EXPECT_TRUE(os_rmdir("full"));
    EXPECT_FALSE(file_exists(at("full")));
    EXPECT_FALSE(os_rmdir("full")) << "gone";
    put_file(at("g"), "");
    EXPECT_FALSE(os_rmdir("g")) << "a file is no directory";
}

TEST_F(dirs, own_path_names_this_program)
{
    char buf[1024];
    os_own_path(0, buf, sizeof buf);
    std::string own = buf;
    ASSERT_FALSE(own.empty());
    EXPECT_NE(own.find("platform_contract_test"), std::string::npos) << own;
    qfile f = os_open(buf);
    ASSERT_NE(f, qfile_bad) << "it can be opened for reading";
    char head[2];
    EXPECT_EQ(os_read(f, head, 2), 2);
    os_close(f);

    char small[8];
    os_own_path(0, small, sizeof small);
    EXPECT_EQ(std::string(small), own.substr(0, 7)) << "truncated to fit";
}

TEST_F(dirs, windows_directory_can_be_entered)
{
    char buf[1024];
    os_windows_dir(buf, sizeof buf);
    std::string w = buf;
    ASSERT_FALSE(w.empty());
    EXPECT_NE(w.back(), os_sep);
    EXPECT_TRUE(os_chdir(buf));
}

TEST_F(dirs, drives)
{
    int d = os_current_drive();
    EXPECT_GE(d, -1);
    EXPECT_LE(d, 25);
    char buf[1024];
    os_set_drive(d < 0 ? 0 : d);
    EXPECT_EQ(os_current_drive(), d) << "making the current drive current keeps it";
    if (d < 0) {
        os_current_dir(buf, sizeof buf);
        EXPECT_EQ(std::string(buf), dir) << "no drive letters: nothing happens";
    }
}

// ---- times ----------------------------------------------------------------------

unsigned long dos_block(int year, int month, int day, int hour, int minute, int second)
{
    unsigned long date = (unsigned long)((year - 1980) << 9 | month << 5 | day);
    unsigned long time = (unsigned long)(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time;
}

TEST_F(times, block_is_read_as_local_time)
{
    struct when {
        int y, mo, d, h, mi, s;
    } cases[] = {
        {2021, 7, 15, 13, 45, 30},  // summer
        {2021, 1, 15, 13, 45, 30},  // winter
        {1980, 1, 1, 12, 0, 0},     // the first DOS year
        {1999, 12, 31, 23, 59, 58}, // every field at its top
        {2000, 2, 29, 6, 7, 8},     // a leap day
    };
    put_file(at("stamped"), "content");
    for (const when &c : cases) {
        unsigned long block = dos_block(c.y, c.mo, c.d, c.h, c.mi, c.s);
        ASSERT_TRUE(os_set_time("stamped", block)) << std::hex << block;
        EXPECT_EQ(host_mtime(at("stamped").c_str()),
                  host_local_to_utc(c.y, c.mo, c.d, c.h, c.mi, c.s))
            << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s;
    }
    EXPECT_EQ(get_file(at("stamped")), "content");
}

TEST_F(times, invalid_blocks_and_missing_files_fail)
{
    put_file(at("f"), "");
    unsigned long good = dos_block(2010, 5, 6, 7, 8, 10);
    ASSERT_TRUE(os_set_time("f", good));
    long long before = host_mtime(at("f").c_str());
    unsigned long bad[] = {
        dos_block(2010, 0, 6, 7, 8, 10),      // month 0
        dos_block(2010, 13, 6, 7, 8, 10),     // month 13
        dos_block(2010, 5, 0, 7, 8, 10),      // day 0
        dos_block(2010, 4, 31, 7, 8, 10),     // 31 April
        dos_block(2010, 5, 6, 24, 8, 10),     // hour 24
        dos_block(2010, 5, 6, 7, 60, 10),     // minute 60
        dos_block(2010, 5, 6, 7, 8, 60),      // seconds 60 (30 in the field)
    };
    for (unsigned long b : bad) {
        EXPECT_FALSE(os_set_time("f", b)) << std::hex << b;
        EXPECT_EQ(host_mtime(at("f").c_str()), before) << "the time is kept";
    }
    EXPECT_FALSE(os_set_time("missing", good));
}

} // namespace
