// The dialog procedure: what it returns for each message, and the order of
// its initialisation.
#include <gtest/gtest.h>
#include <cstring>
#include "fake_ui.h"
#include "state.h"
#include "centre.h"

namespace {

qwnd const w = nullptr;

void set_record(const char *text)
{
    std::strcpy(st.record_buffer, text);
    record_split(st.record_buffer, record_read, &st.record);
}

TEST(qoxproc, initialisation_in_order)
{
    for (bool chained : {false, true}) {
        reset_all();
        set_record(chained ? "setup.exe,setup1.exe" : "setup.exe");
        std::strcpy(st.work_buffer, "/dl/~tempAA.AAA");
        EXPECT_EQ(qoxproc(w, msg_init, 0, 0), 1);
        std::vector<std::string> want = {
            "brush", "text 101 /dl/~tempAA.AAA", "caption Tressilvandora Self-Expand Installer  ", "rects"};
        if (chained)
            want.push_back("post 1 0");   // posted, not sent: nothing runs yet
        want.push_back("move 221 218 358 164");
        EXPECT_EQ(ui.log, want);
        EXPECT_EQ(st.auto_mode, chained);
        EXPECT_FALSE(st.busy_flag);
    }
}

TEST(qoxproc, returns_for_each_message)
{
    reset_all();
    set_record("setup.exe");
    qoxproc(w, msg_init, 0, 0);
    qresult brush = (qresult)st.ctl_brush;
    ui.log.clear();
    EXPECT_EQ(qoxproc(w, msg_colour_button, 0, 0), brush);
    EXPECT_EQ(qoxproc(w, msg_colour_static, 0, 0), brush);
    EXPECT_EQ(qoxproc(w, msg_colour_dialog, 0, 0), brush);
    EXPECT_EQ(ui.log, (std::vector<std::string>{
        "transparent", "colours 192 192 192", "transparent", "colours 192 192 192", "colours 192 192 192"}));
    EXPECT_EQ(qoxproc(w, 0x0133 /* edit colour: not handled */, 0, 0), 0);
    EXPECT_EQ(qoxproc(w, 0x0400, 0, 0), 0);
    EXPECT_EQ(qoxproc(w, msg_command, ID_CANCEL, 0), 0);
    EXPECT_EQ(ui.ended, 2);
    ui.log.clear();
    EXPECT_EQ(qoxproc(w, msg_destroy, 0, 0), 0);
    EXPECT_EQ(ui.log, (std::vector<std::string>{"free 85"}));
}

TEST(qoxproc, ok_is_the_whole_parameter)
{
    reset_all();
    // OK with a notification code other than 0, and Cancel likewise, do
    // nothing: the whole parameter is compared.
    EXPECT_EQ(qoxproc(w, msg_command, ID_OK | (1u << 16), 0), 0);
    EXPECT_EQ(qoxproc(w, msg_command, ID_CANCEL | (1u << 16), 0), 0);
    EXPECT_FALSE(st.busy_flag);
    EXPECT_EQ(ui.ended, -1);
    EXPECT_TRUE(ui.log.empty());
}

TEST(qoxproc, ok_after_the_job_started_does_nothing)
{
    reset_all();
    st.busy_flag = true;
    EXPECT_EQ(qoxproc(w, msg_command, ID_OK, 0), 0);
    EXPECT_TRUE(ui.log.empty());
}

TEST(centre, halves_towards_zero)
{
    struct { long screen, dialog, at; } cases[] = {
        {800, 400, 200}, {600, 250, 175}, {800, 401, 199}, {600, 251, 174},
        {800, 801, 0}, {800, 802, -1}, {800, 800, 0},
    };
    for (auto &c : cases)
        EXPECT_EQ(centre_at(c.screen, c.dialog), c.at) << c.screen << " " << c.dialog;
}

} // namespace
