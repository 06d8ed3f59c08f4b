// scratch.h: the platform tests' fixture: a fresh directory under the
// platform's Windows directory for each test, current while the test runs and
// removed after it; and small file helpers that go around the backend.
#ifndef QOX_TEST_SCRATCH_H
#define QOX_TEST_SCRATCH_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform.h"

class scratch : public ::testing::Test {
protected:
    std::string dir;         // the scratch directory, as the platform names it
    std::string before;      // the current directory before the test

    void SetUp() override
    {
        char buf[1024];
        os_current_dir(buf, sizeof buf);
        before = buf;
        os_windows_dir(buf, sizeof buf);
        std::random_device rd;
        char name[64];
        snprintf(name, sizeof name, "qoxtest-%08x%08x", (unsigned)rd(), (unsigned)rd());
        dir = std::string(buf) + os_sep + name;
        ASSERT_TRUE(os_mkdir(dir.c_str())) << dir;
        ASSERT_TRUE(os_chdir(dir.c_str())) << dir;
    }

    void TearDown() override
    {
        os_chdir(before.c_str());
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // `name` inside the scratch directory, joined the platform's way.
    std::string at(const std::string &name) const { return dir + os_sep + name; }
};

// Writes and reads whole files without the backend under test.
inline void put_file(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
    ASSERT_TRUE(out.good()) << path;
}

inline bool file_exists(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

inline std::string get_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares bytes, and on a difference says where, not what: the data are
// large and binary.
inline ::testing::AssertionResult same_bytes(const std::string &got, const std::string &want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        i++;
    return ::testing::AssertionFailure() << got.size() << " bytes where " << want.size()
                                         << " were expected; first difference at offset " << i;
}

// Bytes that differ from position to position, so a misplaced block shows.
inline std::string pattern(size_t n, unsigned seed = 1)
{
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345;
        s[i] = (char)(x >> 16);
    }
    return s;
}

#endif
