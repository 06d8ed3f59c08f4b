// sfx.cpp: reading a self-expanding file back, down to its entries.
#include "sfx.h"
#include "fail.h"
#include "layout.h"
#include "progress.h"

#include "record.h"
#include "szdd.h"
#include "walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A read-only descriptor that closes itself.
struct input_fd {
    int fd;
    explicit input_fd(const std::string &path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~input_fd() { if (fd >= 0) ::close(fd); }
};

// Reads up to n bytes at `offset`; the count read.
size_t read_at(int fd, uint8_t *buf, size_t n, uint64_t offset, const std::string &path)
{
    size_t have = 0;
    while (have < n) {
        ssize_t got = pread(fd, buf + have, n - have, (off_t)(offset + have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            io_fail("cannot read " + quote(path));
        if (got == 0)
            break;
        have += (size_t)got;
    }
    return have;
}

} // namespace

bool sfx_open(const std::string &path, sfx_file *f, std::vector<std::string> &faults)
{
    input_fd in(path);
    struct stat st;
    if (in.fd < 0 && errno == ENOENT)
        refuse("no such file: " + quote(path));
    if (in.fd < 0)
        io_fail("cannot open " + quote(path));
    if (fstat(in.fd, &st) != 0)
        io_fail("cannot read " + quote(path));
    if (S_ISDIR(st.st_mode))
        refuse(quote(path) + " is a folder, not a self-expanding file");
    f->path = path;
    f->size = (uint64_t)st.st_size;

    // The stub region: the stub, zero-filled to exactly 32768 bytes.
    f->stub.assign(layout::stub_region, 0);
    size_t got = read_at(in.fd, f->stub.data(), layout::stub_region, 0, path);
    f->stub.resize(got);
    if (got < layout::stub_region) {
        faults.push_back("the file is " + std::to_string(f->size) +
                         " bytes long; the stub region alone takes " +
                         std::to_string(layout::stub_region));
        return false;
    }
    if (std::all_of(f->stub.begin(), f->stub.end(), [](uint8_t b) { return b == 0; }))
        faults.push_back("the stub region holds only zero bytes: there is no stub");

    // The launch record: read as the installer reads it, 520 bytes at most.
    char buf[record_space] = {};
    int rgot = (int)read_at(in.fd, (uint8_t *)buf, record_read, stub_size, path);
    if (rgot == 0) {
        faults.push_back("nothing follows the stub region: no launch record, no archive");
        return false;
    }
    f->record.assign(buf, strnlen(buf, (size_t)rgot));
    launch_record rec;
    bool whole = record_split(buf, rgot, &rec);
    f->run = rec.run_program;
    f->chain = rec.chained_program;
    f->option = rec.stub_option;
    f->stream_offset = rec.stream_offset;
    if (!whole) {
        faults.push_back(rgot < record_read
                             ? "the file ends inside the launch record (no zero byte ends it)"
                             : "no zero byte ends the launch record within the 520 bytes read");
        return false;
    }
    for (auto &fault : layout::record_faults(f->record))
        faults.push_back(fault);

    // The SZDD header of the compressed stream.
    uint8_t head[szdd_header_size];
    size_t hgot = read_at(in.fd, head, sizeof head, (uint64_t)f->stream_offset, path);
    if (hgot == 0) {
        faults.push_back("nothing follows the launch record: no compressed stream");
        return false;
    }
    szdd_header h{};
    int status = szdd_read_header(head, hgot, &h);
    if (status == szdd_truncated) {
        faults.push_back("the file ends inside the SZDD header (" + std::to_string(hgot) +
                         " of " + std::to_string(szdd_header_size) + " bytes at offset " +
                         std::to_string(f->stream_offset) + ")");
        return false;
    }
    if (status == szdd_bad_signature) {
        faults.push_back("no SZDD signature at offset " + std::to_string(f->stream_offset) +
                         " (right after the record's zero byte)");
        return false;
    }
    if (status == szdd_bad_mode) {
        faults.push_back("the SZDD header's mode is not 'A'");
        return false;
    }
    if (status != szdd_ok) {
        faults.push_back(std::string("the SZDD header cannot be read: ") + szdd_message(status));
        return false;
    }
    f->expanded_length = h.length;
    f->last_char = h.last_char;
    if (h.length > (uint32_t)layout::size_max) {
        faults.push_back("the expanded length " + std::to_string(h.length) +
                         " is over 2147483647 bytes, past what the installer's seeks reach");
        return false;
    }
    return true;
}

std::string stub_kind(const sfx_file &f)
{
    const auto &s = f.stub;
    if (s.size() >= 2 && s[0] == 'M' && s[1] == 'Z')
        return "Windows program";
    if (s.size() >= 4 && s[0] == 0x7f && s[1] == 'E' && s[2] == 'L' && s[3] == 'F')
        return "ELF program";
    return "not a program this tool recognises";
}

size_t stub_length(const sfx_file &f)
{
    size_t n = f.stub.size();
    while (n && f.stub[n - 1] == 0)
        n--;
    return n;
}

namespace {

// The SZDD expander's reads and writes. They never throw: the codec is
// built without exceptions, so failures travel back as -1 and errno.
struct expand_io {
    int in;
    uint64_t pos, end;
    temp_file *out;
    int read_errno = 0, write_errno = 0;
    progress_line progress{"expanding"};
    uint64_t compressed = 0;
};

int expand_read(void *ctx, uint8_t *buf, int n)
{
    auto *io = static_cast<expand_io *>(ctx);
    uint64_t left = io->end - io->pos;
    if ((uint64_t)n > left)
        n = (int)left;
    if (n <= 0)
        return 0;
    for (;;) {
        ssize_t got = pread(io->in, buf, (size_t)n, (off_t)io->pos);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            io->read_errno = errno;
            return -1;
        }
        io->pos += (uint64_t)got;
        io->progress.show(io->compressed - (io->end - io->pos), io->compressed);
        return (int)got;
    }
}

int expand_write(void *ctx, const uint8_t *buf, int n)
{
    auto *io = static_cast<expand_io *>(ctx);
    int fd = io->out->fd();
    while (n > 0) {
        ssize_t w = ::write(fd, buf, (size_t)n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            io->write_errno = w < 0 ? errno : ENOSPC;
            return -1;
        }
        buf += w;
        n -= (int)w;
    }
    return 0;
}

} // namespace

bool sfx_expand(const sfx_file &f, temp_file &out, std::vector<std::string> &faults)
{
    input_fd in(f.path);
    if (in.fd < 0)
        io_fail("cannot open " + quote(f.path));
    expand_io io{in.fd, (uint64_t)f.stream_offset, f.size, &out};
    io.compressed = f.size - (uint64_t)f.stream_offset;
    auto work = std::make_unique<szdd_work>();
    uint32_t written = 0;
    int status = szdd_expand(expand_read, &io, expand_write, &io, work.get(), &written);
    io.progress.clear();
    if (status == szdd_write_error) {
        errno = io.write_errno;
        io_fail("cannot write the expanded stream to " + quote(out.path()));
    }
    if (status == szdd_read_error) {
        errno = io.read_errno;
        io_fail("cannot read " + quote(f.path));
    }
    if (status == szdd_truncated) {
        faults.push_back("the compressed data ends after " + std::to_string(written) + " of " +
                         std::to_string(f.expanded_length) + " expanded bytes");
        return false;
    }
    if (status != szdd_ok) {
        faults.push_back(std::string("the compressed stream cannot be expanded: ") +
                         szdd_message(status));
        return false;
    }
    if (written != f.expanded_length) {
        faults.push_back("the compressed data expands to " + std::to_string(written) +
                         " bytes, not the " + std::to_string(f.expanded_length) +
                         " the header gives");
        return false;
    }
    return true;
}

walk_outcome sfx_walk(const std::string &stream_path, uint32_t length, entry_visitor *v)
{
    walk_outcome out;
    qfile file = os_open(stream_path.c_str());
    if (file == qfile_bad)
        io_fail("cannot open the expanded stream " + quote(stream_path));
    struct closer {
        qfile f;
        ~closer() { os_close(f); }
    } close_it{file};

    progress_line progress("reading entries");
    archive_walk w;
    walk_start(&w, file, (long)length);
    for (;;) {
        char name[name_space];
        int64_t at = w.pos;
        int r = walk_name(&w, name);
        if (r == walk_end)
            break;
        if (r != walk_ok) {
            int64_t left = (int64_t)length - at;
            if (left >= name_read)
                out.faults.push_back("at stream offset " + std::to_string(at) +
                                     ": no zero byte ends the name within 256 bytes"
                                     " (names are at most 255 bytes)");
            else
                out.faults.push_back("the last " + std::to_string(left) +
                                     " bytes of the stream (from offset " + std::to_string(at) +
                                     ") hold no whole entry: no zero byte ends a name there");
            break;
        }
        sfx_entry e;
        e.name = name;
        e.offset = at;
        if (walk_header(&w, &e.time_block, &e.size) != walk_ok) {
            out.faults.push_back("entry " + quote(e.name) +
                                 ": the stream ends inside its time and size fields");
            break;
        }
        out.entries.push_back(e);
        bool wants = v && v->begin(e);
        int64_t got = 0;
        int64_t want = e.size > 0 ? e.size : 0;
        uint8_t block[data_block];
        while (got < want) {
            int n = walk_data(&w, block, (int)std::min<int64_t>(want - got, data_block));
            if (n < 0)
                io_fail("cannot read the expanded stream " + quote(stream_path));
            if (n == 0)
                break;
            if (wants)
                v->data(block, n);
            got += n;
            progress.show((uint64_t)w.pos, length);
        }
        if (v && wants)
            v->end(e, got);
        if (got < want) {
            out.faults.push_back("entry " + quote(e.name) + ": its size is " +
                                 std::to_string(e.size) + " bytes, but only " +
                                 std::to_string(got) + " are left in the stream");
            break;
        }
    }
    return out;
}
