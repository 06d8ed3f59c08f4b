// extract.cpp: the extract command: every entry written below one folder,
// nothing run. Each level is opened relative to the one above it without
// following links, so neither a name nor a link already in the folder can
// lead a write outside it.
#include "commands.h"
#include "fail.h"
#include "layout.h"
#include "sfx.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open directory descriptor that closes itself.
struct dir_fd {
    int fd = -1;
    dir_fd() = default;
    explicit dir_fd(int f) : fd(f) {}
    dir_fd(dir_fd &&o) noexcept : fd(o.fd) { o.fd = -1; }
    dir_fd &operator=(dir_fd &&o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
    ~dir_fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

class writer : public entry_visitor {
public:
    writer(int root, std::string dir) : root_(root), dir_(std::move(dir)) {}

    int files = 0, skipped = 0, failed = 0;
    uint64_t bytes = 0;

    bool begin(const sfx_entry &e) override
    {
        out_ = -1;
        write_failed_ = false;
        std::string problem = layout::name_problem(e.name);
        if (!problem.empty())
            return skip(e, problem);
        // Every level before the last is a folder, made if missing.
        dir_fd here(dup(root_));
        if (here.fd < 0)
            return fail(e, "cannot open the folder");
        size_t start = 0;
        for (size_t cut; (cut = e.name.find('\\', start)) != std::string::npos; start = cut + 1) {
            std::string level = e.name.substr(start, cut - start);
            int next = openat(here.fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT) {
                if (mkdirat(here.fd, level.c_str(), 0777) != 0 && errno != EEXIST)
                    return fail(e, "cannot create the folder " + quote(level));
                next = openat(here.fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }
            if (next < 0) {
                if (errno == ELOOP || errno == ENOTDIR)
                    return skip(e, quote(e.name.substr(0, cut)) +
                                       " is already there as a link or a file, not a folder");
                return fail(e, "cannot open the folder " + quote(e.name.substr(0, cut)));
            }
            here = dir_fd(next);
        }
        // The file replaces whatever stands there: a link is removed, not
        // followed, and a file with other hard links is not written through.
        std::string base = e.name.substr(start);
        if (unlinkat(here.fd, base.c_str(), 0) != 0 && errno != ENOENT) {
            if (errno == EISDIR || errno == EPERM)
                return skip(e, "a folder of that name is already there");
            return fail(e, "cannot replace the file there");
        }
        out_ = openat(here.fd, base.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out_ < 0)
            return fail(e, "cannot create the file");
        return true;
    }

    void data(const uint8_t *p, int n) override
    {
        while (n > 0 && !write_failed_) {
            ssize_t w = ::write(out_, p, (size_t)n);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                write_errno_ = w < 0 ? errno : ENOSPC;
                write_failed_ = true;
                break;
            }
            p += w;
            n -= (int)w;
            bytes += (uint64_t)w;
        }
    }

    void end(const sfx_entry &e, int64_t) override
    {
        if (write_failed_) {
            errno = write_errno_;
            fail(e, "cannot write the file");
        } else {
            std::time_t t;
            if (layout::dos_block_time(e.time_block, &t)) {
                struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
                futimens(out_, times);
            } else {
                warn(quote(e.name) + ": the time stamp " + layout::dos_block_text(e.time_block) +
                     " is not a real date; the file keeps the current time");
            }
            files++;
        }
        if (::close(out_) != 0 && !write_failed_) {
            fail(e, "cannot write the file");
            files--;
        }
        out_ = -1;
    }

private:
    bool skip(const sfx_entry &e, const std::string &why)
    {
        report_error("skipping " + quote(e.name) + ": " + why);
        skipped++;
        return false;
    }
    bool fail(const sfx_entry &e, const std::string &what)
    {
        int err = errno;
        report_error(quote(dir_) + ": " + quote(e.name) + ": " + what + ": " +
                     std::strerror(err));
        failed++;
        return false;
    }

    int root_;
    std::string dir_;
    int out_ = -1;
    bool write_failed_ = false;
    int write_errno_ = 0;
};

} // namespace

int cmd_extract(const std::string &path, const std::string &dir)
{
    std::vector<std::string> faults;
    sfx_file f;
    bool readable = sfx_open(path, &f, faults);
    auto damaged = [&](const std::vector<std::string> &list) {
        for (auto &fault : list)
            report_error(fault);
        refuse(quote(path) + " is damaged");
    };
    if (!readable)
        damaged(faults);

    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        throw qoxpack_error(exit_io, "cannot create the folder " + quote(dir) + ": " +
                                         ec.message());
    dir_fd root(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.fd < 0)
        io_fail("cannot open the folder " + quote(dir));

    temp_file stream(temp_file::scratch_dir(), "qoxpack-stream");
    std::vector<std::string> expand_faults;
    if (!sfx_expand(f, stream, expand_faults))
        damaged(expand_faults);
    stream.close();

    writer w(root.fd, dir);
    walk_outcome walk = sfx_walk(stream.path(), f.expanded_length, &w);
    printf("%s: %d %s (%s bytes) written into %s\n", path.c_str(), w.files,
           w.files == 1 ? "file" : "files", std::to_string(w.bytes).c_str(), dir.c_str());
    fflush(stdout);
    if (!walk.faults.empty())
        damaged(walk.faults);
    if (w.failed)
        throw qoxpack_error(exit_io, std::to_string(w.failed) + " of the entries could not be written");
    if (w.skipped)
        refuse(std::to_string(w.skipped) + (w.skipped == 1 ? " entry was" : " entries were") +
               " refused and not written");
    return exit_ok;
}
