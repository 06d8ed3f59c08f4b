// posix_backend.cpp: what the POSIX backend adds beneath the contract: failures
// provoked through its table of OS calls, the buffered handles, case-blind
// names, the /proc in-use rule and the start of programs.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "scratch.h"
#include "sys.h"

extern char **environ;

namespace {

class posix : public scratch {
protected:
    void TearDown() override
    {
        sys_reset();
        for (pid_t p : children) {
            kill(p, SIGKILL);
            waitpid(p, 0, 0);
        }
        scratch::TearDown();
    }

    // Starts `sh -c script args...` in the scratch directory.
    pid_t sh(const std::string &script, std::vector<std::string> args = {})
    {
        std::vector<std::string> all = {"sh", "-c", script, "sh"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        pid_t pid;
        EXPECT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, argv.data(), environ), 0);
        children.push_back(pid);
        return pid;
    }

    void end(pid_t pid)
    {
        kill(pid, SIGKILL);
        waitpid(pid, 0, 0);
        children.erase(std::find(children.begin(), children.end(), pid));
    }

    std::vector<pid_t> children;
};

bool wait_for(const std::string &path, int seconds = 10)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!file_exists(path)) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

mode_t mode_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// ---- failures through the table -------------------------------------------------

int writes, reads, seeks;
int write_budget;            // bytes the fake disk still takes

ssize_t counting_write(int fd, const void *p, size_t n)
{
    writes++;
    return write(fd, p, n);
}

ssize_t counting_read(int fd, void *p, size_t n)
{
    reads++;
    return read(fd, p, n);
}

off_t counting_lseek(int fd, off_t o, int w)
{
    seeks++;
    return lseek(fd, o, w);
}

// A disk that fills up: a short write, then ENOSPC.
ssize_t filling_write(int fd, const void *p, size_t n)
{
    if (write_budget <= 0) {
        errno = ENOSPC;
        return -1;
    }
    size_t k = n < (size_t)write_budget ? n : (size_t)write_budget;
    write_budget -= (int)k;
    return write(fd, p, k);
}

TEST_F(posix, a_full_disk_shows_at_close_when_the_writes_were_buffered)
{
    qfile f = os_create("full");
    ASSERT_NE(f, qfile_bad);
    write_budget = 1000;
    sys.write = filling_write;
    std::string block = pattern(256);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(os_write(f, block.data(), 256), 256);
    EXPECT_EQ(os_close(f), -1);
    EXPECT_TRUE(same_bytes(get_file(at("full")), (block + block + block + block).substr(0, 1000)))
        << "what fitted was stored";
}

TEST_F(posix, a_full_disk_shows_at_a_write_and_then_at_every_later_one)
{
    qfile f = os_create("full");
    ASSERT_NE(f, qfile_bad);
    write_budget = 70000;
    sys.write = filling_write;
    std::string block = pattern(256);
    int first_failure = -1;
    for (int i = 0; i < 600 && first_failure < 0; i++)
        if (os_write(f, block.data(), 256) != 256)
            first_failure = i;
    ASSERT_GE(first_failure, 0) << "a failure must show before the close";
    EXPECT_LE(first_failure, 2 * 65536 / 256 + 1) << "within two buffers of the fault";
    EXPECT_EQ(os_write(f, block.data(), 256), -1);
    EXPECT_EQ(os_close(f), -1);
}

int fail_errno;
int failing_open(const char *, int, mode_t) { errno = fail_errno; return -1; }
int failing_path(const char *) { errno = fail_errno; return -1; }
int failing_mkdir(const char *, mode_t) { errno = fail_errno; return -1; }
int failing_utimensat(int, const char *, const struct timespec *, int) { errno = EPERM; return -1; }

