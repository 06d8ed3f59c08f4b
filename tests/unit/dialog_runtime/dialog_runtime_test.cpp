// The terminal dialog runtime: a fake dialog procedure runs the modal loop in
// a forked child whose standard input and output are pipes; the test drives
// the input and reads the transcript, where the procedure logs every message
// it receives ("> ...") between the runtime's own lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"
#include "qoxdlg.h"

namespace {

using strings = std::vector<std::string>;
using handler = std::function<void(qwnd, qmsg, qwparam, qlparam)>;

handler on_msg;                        // what the fake procedure does, per test

void log(const std::string &s)
{
    std::string line = "> " + s + "\n";
    if (write(1, line.data(), line.size()) < 0) {}
}

qresult QPROC fake_proc(qwnd w, qmsg m, qwparam wp, qlparam lp)
{
    char buf[64];
    switch (m) {
    case msg_init: log("init"); break;
    case msg_destroy: log("destroy"); break;
    case msg_timer: log("timer " + std::to_string(wp)); break;
    case msg_command: log("command " + std::to_string(wp) + " " + std::to_string(lp)); break;
    default: snprintf(buf, sizeof buf, "message 0x%x", m); log(buf); break;
    }
    if (on_msg)
        on_msg(w, m, wp, lp);
    return m == msg_init;
}

const std::string ready =
    "ready: press Enter to expand to the folder shown, or type another folder; "
    "end of input cancels";
const strings opening = {"status: Files will be expanded to:", "> init"};
const strings painted = {"> message 0x136", "> message 0x138", "> message 0x135"};

strings cat(std::initializer_list<strings> parts)
{
    strings all;
    for (const strings &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// One run of the dialog in a child process.
class session {
public:
    explicit session(handler h)
    {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]); close(in[1]); close(out[0]); close(out[1]);
            on_msg = std::move(h);
            int r = ui_run_dialog(nullptr, QOX_DIALOG, fake_proc);
            std::string tail = "result " + std::to_string(r) + "\n";
            if (write(1, tail.data(), tail.size()) < 0) {}
            _exit(0);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~session()
    {
        if (to_ >= 0) close(to_);
        if (pid_ > 0) { kill(pid_, SIGKILL); waitpid(pid_, nullptr, 0); }
        close(from_);
    }

    void send(const std::string &s)
    {
        ASSERT_EQ(write(to_, s.data(), s.size()), (ssize_t)s.size());
    }
    void close_input() { close(to_); to_ = -1; }

    // Reads until `text` has appeared in the output (at most a few seconds).
    bool expect(const std::string &text)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (out_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until || !pump(100))
                return out_.find(text) != std::string::npos;
        }
        return true;
    }

