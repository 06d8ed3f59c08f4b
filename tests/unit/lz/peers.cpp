// peers.cpp: running libmspack, msexpand and mscompress over byte vectors.
#include "peers.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

#include <mspack.h>

namespace {

// A file for libmspack: its "file name" is a pointer to one of these, which
// the library passes back to open() unchanged.
struct mem_file {
    const uint8_t *in = nullptr;  // the stream to read, or null for output
    size_t size = 0;
    size_t pos = 0;
    bytes *out = nullptr;         // where output goes
};

mspack_file *mem_open(mspack_system *, const char *name, int)
{
    return reinterpret_cast<mspack_file *>(const_cast<char *>(name));
}

void mem_close(mspack_file *) {}

int mem_read(mspack_file *f, void *buf, int n)
{
    auto *m = reinterpret_cast<mem_file *>(f);
    if (!m->in || n < 0)
        return -1;
    size_t k = std::min(size_t(n), m->size - m->pos);
    std::memcpy(buf, m->in + m->pos, k);
    m->pos += k;
    return int(k);
}

int mem_write(mspack_file *f, void *buf, int n)
{
    auto *m = reinterpret_cast<mem_file *>(f);
    if (!m->out || n < 0)
        return -1;
    auto *p = static_cast<uint8_t *>(buf);
    m->out->insert(m->out->end(), p, p + n);
    return n;
}

int mem_seek(mspack_file *f, off_t off, int mode)
{
    auto *m = reinterpret_cast<mem_file *>(f);
    off_t base = mode == MSPACK_SYS_SEEK_START ? 0
               : mode == MSPACK_SYS_SEEK_CUR ? off_t(m->pos) : off_t(m->size);
    off_t to = base + off;
    if (to < 0 || size_t(to) > m->size)
        return -1;
    m->pos = size_t(to);
    return 0;
}

off_t mem_tell(mspack_file *f) { return off_t(reinterpret_cast<mem_file *>(f)->pos); }
void mem_message(mspack_file *, const char *, ...) {}
void *mem_alloc(mspack_system *, size_t n) { return std::malloc(n); }
void mem_free(void *p) { std::free(p); }
void mem_copy(void *src, void *dst, size_t n) { std::memmove(dst, src, n); }

mspack_system mem_system = {mem_open, mem_close, mem_read, mem_write, mem_seek, mem_tell,
                            mem_message, mem_alloc, mem_free, mem_copy, nullptr};

// A private directory, removed with what it holds when done.
struct temp_dir {
    std::string path;
    temp_dir()
    {
        const char *base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qoxlz.XXXXXX";
        if (char *p = mkdtemp(tmpl.data()))
            path = p;
    }
    ~temp_dir()
    {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
};

bool write_file(const std::string &path, const bytes &b)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

bool read_file(const std::string &path, bytes &b)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    b.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

// Runs a shell command; true when it exited with 0.
bool run(const std::string &cmd, std::string &error)
{
    int st = std::system(cmd.c_str());
    if (st == -1 || !WIFEXITED(st) || WEXITSTATUS(st) != 0) {
        error = "'" + cmd + "' failed (status " + std::to_string(st) + ")";
        return false;
    }
    return true;
}

} // namespace

std::string mspack_expand_into(const bytes &szdd, bytes &out)
{
    out.clear();
    msszdd_decompressor *d = mspack_create_szdd_decompressor(&mem_system);
    if (!d)
        return "libmspack: no decompressor";
    mem_file in{szdd.data(), szdd.size(), 0, nullptr};
    mem_file to{nullptr, 0, 0, &out};
    int err = d->decompress(d, reinterpret_cast<const char *>(&in),
                            reinterpret_cast<const char *>(&to));
    mspack_destroy_szdd_decompressor(d);
    return err == MSPACK_ERR_OK ? "" : "libmspack: error " + std::to_string(err);
}

peer_result mspack_expand(const bytes &szdd)
{
    peer_result r;
    if (szdd.size() >= 14) // room for the announced length, as a caller would make
        r.data.reserve(size_t(szdd[10]) | size_t(szdd[11]) << 8 | size_t(szdd[12]) << 16 |
                       size_t(szdd[13]) << 24);
    r.error = mspack_expand_into(szdd, r.data);
    r.ok = r.error.empty();
    return r;
}

peer_result msexpand(const bytes &szdd)
{
    peer_result r;
    temp_dir dir;
    std::string in = dir.path + "/in", out = dir.path + "/out";
    if (dir.path.empty() || !write_file(in, szdd)) {
        r.error = "cannot write a temporary file";
        return r;
    }
    // With a file argument msexpand names the output after the input;
    // standard input to standard output keeps the names ours.
    if (run("msexpand < '" + in + "' > '" + out + "' 2>/dev/null", r.error))
        r.ok = read_file(out, r.data);
    return r;
}

peer_result mscompress(const bytes &data)
{
    peer_result r;
    temp_dir dir;
    std::string in = dir.path + "/data.bin";
    if (dir.path.empty() || !write_file(in, data)) {
        r.error = "cannot write a temporary file";
        return r;
    }
    // mscompress writes NAME_ beside NAME
    if (run("mscompress '" + in + "' >/dev/null 2>&1", r.error))
        r.ok = read_file(in + "_", r.data);
    return r;
}

bool have_program(const char *name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}