TEST_F(posix, calls_that_fail_are_reported)
{
    put_file(at("f"), "x");
    ASSERT_TRUE(os_mkdir("d"));
    fail_errno = EACCES;
    sys.open = failing_open;
    EXPECT_EQ(os_create("new"), qfile_bad);
    EXPECT_EQ(os_open("f"), qfile_bad);
    sys.unlink = failing_path;
    EXPECT_FALSE(os_delete("f"));
    EXPECT_TRUE(file_exists(at("f")));
    sys.rmdir = failing_path;
    EXPECT_FALSE(os_rmdir("d"));
    sys.chdir = failing_path;
    EXPECT_FALSE(os_chdir("d"));
    sys.mkdir = failing_mkdir;
    EXPECT_FALSE(os_mkdir("e"));
    sys.utimensat = failing_utimensat;
    EXPECT_FALSE(os_set_time("f", 0x5A2F0000));
    sys_reset();

    // Failed opens took no handle: all eight are free.
    std::vector<qfile> open;
    for (int i = 0; i < 8; i++) {
        open.push_back(os_open("f"));
        EXPECT_NE(open.back(), qfile_bad);
    }
    EXPECT_EQ(os_open("f"), qfile_bad) << "the table is full";
    os_close(open.back());
    open.pop_back();
    qfile again = os_open("f");
    EXPECT_NE(again, qfile_bad) << "a closed handle's slot is used again";
    open.push_back(again);
    for (qfile h : open)
        EXPECT_EQ(os_close(h), 0);
    EXPECT_EQ(os_close(again), -1) << "a closed handle is no handle";
}

// ---- buffered handles -------------------------------------------------------------

TEST_F(posix, small_reads_and_writes_seldom_reach_the_os)
{
    sys.write = counting_write;
    sys.read = counting_read;
    sys.lseek = counting_lseek;
    writes = reads = seeks = 0;
    std::string data = pattern(51200);
    qfile f = os_create("counted");
    for (int i = 0; i < 200; i++)
        ASSERT_EQ(os_write(f, data.data() + i * 256, 256), 256);
    EXPECT_EQ(writes, 0);
    ASSERT_EQ(os_close(f), 0);
    EXPECT_EQ(writes, 1);

    f = os_open("counted");
    char buf[256];
    for (int i = 0; i < 200; i++) {
        ASSERT_EQ(os_read(f, buf, 256), 256);
        ASSERT_TRUE(same_bytes(std::string(buf, 256), data.substr(i * 256, 256)));
    }
    EXPECT_EQ(reads, 1);
    // The installer's name read: 256 bytes, then a seek back within them.
    ASSERT_EQ(os_seek(f, 1000, seek_set), 1000);
    ASSERT_EQ(os_read(f, buf, 256), 256);
    ASSERT_EQ(os_seek(f, -200, seek_cur), 1056);
    ASSERT_EQ(os_read(f, buf, 8), 8);
    EXPECT_EQ(std::string(buf, 8), data.substr(1056, 8));
    EXPECT_EQ(seeks, 0);
    EXPECT_EQ(reads, 1);
    os_close(f);

    // Seeks to the end of what one read buffers, and one byte past it.
    put_file(at("long"), data + data + data);
    for (long to : {65536L, 65537L, 65535L}) {
        f = os_open("long");
        ASSERT_EQ(os_read(f, buf, 10), 10);
        ASSERT_EQ(os_seek(f, to, seek_set), to);
        ASSERT_EQ(os_read(f, buf, 4), 4);
        EXPECT_EQ(std::string(buf, 4), (data + data + data).substr(to, 4)) << to;
        os_close(f);
    }
}

// Reads, writes and seeks in random order against a model of the file.
TEST_F(posix, a_handle_stays_coherent_through_mixed_reads_writes_and_seeks)
{
    std::mt19937 rng(20240501);
    std::string model;
    long pos = 0;
    qfile f = os_create("mixed");
    ASSERT_NE(f, qfile_bad);
    std::vector<char> buf(140000);
    for (int step = 0; step < 3000; step++) {
        int op = (int)(rng() % 4);
        int n = (int)(rng() % 10 == 0 ? rng() % 140000 : rng() % 600);
        if (op == 0) {
            std::string data = pattern(n, (unsigned)step);
            ASSERT_EQ(os_write(f, data.data(), n), n);
            if ((long)model.size() < pos + n)
                model.resize(pos + n, '\0');
            model.replace(pos, n, data);
            pos += n;
        } else if (op == 1) {
            int got = os_read(f, buf.data(), n);
            long want = std::max(0L, std::min<long>(n, (long)model.size() - pos));
            ASSERT_EQ(got, want) << "step " << step;
            ASSERT_TRUE(same_bytes(std::string(buf.data(), got), model.substr(pos, got))) << "step " << step;
            pos += got;
        } else if (op == 2) {
            // Often next to a multiple of the handle's buffer size.
            long to = (long)(rng() % (model.size() + 1));
            if (rng() % 2)
                to = std::min<long>((long)model.size(), std::max(0L, (long)(to / 65536 * 65536) + (long)(rng() % 3) - 1));
            ASSERT_EQ(os_seek(f, to, seek_set), to);
            pos = to;
        } else {
            long back = pos ? (long)(rng() % (pos + 1)) : 0;
            ASSERT_EQ(os_seek(f, -back, seek_cur), pos - back);
            pos -= back;
        }
    }
    ASSERT_EQ(os_close(f), 0);
    EXPECT_TRUE(same_bytes(get_file(at("mixed")), model));
}

