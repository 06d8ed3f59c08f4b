// tempfile.cpp: self-removing temporary files.
#include "tempfile.h"
#include "fail.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

// Paths of live temporary files, kept in plain arrays so that the interrupt
// handler may read them without taking locks or allocating.
static constexpr int max_live = 8;
static char live[max_live][4096];
static volatile sig_atomic_t live_used[max_live];

static void remove_live_and_die(int sig)
{
    for (int i = 0; i < max_live; i++)
        if (live_used[i])
            unlink(live[i]);
    signal(sig, SIG_DFL);
    raise(sig);
}

static int remember(const std::string &path)
{
    static bool handlers;
    if (!handlers) {
        handlers = true;
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            signal(sig, remove_live_and_die);
    }
    if (path.size() >= sizeof live[0])
        return -1;
    for (int i = 0; i < max_live; i++) {
        if (!live_used[i]) {
            memcpy(live[i], path.c_str(), path.size() + 1);
            live_used[i] = 1;
            return i;
        }
    }
    return -1;
}

static void forget(int slot)
{
    if (slot >= 0)
        live_used[slot] = 0;
}

temp_file::temp_file(const std::filesystem::path &dir, const std::string &stem)
{
    std::string pattern = (dir / (stem + ".XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    fd_ = mkstemp(buf.data());
    if (fd_ < 0)
        io_fail("cannot create a temporary file in " + quote(dir.string()));
    path_ = buf.data();
    slot_ = remember(path_);
}

std::filesystem::path temp_file::scratch_dir()
{
    std::error_code ec;
    auto dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : dir;
}

temp_file::~temp_file()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!path_.empty())
        unlink(path_.c_str());
    forget(slot_);
}

void temp_file::write_all(const void *p, size_t n)
{
    const char *b = static_cast<const char *>(p);
    while (n) {
        ssize_t w = ::write(fd_, b, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            io_fail("cannot write " + quote(path_));
        b += w;
        n -= (size_t)w;
    }
}

void temp_file::close()
{
    if (fd_ >= 0 && ::close(fd_) != 0) {
        fd_ = -1;
        io_fail("cannot write " + quote(path_));
    }
    fd_ = -1;
}

void temp_file::put_in_place(const std::filesystem::path &target, mode_t mode)
{
    if (fchmod(fd_, mode) != 0)
        io_fail("cannot make " + quote(path_) + " executable");
    if (fsync(fd_) != 0)
        io_fail("cannot write " + quote(path_));
    close();
    if (rename(path_.c_str(), target.c_str()) != 0)
        io_fail("cannot rename " + quote(path_) + " to " + quote(target.string()));
    path_.clear();
    forget(slot_);
    slot_ = -1;
}