    // Closes the input, waits for the child's end and returns the transcript.
    strings finish()
    {
        if (to_ >= 0) close_input();
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (pump(100))
            if (std::chrono::steady_clock::now() > until) {
                ADD_FAILURE() << "the dialog did not end; output so far:\n" << out_;
                break;
            }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        strings lines;
        size_t at = 0;
        for (size_t nl; (nl = out_.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(out_.substr(at, nl - at));
        if (at < out_.size())
            lines.push_back(out_.substr(at) + "<no newline>");
        return lines;
    }

private:
    // False at the end of the output.
    bool pump(int ms)
    {
        pollfd p = {from_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return true;
        char buf[4096];
        ssize_t n = read(from_, buf, sizeof buf);
        if (n <= 0)
            return false;
        out_.append(buf, (size_t)n);
        return true;
    }

    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string out_;
};

int count(const strings &lines, const std::string &line)
{
    int n = 0;
    for (const std::string &l : lines)
        n += l == line;
    return n;
}

// ---- waiting for OK ---------------------------------------------------------

TEST(dialog_runtime, posted_ok_arrives_after_init_and_before_any_input)
{
    session s([](qwnd w, qmsg m, qwparam wp, qlparam) {
        if (m == msg_init) {
            ui_set_text(w, ID_PATH, "/tmp/t/~tempAA.AAA");
            ui_caption(w, QOX_TITLE);
            ui_post_command(w, 1, 0);
            log("init done");
        } else if (m == msg_command && wp == 1) {
            ui_hide(w, ID_OK);
            ui_set_text(w, ID_STATUS, "expanding, please wait...");
            char path[260];
            ui_get_text(w, ID_PATH, path, sizeof path);
            log(std::string("field ") + path);
        } else if (m == msg_command && wp == 2) {
            ui_end(w, 2);
        }
    });
    s.send("/elsewhere\n\n");          // already waiting when the loop starts
    EXPECT_EQ(s.finish(), cat({opening, {
        "path: /tmp/t/~tempAA.AAA",
        "caption: Tressilvandora Self-Expand Installer  ",
        "> init done"}, painted, {
        "> command 1 0",
        "status: expanding, please wait...",
        "> field /tmp/t/~tempAA.AAA",  // the typed lines came too late to count
        "> command 2 0",               // end of input, OK hidden: the close box
        "> destroy",
        "dialog ended: 2",
        "result 2"}}));
}

struct ok_case {
    const char *input;
    strings tail;                      // after the ready line
};

TEST(dialog_runtime, input_while_waiting_for_ok)
{
    const std::string a259(259, 'a'), b259(259, 'b');
    const ok_case cases[] = {
        {"\n", {"> command 1 0", "> field /d/~tempAA.AAA", "> command 2 0"}},
        {"/other dir\n", {"path: /other dir", "> command 1 0", "> field /other dir", "> command 2 0"}},
        {"C:\\x\r\n", {"path: C:\\x", "> command 1 0", "> field C:\\x", "> command 2 0"}},
        {"last", {"path: last", "> command 1 0", "> field last", "> command 2 0"}},
        {"", {"> command 2 0"}},
        // over-long lines are cut to what the field holds; their rest is not
        // read as more lines, even beyond the input buffer
        {nullptr, {"path: " + a259, "> command 1 0", "> field " + a259,
                   "path: " + b259, "> command 1 0", "> field " + b259,
                   "> command 1 0", "> field " + b259, "> command 2 0"}},
    };
    for (const ok_case &c : cases) {
        std::string input = c.input ? c.input
            : std::string(300, 'a') + "\n" + std::string(1500, 'b') + "\n\n";
        SCOPED_TRACE(input.substr(0, 20));
        session s([](qwnd w, qmsg m, qwparam wp, qlparam) {
            if (m == msg_init)
                ui_set_text(w, ID_PATH, "/d/~tempAA.AAA");
            if (m == msg_command && wp == 1) {
                char path[260];
                ui_get_text(w, ID_PATH, path, sizeof path);
                log(std::string("field ") + path);
            }
            if (m == msg_command && wp == 2)
                ui_end(w, 2);
        });
        s.send(input);
        strings want = cat({opening, {"path: /d/~tempAA.AAA"}, painted, {ready}, c.tail,
                            {"> destroy", "dialog ended: 2", "result 2"}});
        EXPECT_EQ(s.finish(), want);
    }
}

TEST(dialog_runtime, timers_fire_while_waiting_for_input_until_stopped)
{
    session s([n = 0, m2 = 0](qwnd w, qmsg m, qwparam wp, qlparam) mutable {
        if (m == msg_init) {
            ui_timer(w, 1, 20);
            ui_timer(w, 2, 35);
            ui_timer(w, 1, 20);        // re-armed, not a second timer 1
        } else if (m == msg_timer && wp == 1 && ++n == 3) {
            ui_timer_stop(w, 1);
            log("stopped 1");
        } else if (m == msg_timer && wp == 2 && ++m2 == 2) {
            ui_timer_stop(w, 2);
            log("stopped 2");
        } else if (m == msg_command && wp == 1) {
            ui_end(w, 1);
        }
    });
    ASSERT_TRUE(s.expect("> stopped 1"));
    ASSERT_TRUE(s.expect("> stopped 2"));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    s.send("\n");
    strings out = s.finish();
    EXPECT_EQ(count(out, "> timer 1"), 3);
    EXPECT_EQ(count(out, "> timer 2"), 2);
    ASSERT_GE(out.size(), 6u);
    EXPECT_EQ(out[5], ready) << "ready comes before the first timer";
    EXPECT_EQ(strings(out.end() - 4, out.end()),
              (strings{"> command 1 0", "> destroy", "dialog ended: 1", "result 1"}));
}

TEST(dialog_runtime, ending_inside_a_message_ends_the_loop_after_it)
{
    session s([](qwnd w, qmsg m, qwparam wp, qlparam) {
        if (m == msg_init) {
            ui_post_command(w, 5, 0);
            ui_post_command(w, 6, 0);
        } else if (m == msg_command && wp == 5) {
            ui_end(w, 3);
            ui_set_text(w, ID_STATUS, "still in the message");
            ui_post_command(w, 7, 0);
        }
    });
    EXPECT_EQ(s.finish(), cat({opening, painted, {
        "> command 5 0",
        "status: still in the message",
        "> destroy",
        "dialog ended: 3",
        "result 3"}}));
}

TEST(dialog_runtime, ending_during_init_shows_nothing_more)
{
    session s([](qwnd w, qmsg m, qwparam, qlparam) {
        if (m == msg_init) {
            ui_post_command(w, 1, 0);
            ui_end(w, 4);
        }
    });
    EXPECT_EQ(s.finish(), cat({opening, {"> destroy", "dialog ended: 4", "result 4"}}));
}

TEST(dialog_runtime, end_of_input_is_delivered_once_and_never_spins)
{
    // The procedure ignores Cancel: with a timer running, the loop keeps
    // waiting on it alone; without one, nothing can arrive any more and the
    // dialog closes with Cancel's result instead of hanging.
    session with_timer([n = 0](qwnd w, qmsg m, qwparam, qlparam) mutable {
        if (m == msg_init)
            ui_timer(w, 1, 20);
        if (m == msg_timer && ++n == 3)
            ui_end(w, 9);
    });
    EXPECT_EQ(with_timer.finish(), cat({opening, painted, {ready,
        "> command 2 0", "> timer 1", "> timer 1", "> timer 1",
        "> destroy", "dialog ended: 9", "result 9"}}));

    session without([](qwnd, qmsg, qwparam, qlparam) {});
    EXPECT_EQ(without.finish(), cat({opening, painted, {ready,
        "> command 2 0", "> destroy", "dialog ended: 2", "result 2"}}));
}

TEST(dialog_runtime, posted_messages_beyond_the_queue_are_dropped_in_order)
{
    session s([](qwnd w, qmsg m, qwparam wp, qlparam) {
        if (m == msg_init)
            for (int i = 0; i < 40; i++)
                ui_post_command(w, 100 + i, i);
        if (m == msg_command && wp == 2)
            ui_end(w, 2);
    });
    strings out = s.finish();
    int k = 0;
    while (count(out, "> command " + std::to_string(100 + k) + " " + std::to_string(k)))
        k++;
    EXPECT_GE(k, 1);
    EXPECT_LT(k, 40);
    for (int i = k; i < 40; i++)
        EXPECT_EQ(count(out, "> command " + std::to_string(100 + i) + " " + std::to_string(i)), 0);
    EXPECT_EQ(out.back(), "result 2");
}

TEST(dialog_runtime, control_texts_are_bounded)
{
    session s([](qwnd w, qmsg m, qwparam, qlparam) {
        if (m != msg_init)
            return;
        ui_set_text(w, ID_PATH, std::string(300, 'p').c_str());
        char buf[300];
        memset(buf, '#', sizeof buf);
        ui_get_text(w, ID_PATH, buf, sizeof buf);
        log("length " + std::to_string(strlen(buf)));
        memset(buf, '#', sizeof buf);
        ui_get_text(w, ID_PATH, buf, 5);
        log(std::string("small ") + buf);
        memset(buf, '#', sizeof buf);
        ui_get_text(w, ID_PATH, buf, 0);
        log(std::string("zero ") + buf[0]);
        ui_get_text(w, ID_STATUS, buf, sizeof buf);
        log(std::string("status ") + buf);
        qrect desk, dlg;
        ui_rects(w, &desk, &dlg);
        ui_move(w, (desk.right - (dlg.right - dlg.left)) / 2, 100, 358, 164);
        ui_rects(w, &desk, &dlg);
        log("rects " + std::to_string(desk.left) + " " + std::to_string(desk.top) + " " +
            std::to_string(desk.right) + " " + std::to_string(desk.bottom) + ", " +
            std::to_string(dlg.left) + " " + std::to_string(dlg.top) + " " +
            std::to_string(dlg.right) + " " + std::to_string(dlg.bottom));
        ui_end(w, 1);
    });
    EXPECT_EQ(s.finish(), cat({opening, {
        "path: " + std::string(259, 'p'),
        "> length 259",
        "> small pppp",
        "> zero #",
        "> status Files will be expanded to:",
        "> rects 0 0 800 600, 221 100 579 264",
        "> destroy", "dialog ended: 1", "result 1"}}));
}

// ---- message boxes ----------------------------------------------------------

const char *const leave =
    "Leave this window here until the install finishes, then click YES to delete "
    "temporary files.";

// OK runs a box; Cancel ends with 2; the box's answer is logged, and Yes (or
// OK) ends with 1, as the installer's launch step does.
handler box_on_ok(int style)
{
    return [style](qwnd w, qmsg m, qwparam wp, qlparam) {
        if (m == msg_command && wp == 1) {
            ui_hide(w, ID_OK);
            int a = ui_box(leave, QOX_TITLE, style);
            log("box returned " + std::to_string(a));
            ui_end(w, 1);
        } else if (m == msg_command && wp == 2) {
            ui_end(w, 2);
        }
    };
}

struct box_case {
    int style;
    const char *input;                 // after the OK
    strings tail;                      // after the box's three lines
};

TEST(dialog_runtime, box_answers)
{
    const box_case cases[] = {
        {box_yes_no, "y\n", {"box answer: yes", "> box returned 6"}},
        {box_yes_no, "yes\n", {"box answer: yes", "> box returned 6"}},
        {box_yes_no, "Yes\n", {"box answer: yes", "> box returned 6"}},
        {box_yes_no, "n\n", {"box answer: no", "> box returned 7"}},
        {box_yes_no, "NO\n", {"box answer: no", "> box returned 7"}},
        {box_yes_no, "maybe\n\nyess\nY\n", {"box answer: yes", "> box returned 6"}},
        {box_yes_no, "", {"box answer: no", "> box returned 7"}},
        {box_error, "anything\n", {"box answer: ok", "> box returned 1"}},
        {box_error, "\n", {"box answer: ok", "> box returned 1"}},
        {box_error, "", {"box answer: ok", "> box returned 1"}},
        // "cancel" is the dialog's close box: Cancel arrives, the box stays
        // (once ended, the dialog is gone from the screen: no second Cancel)
        {box_yes_no, "cancel\nCANCEL\ny\n",
         {"> command 2 0", "box answer: yes", "> box returned 6"}},
        {box_error, "cancel\nx\n", {"> command 2 0", "box answer: ok", "> box returned 1"}},
    };
    for (const box_case &c : cases) {
        SCOPED_TRACE(c.input);
        session s(box_on_ok(c.style));
        s.send("\n");
        ASSERT_TRUE(s.expect(c.style == box_yes_no ? "box buttons: Yes/No\n"
                                                   : "box buttons: OK\n"));
        s.send(c.input);
        strings want = cat({opening, painted, {ready, "> command 1 0",
            "box caption: Tressilvandora Self-Expand Installer  ",
            std::string("box text: ") + leave,
            c.style == box_yes_no ? "box buttons: Yes/No" : "box buttons: OK"},
            c.tail, {"> destroy", "dialog ended: 1", "result 1"}});
        EXPECT_EQ(s.finish(), want);
    }
}

TEST(dialog_runtime, timers_and_posted_messages_reach_the_dialog_while_a_box_is_open)
{
    session s([n = 0](qwnd w, qmsg m, qwparam wp, qlparam) mutable {
        if (m == msg_command && wp == 1) {
            ui_hide(w, ID_OK);
            ui_timer(w, 1, 20);
            int a = ui_box(leave, QOX_TITLE, box_yes_no);
            log("box returned " + std::to_string(a));
        } else if (m == msg_timer && ++n == 2) {
            ui_post_command(w, 9, 0);
        } else if (m == msg_timer && n == 3) {
            ui_timer_stop(w, 1);
            ui_end(w, 1);              // ended while the box still waits
            log("stopped");
        }
    });
    s.send("\n");
    ASSERT_TRUE(s.expect("> stopped"));
    s.send("n\n");
    EXPECT_EQ(s.finish(), cat({opening, painted, {ready, "> command 1 0",
        "box caption: Tressilvandora Self-Expand Installer  ",
        std::string("box text: ") + leave,
        "box buttons: Yes/No",
        "> timer 1", "> timer 1", "> command 9 0", "> timer 1", "> stopped",
        "box answer: no", "> box returned 7",
        "> destroy", "dialog ended: 1", "result 1"}}));
}

// ---- the entry point --------------------------------------------------------

TEST(dialog_runtime, main_hands_the_arguments_to_winmain_as_one_line)
{
    struct run_case { std::string args, want; };
    const run_case cases[] = {
        {"", "instances 0 0, command line [], show 5"},
        {" a 'b c' d", "instances 0 0, command line [a b c d], show 5"},
    };
    for (const run_case &c : cases) {
        std::string cmd = std::string(MAIN_PROBE) + c.args;
        FILE *p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[256] = {};
        size_t n = fread(buf, 1, sizeof buf - 1, p);
        int status = pclose(p);
        EXPECT_EQ(std::string(buf, n), c.want + "\n");
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 7) << "main returns what WinMain returns";
    }
}

}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
