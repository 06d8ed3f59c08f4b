// Each kind of OS call failing in turn during a real installation, in
// process: what the user is told, what is launched, what stays in the target,
// and that nothing outside the target is written or removed.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include "harness.h"
#include "platform.h"
#include "qoxdlg.h"

namespace {

namespace fs = std::filesystem;

const std::string damaged =
    QOX_TITLE "|The files could not be expanded: the archive is damaged or the disk is full.";
const std::string leave = QOX_TITLE
    "|Leave this window here until the install finishes, then click YES to delete temporary files.";
const uint32_t stamp = (uint32_t)((41u << 9 | 7u << 5 | 4u) << 16 | (13u << 11 | 45u << 5 | 15u));

// Large enough that every temporary file and DATA.TXT pass through the
// backend's 64 KiB buffers several times.
std::string data_text()
{
    std::string s;
    uint32_t x = 12345;
    while (s.size() < 300000) {
        x = x * 1103515245u + 12345u;
        s += (char)('a' + (x >> 16) % 26);
        if (x % 7 == 0)
            s += "common phrase ";
    }
    return s;
}

const std::string setup = "#!/bin/sh\nexit 0\n";
const std::string data = data_text();

enum class shown { nothing, leave, damaged, directory_error };

struct scenario {
    const char *what;
    fault f;
    std::string record = "SETUP.SH";
    bool deep = true;          // the archive has SUB\DEEP.TXT, whose folder stays
    int answer = answer_no;
    shown box;
    int launches;
    std::set<std::string> files;   // regular files left in the target
    bool target_stays = true;
    int result = 1;                // the dialog's result
};

// Test names show the scenario, not its bytes.
void PrintTo(const scenario &s, std::ostream *os)
{
    *os << s.what;
}

const std::set<std::string> all = {"SETUP.SH", "DATA.TXT", "SUB/DEEP.TXT"};
const std::set<std::string> flat = {"SETUP.SH", "DATA.TXT"};
const std::set<std::string> none;

std::vector<scenario> scenarios()
{
    auto F = [](call c, const char *on, int after = 0) { fault f; f.what = c; f.on = on; f.after = after; return f; };
    std::set<std::string> temps = {"SETUP.SH", "DATA.TXT", "SUB/DEEP.TXT", "~un1", "~un2"};
    return {
        {"no fault", {}, "SETUP.SH", true, answer_no, shown::leave, 1, all},
        // Writes and reads that fail: a damaged installation, never launched.
        {"~un1 cannot be created", F(call::create, "~un1"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un2 cannot be created", F(call::create, "~un2"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un1 finds the disk full", F(call::write, "~un1"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un1 written short", F(call::write_short, "~un1", 1), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un2 finds the disk full", F(call::write, "~un2", 1), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"an entry finds the disk full", F(call::write, "DATA.TXT", 2), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"an entry written short", F(call::write_short, "DATA.TXT"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"an entry cannot be closed", F(call::close, "DATA.TXT"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un1 cannot be closed", F(call::close, "~un1"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"the stub copy finds the disk full", F(call::write, "QOX32.EXE"), "SETUP.SH,,self", true, answer_no, shown::damaged, 0, none, false},
        {"the own file fails after the record", F(call::read, "install.run", 1), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"the own file cannot be read at all", F(call::read, "install.run"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"the own file cannot be positioned", F(call::lseek, "install.run"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un1 cannot be read", F(call::read, "~un1"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un2 cannot be read", F(call::read, "~un2"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        {"~un2 cannot be positioned", F(call::lseek, "~un2"), "SETUP.SH", true, answer_no, shown::damaged, 0, none, false},
        // The target directory: the one failure the user is told of by name.
        {"the target cannot be made", F(call::mkdir, "~tempAA.AAA"), "SETUP.SH", true, answer_no, shown::directory_error, 0, none, false, 2},
        {"the target cannot be entered", F(call::chdir, "~tempAA.AAA"), "SETUP.SH", true, answer_no, shown::directory_error, 0, none, true, 2},
        // Failures the installation survives: an entry that cannot be made is
        // skipped and the rest are read from the right place.
        {"an entry cannot be created", F(call::create, "DATA.TXT"), "SETUP.SH", true, answer_no, shown::leave, 1, {"SETUP.SH", "SUB/DEEP.TXT"}},
        {"an entry's folder cannot be made", F(call::mkdir, "SUB"), "SETUP.SH", true, answer_no, shown::leave, 1, flat},
        {"times cannot be set", F(call::utimes, ""), "SETUP.SH", true, answer_no, shown::leave, 1, all},
        {"nothing can be deleted", F(call::unlink, ""), "SETUP.SH", true, answer_yes, shown::leave, 1, temps},
        {"the target cannot be removed", F(call::rmdir, ""), "SETUP.SH", false, answer_yes, shown::leave, 1, none},
        {"the launch cannot start", F(call::fork, ""), "SETUP.SH", false, answer_yes, shown::leave, 1, none, false},
        {"the program cannot be started", F(call::spawn, ""), "SETUP.SH", false, answer_yes, shown::leave, 1, none, false},
        {"auto mode, the launch cannot start", F(call::fork, ""), "SETUP.SH,auto", false, answer_no, shown::nothing, 1, none, false},
        {"auto mode, nothing can be deleted", F(call::unlink, ""), "SETUP.SH,auto", false, answer_no, shown::nothing, 1,
         {"SETUP.SH", "DATA.TXT", "~un1", "~un2"}, true, 2},   // polls until the user cancels
    };
}

// Every file under `root` with its contents, paths relative to `root`.
std::map<std::string, std::string> tree(const fs::path &root, const fs::path &skip = {})
{
    std::map<std::string, std::string> out;
    if (!fs::exists(root))
        return out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (!skip.empty() && it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        std::string rel = fs::relative(it->path(), root).string();
        if (it->is_regular_file()) {
            std::ifstream in(it->path(), std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            out[rel] = ss.str();
        } else {
            out[rel + "/"] = "";
        }
    }
    return out;
}

std::set<std::string> files_in(const fs::path &root)
{
    std::set<std::string> out;
    for (auto &[name, text] : tree(root))
        if (name.back() != '/')
            out.insert(name);
    return out;
}

class faults : public ::testing::TestWithParam<scenario> {
protected:
    fs::path base = fs::temp_directory_path() / ("qox-faults-" + std::to_string(getpid()));
    fs::path exe = base / "install.run";
    fs::path target = base / "~tempAA.AAA";

    void SetUp() override
    {
        fs::remove_all(base);
        fs::create_directories(base / "near");
        std::ofstream(base / "victim") << "keep";
        std::ofstream(base / "near" / "DATA.TXT") << "keep too";
    }
    void TearDown() override { fs::remove_all(base); }
};

TEST_P(faults, the_installer_answers_as_defined)
{
    const scenario &s = GetParam();
    std::string stream = entry("SETUP.SH", stamp, setup) + entry("DATA.TXT", stamp, data);
    if (s.deep)
        stream += entry("SUB\\DEEP.TXT", stamp, "deep");
    write_sfx(exe.string(), s.record, stream);
    auto outside = tree(base, target);

    user_script u;
    u.answer = s.answer;
    run_log log = run_installer(exe.string(), s.f, u);

    EXPECT_EQ(log.winmain, 0);
    if (s.f.what != call::none)
        EXPECT_GT(log.failures, 0) << "the planned fault never happened";
    EXPECT_EQ(tree(base, target), outside) << "something outside the target changed";

    std::vector<std::string> want_boxes;
    if (s.box == shown::leave)
        want_boxes = {leave};
    else if (s.box == shown::damaged)
        want_boxes = {damaged};
    else if (s.box == shown::directory_error)
        want_boxes = {"Directory Error!|" + target.string()};
    EXPECT_EQ(log.boxes, want_boxes);
    EXPECT_EQ(log.launches, s.launches);
    EXPECT_EQ(log.result, s.result);

    EXPECT_EQ(fs::exists(target), s.target_stays);
    EXPECT_EQ(files_in(target), s.files);
    // What is left is whole: the installer never leaves a file it knows to
    // be half written.
    auto left = tree(target);
    if (left.count("DATA.TXT"))
        EXPECT_EQ(left["DATA.TXT"], data);
    if (left.count("SETUP.SH"))
        EXPECT_EQ(left["SETUP.SH"], setup);
}

INSTANTIATE_TEST_SUITE_P(each, faults, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<scenario> &i) {
                             std::string n;
                             for (char c : std::string(i.param.what))
                                 n += isalnum((unsigned char)c) ? c : '_';
                             return n;
                         });

} // namespace