// ---- names ------------------------------------------------------------------------

TEST_F(posix, names_resolve_level_by_level_and_new_names_keep_their_case)
{
    std::filesystem::create_directories(at("DISK1/SUB"));
    put_file(at("DISK1/SUB/SETUP.EXE"), "old");
    // Creating an existing name in another case empties that file, as on a
    // case-blind file system; it does not make a second one.
    qfile f = os_create("disk1\\sub\\setup.exe");
    ASSERT_NE(f, qfile_bad);
    os_write(f, "new", 3);
    os_close(f);
    EXPECT_EQ(get_file(at("DISK1/SUB/SETUP.EXE")), "new");
    EXPECT_FALSE(file_exists(at("DISK1/SUB/setup.exe")));
    // A new name lands in the existing directories, spelled as given.
    f = os_create("Disk1\\Sub\\New.Txt");
    ASSERT_NE(f, qfile_bad);
    os_close(f);
    EXPECT_TRUE(file_exists(at("DISK1/SUB/New.Txt")));
    // Levels of '.' and '..' and mixed separators.
    f = os_open("disk1/./sub\\..\\SUB/setup.EXE");
    ASSERT_NE(f, qfile_bad);
    os_close(f);
    // An absolute path resolves the same way.
    std::string abs = dir + "/disk1/sub/SETUP.exe";
    EXPECT_TRUE(os_set_time(abs.c_str(), 0x5A2F0000));
    EXPECT_TRUE(os_delete(abs.c_str()));
    EXPECT_FALSE(file_exists(at("DISK1/SUB/SETUP.EXE")));
}

TEST_F(posix, an_exact_name_wins_over_one_in_another_case)
{
    put_file(at("a"), "lower");
    put_file(at("A"), "upper");
    char buf[8] = {};
    qfile f = os_open("a");
    EXPECT_EQ(os_read(f, buf, 8), 5);
    EXPECT_STREQ(buf, "lower");
    os_close(f);
    f = os_open("A");
    EXPECT_EQ(os_read(f, buf, 8), 5);
    EXPECT_STREQ(buf, "upper");
    os_close(f);
}

TEST_F(posix, own_path_windows_dir_and_drive)
{
    char buf[1024];
    os_own_path(0, buf, sizeof buf);
    char real[1024] = {};
    ASSERT_GT(readlink("/proc/self/exe", real, sizeof real - 1), 0);
    EXPECT_STREQ(buf, real);
    os_windows_dir(buf, sizeof buf);
    EXPECT_STREQ(buf, "/tmp");
    EXPECT_EQ(os_current_drive(), -1) << "never A: or B:";
    EXPECT_EQ(os_sep, '/');
}

// ---- times ------------------------------------------------------------------------

TEST_F(posix, set_time_leaves_the_access_time_and_refuses_29_february_of_a_common_year)
{
    put_file(at("t"), "");
    struct timespec ts[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, at("t").c_str(), ts, 0), 0);
    ASSERT_TRUE(os_set_time("t", (unsigned long)((41 << 9 | 3 << 5 | 1) << 16)));
    struct stat st;
    ASSERT_EQ(stat(at("t").c_str(), &st), 0);
    EXPECT_EQ(st.st_atime, 1000000000);
    EXPECT_NE(st.st_mtime, 1000000000);
    EXPECT_FALSE(os_set_time("t", (unsigned long)((21 << 9 | 2 << 5 | 29) << 16))) << "2001-02-29";
    EXPECT_TRUE(os_set_time("t", (unsigned long)((20 << 9 | 2 << 5 | 29) << 16))) << "2000-02-29";
}

// ---- files in use -------------------------------------------------------------------

