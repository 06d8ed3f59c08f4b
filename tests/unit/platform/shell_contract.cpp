// shell_contract.cpp: the shell's "open" as the installer relies on it: the
// program starts, the call returns at once, and the program's file cannot be
// deleted until the program has ended.
#include <chrono>
#include <string>
#include <thread>

#include "scratch.h"

namespace {

class shell : public scratch {
protected:
    // The sleeper helper sits next to this test program.
    std::string sleeper_source()
    {
        char buf[1024];
        os_own_path(0, buf, sizeof buf);
        std::string own = buf;
        return own.substr(0, own.rfind(os_sep) + 1) + QOX_SLEEPER_NAME;
    }
};

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return s;
}

TEST_F(shell, delete_fails_while_the_program_runs)
{
    // Copied into the scratch directory through the platform, upper case, as
    // the installer writes an archive entry; opened by its lower-case name,
    // as a record names it.
    std::string name = QOX_SLEEPER_NAME;
    std::string image = get_file(sleeper_source());
    ASSERT_FALSE(image.empty()) << sleeper_source();
    qfile f = os_create(upper(name).c_str());
    ASSERT_NE(f, qfile_bad);
    ASSERT_EQ(os_write(f, image.data(), (int)image.size()), (int)image.size());
    ASSERT_EQ(os_close(f), 0);

    std::string path = dir + os_sep + name;
    auto start = std::chrono::steady_clock::now();
    os_shell_open(path.c_str());
    EXPECT_FALSE(os_delete(name.c_str())) << "the program runs";

    bool deleted = false;
    while (!deleted && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        deleted = os_delete(name.c_str());
    }
    EXPECT_TRUE(deleted) << "the program ended, its file can go";
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400))
        << "it was not deleted before the program could have ended";
    EXPECT_FALSE(file_exists(at(upper(name))));
}

} // namespace
