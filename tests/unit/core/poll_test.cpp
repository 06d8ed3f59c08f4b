// The wait for the setup programs and the clean-up, over real files.
#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include "fake_ui.h"
#include "state.h"

namespace {

namespace fs = std::filesystem;
qwnd const w = nullptr;

class poll : public ::testing::Test {
protected:
    fs::path base = fs::temp_directory_path() /
        ("qox-poll-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path target = base / "~tempAA.AAA";
    fs::path before = fs::current_path();

    void SetUp() override
    {
        fs::remove_all(base);
        fs::create_directories(target);
        reset_all();
        std::strcpy(st.dir_buffer, target.c_str());
        fs::current_path(target);
    }
    void TearDown() override
    {
        fs::current_path(before);
        fs::remove_all(base);
    }
    void touch(const fs::path &p) { std::ofstream(p) << "x"; }
    void set_record(const char *text)
    {
        std::strcpy(st.record_buffer, text);
        record_split(st.record_buffer, record_read, &st.record);
        st.auto_mode = true;
    }
    void start_watch()
    {
        std::string p = target.string() + "/" + st.record.run_program;
        std::strcpy(st.watch_path, p.c_str());
    }
};

TEST_F(poll, switches_to_the_chained_program_then_cleans_up)
{
    set_record("setup.exe,setup1.exe");
    start_watch();
    touch(target / "setup.exe");
    cleanup_add("setup.exe");
    cleanup_add("DATA.TXT");
    touch(target / "DATA.TXT");

    wait_poll(w);   // setup.exe ended: its file could be deleted
    EXPECT_FALSE(fs::exists(target / "setup.exe"));
    EXPECT_EQ(std::string(st.watch_path), (target / "setup1.exe").string());
    EXPECT_STREQ(st.record.chained_program, "auto");
    EXPECT_EQ(ui.ended, -1);

    wait_poll(w);   // setup1.exe does not exist (yet): keep polling
    wait_poll(w);
    EXPECT_EQ(ui.ended, -1);
    EXPECT_TRUE(fs::exists(target / "DATA.TXT"));

    touch(target / "setup1.exe");
    wait_poll(w);
    EXPECT_EQ(ui.ended, 1);
    EXPECT_FALSE(fs::exists(target));   // listed files gone, directory removed
    EXPECT_EQ(ui.log.front(), "stop 1");
}

TEST_F(poll, chained_program_is_looked_for_beside_the_first)
{
    set_record("disk1\\setup.exe,setup1.exe");
    start_watch();
    fs::create_directory(target / "disk1");
    touch(target / "disk1" / "setup.exe");
    wait_poll(w);
    EXPECT_EQ(std::string(st.watch_path), target.string() + "/disk1\\setup1.exe");
}

TEST_F(poll, upper_case_auto_is_a_program_name)
{
    set_record("setup.exe,AUTO");
    start_watch();
    touch(target / "setup.exe");
    wait_poll(w);
    EXPECT_EQ(std::string(st.watch_path), (target / "AUTO").string());
    for (int i = 0; i < 3; i++)
        wait_poll(w);
    EXPECT_EQ(ui.ended, -1);     // polls until the user cancels
}

TEST_F(poll, chained_name_too_long_for_the_path_ends_the_wait)
{
    std::string rec = "setup.exe," + std::string(300, 'c');
    set_record(rec.c_str());
    start_watch();
    touch(target / "setup.exe");
    wait_poll(w);
    EXPECT_EQ(ui.ended, 1);
    EXPECT_LT(std::strlen(st.watch_path), (size_t)path_size);
}

TEST_F(poll, auto_overwrite_stays_inside_the_record_buffer)
{
    // A chained name starting at the record's last byte.
    std::memset(st.record_buffer, 'r', record_read);
    st.record_buffer[record_read - 2] = ',';
    record_split(st.record_buffer, record_read, &st.record);
    ASSERT_STREQ(st.record.chained_program, "r");
    std::strcpy(st.watch_path, (target / "x").c_str());
    touch(target / "x");
    wait_poll(w);
    EXPECT_STREQ(st.record.chained_program, "auto");
}

TEST_F(poll, clean_up_keeps_what_is_not_listed)
{
    touch(target / "A");
    touch(target / "LEFT.BY.SETUP");
    cleanup_add("A");
    cleanup_add("MISSING");
    clean_up(w);
    EXPECT_FALSE(fs::exists(target / "A"));
    EXPECT_TRUE(fs::exists(target / "LEFT.BY.SETUP"));   // directory stays: not empty
    EXPECT_EQ(fs::current_path(), base);
    EXPECT_EQ(ui.ended, 1);
    int removing = 0;
    for (auto &l : ui.log)
        removing += l == "text 201 removing temp files...";
    EXPECT_EQ(removing, 2);
}

TEST(cleanup_list, refuses_names_that_do_not_fit)
{
    reset_all();
    std::string name(254, 'n');
    int added = 0;
    while (cleanup_add(name.c_str()))
        added++;
    EXPECT_EQ(added, cleanup_size / 255);
    EXPECT_LE(st.cleanup_end, st.cleanup_list + cleanup_size);
    // A shorter name may still fit in what is left.
    std::string rest(st.cleanup_list + cleanup_size - st.cleanup_end - 1, 's');
    EXPECT_TRUE(cleanup_add(rest.c_str()));
    EXPECT_EQ(st.cleanup_end, st.cleanup_list + cleanup_size);
    EXPECT_FALSE(cleanup_add(""));
}

} // namespace