TEST_F(posix, a_file_another_process_holds_open_cannot_be_deleted)
{
    put_file(at("held"), "x");
    pid_t p = sh("exec 3<held; : > ready; exec sleep 30");
    ASSERT_TRUE(wait_for(at("ready")));
    EXPECT_FALSE(os_delete("held"));
    // Another name of the same file is the same file.
    ASSERT_EQ(link(at("held").c_str(), at("alias").c_str()), 0);
    EXPECT_FALSE(os_delete("alias"));
    end(p);
    EXPECT_TRUE(os_delete("alias"));
    EXPECT_TRUE(os_delete("held"));
}

TEST_F(posix, a_file_this_process_maps_cannot_be_deleted)
{
    put_file(at("mapped"), pattern(4096));
    int fd = open(at("mapped").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    void *m = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    ASSERT_NE(m, MAP_FAILED);
    EXPECT_FALSE(os_delete("mapped"));
    munmap(m, 4096);
    EXPECT_TRUE(os_delete("mapped"));
}

TEST_F(posix, a_file_named_on_a_running_command_line_cannot_be_deleted)
{
    // As an interpreter names its script, whether or not it keeps it open.
    put_file(at("script.py"), "");
    pid_t p = sh(": > ready; sleep 5", {"script.py"});
    ASSERT_TRUE(wait_for(at("ready")));
    EXPECT_FALSE(os_delete("script.py"));
    end(p);
    EXPECT_TRUE(os_delete("script.py"));
}

// A kernel without leases (or a file system that refuses them): the scan
// alone must decide.
int no_lease(int fd, int cmd, int arg)
{
    if (cmd == F_SETLEASE) {
        errno = EINVAL;
        return -1;
    }
    return fcntl(fd, cmd, arg);
}

TEST_F(posix, every_kind_of_holder_blocks_the_delete_with_leases_and_without)
{
    struct holder {
        const char *what;
        const char *script;  // run by sh with the file's name as $1; empty: mapped here
    };
    const holder holders[] = {
        {"open for reading elsewhere", "exec 3<\"$1\"; : > ready; exec sleep 30"},
        {"open for writing elsewhere", "exec 3>>\"$1\"; : > ready; exec sleep 30"},
        {"named on a command line", ": > ready; sleep 30"},
        {"mapped by this process", ""},
    };
    for (bool leases : {true, false}) {
        for (const holder &h : holders) {
            SCOPED_TRACE(std::string(h.what) + (leases ? ", leases" : ", no leases"));
            sys_reset();
            if (!leases)
                sys.fcntl = no_lease;
            put_file(at("file.dat"), pattern(4096));
            unlink(at("ready").c_str());
            pid_t p = 0;
            void *m = MAP_FAILED;
            if (*h.script) {
                p = sh(h.script, {"file.dat"});
                ASSERT_TRUE(wait_for(at("ready")));
            } else {
                int fd = open(at("file.dat").c_str(), O_RDONLY);
                ASSERT_GE(fd, 0);
                m = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
                close(fd);
                ASSERT_NE(m, MAP_FAILED);
            }
            EXPECT_FALSE(os_delete("file.dat"));
            EXPECT_TRUE(file_exists(at("file.dat")));
            if (p)
                end(p);
            else
                munmap(m, 4096);
            EXPECT_TRUE(os_delete("file.dat")) << "free again";
        }
    }
}

// The look at a file nobody holds takes no descriptor and leaves no lease
// behind: a lease left on it would hold up every later opener.
TEST_F(posix, the_look_at_a_file_leaves_it_free)
{
    auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    put_file(at("named.txt"), "x");
    pid_t p = sh(": > ready; sleep 30", {"named.txt"});
    ASSERT_TRUE(wait_for(at("ready")));
    auto before = descriptors();
    EXPECT_FALSE(os_delete("named.txt")) << "named on a command line";
    EXPECT_EQ(descriptors(), before);
    pid_t child = fork();
    if (child == 0) {
        // Breaking a lease would make this open wait or fail.
        int fd = open("named.txt", O_RDWR | O_NONBLOCK);
        _exit(fd >= 0 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opens it at once";
    end(p);
    EXPECT_TRUE(os_delete("named.txt"));
    EXPECT_EQ(descriptors(), before);
}

// ---- the shell -----------------------------------------------------------------------

TEST_F(posix, a_script_runs_in_the_current_directory_with_no_input_and_blocks_its_deletion)
{
    put_file(at("SETUP.SH"),
             "#!/bin/sh\npwd > where\ncat > input\nsleep 1\necho done > finished\n");
    ASSERT_FALSE(mode_of(at("SETUP.SH")) & S_IXUSR);
    os_shell_open("setup.sh");
    EXPECT_TRUE(mode_of(at("SETUP.SH")) & S_IXUSR) << "made executable";
    EXPECT_FALSE(file_exists(at("finished"))) << "the call does not wait for the end";
    EXPECT_FALSE(os_delete("setup.sh")) << "the interpreter runs it";
    ASSERT_TRUE(wait_for(at("finished")));
    char cwd[1024];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    EXPECT_EQ(get_file(at("where")), std::string(cwd) + "\n");
    EXPECT_EQ(get_file(at("input")), "") << "standard input is /dev/null";
    bool deleted = false;
    for (int i = 0; i < 100 && !deleted; i++) {
        deleted = os_delete("setup.sh");
        if (!deleted)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(deleted);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "no child of ours is left, not even a zombie";
    EXPECT_EQ(errno, ECHILD);
}

// Runs in the middle process: writes what would have been started.
int recording_spawn(pid_t *, const char *path, const posix_spawn_file_actions_t *,
                    const posix_spawnattr_t *, char *const argv[], char *const[], int search)
{
    std::string s = std::string(path) + "|" + (search ? "search" : "direct");
    for (int i = 0; argv[i]; i++)
        s += std::string("|") + argv[i];
    int fd = open("spawned", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ssize_t ignored = write(fd, s.data(), s.size());
    (void)ignored;
    close(fd);
    return ENOENT;
}

TEST_F(posix, programs_are_started_and_other_files_handed_to_xdg_open)
{
    sys.spawn = recording_spawn;
    put_file(at("ReadMe.Txt"), "hello");
    os_shell_open("readme.txt");
    EXPECT_EQ(get_file(at("spawned")), "xdg-open|search|xdg-open|ReadMe.Txt");

    put_file(at("PROG"), std::string("\x7f" "ELF\x01\x01", 6));
    std::remove(at("spawned").c_str());
    os_shell_open(("sub\\..\\prog"));
    EXPECT_FALSE(file_exists(at("spawned"))) << "no directory sub: no such file";
    ASSERT_TRUE(os_mkdir("sub"));
    os_shell_open(("sub\\..\\prog"));
    EXPECT_EQ(get_file(at("spawned")), "sub/../PROG|direct|sub/../PROG");
    EXPECT_TRUE(mode_of(at("PROG")) & S_IXUSR);

    std::remove(at("spawned").c_str());
    os_shell_open("missing");
    EXPECT_FALSE(file_exists(at("spawned"))) << "nothing to open, nothing started";
}

// ---- LZ ------------------------------------------------------------------------------

TEST_F(posix, lz_reports_a_full_disk_and_a_cut_stream)
{
    std::string data = pattern(100000);
    std::string stream = std::string("SZDD\x88\xF0\x27\x33" "A_", 10);
    for (int i = 0; i < 4; i++)
        stream += (char)(data.size() >> (8 * i));
    for (size_t i = 0; i < data.size(); i += 8)
        stream += '\xFF' + data.substr(i, 8);
    put_file(at("in"), stream);
    put_file(at("cut"), stream.substr(0, 50000));
    qofs ofs;

    qfile s = lz_open("in", &ofs, lz_style_read);
    qfile d = lz_open("out", &ofs, lz_style_create);
    write_budget = 20000;
    sys.write = filling_write;
    EXPECT_EQ(lz_copy(s, d), -4);
    sys_reset();
    lz_close(s);
    os_close(d);

    s = lz_open("cut", &ofs, lz_style_read);
    d = lz_open("out", &ofs, lz_style_create);
    EXPECT_EQ(lz_copy(s, d), -3);
    lz_close(s);
    EXPECT_EQ(os_close(d), 0);
    EXPECT_TRUE(same_bytes(get_file(at("out")), data.substr(0, get_file(at("out")).size())))
        << "what could be expanded stays";
    EXPECT_GT(get_file(at("out")).size(), 40000u);

    EXPECT_EQ(lz_copy(qfile_bad, d), -2) << "d is closed";
}

} // namespace
