// qoxinfo.cpp: prints what a self-expanding file holds: the launch record's
// fields, and each entry of the archive with its size and time, read with the
// installer's own record split, expander and archive walk over the platform's
// file operations. Built in both trees, it shows that payload/ and lz/ need
// nothing of one operating system.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "platform.h"
#include "record.h"
#include "szdd.h"
#include "walk.h"

namespace {

szdd_work work; // the expander's buffers, too large for the stack

int read_source(void *ctx, uint8_t *buf, int n)
{
    return os_read(*(qfile *)ctx, buf, n);
}

int write_dest(void *ctx, const uint8_t *buf, int n)
{
    return os_write(*(qfile *)ctx, buf, n) == n ? 0 : -1;
}

std::string when(uint32_t block)
{
    unsigned time = block & 0xFFFF, date = block >> 16;
    char s[32];
    std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9),
                  (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
    return s;
}

std::string temp_name()
{
    std::random_device rd;
    char name[40];
    std::snprintf(name, sizeof name, "qoxinfo-%08x.tmp", (unsigned)rd());
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    return (ec ? std::filesystem::path(".") : dir).append(name).string();
}

// Walks the expanded archive and prints it; false when it is damaged.
bool list(qfile stream, long length)
{
    archive_walk w;
    walk_start(&w, stream, length);
    char name[name_space];
    char data[data_block];
    int entries = 0;
    int r;
    while ((r = walk_name(&w, name)) == walk_ok) {
        uint32_t block = 0;
        int32_t size = 0;
        if (walk_header(&w, &block, &size) != walk_ok) {
            std::printf("  %s: the archive ends inside its header\n", name);
            return false;
        }
        long got = 0;
        int n;
        while (got < size && (n = walk_data(&w, data, (int)std::min<long>(data_block, size - got))) > 0)
            got += n;
        std::printf("  %-20s %10ld  %s%s\n", name, (long)size, when(block).c_str(),
                    got < size ? "  (cut short)" : "");
        entries++;
        if (got < size)
            return false;
    }
    std::printf("%d entries\n", entries);
    if (r == walk_damaged)
        std::printf("the archive is damaged after the last entry listed\n");
    return r == walk_end;
}

int info(const char *path)
{
    qfile own = os_open(path);
    if (own == qfile_bad) {
        std::fprintf(stderr, "qoxinfo: cannot open %s\n", path);
        return 1;
    }
    char buf[record_space] = {};
    launch_record rec;
    int got = os_seek(own, stub_size, seek_set) == stub_size ? os_read(own, buf, record_read) : -1;
    bool whole = record_split(buf, got, &rec);
    std::printf("run_program: \"%s\"\nchained_program: \"%s\"\nstub_option: \"%s\"\nstream_offset: %ld\n",
                rec.run_program, rec.chained_program, rec.stub_option, (long)rec.stream_offset);
    if (!whole) {
        std::printf("the record has no zero byte within its %d bytes: not a self-expanding file\n",
                    record_read);
        os_close(own);
        return 1;
    }

    unsigned char head[szdd_header_size];
    os_seek(own, rec.stream_offset, seek_set);
    int n = os_read(own, head, sizeof head);
    long length = walk_length(head, n);
    if (length < 0) {
        std::printf("no SZDD compressed stream at %ld\n", (long)rec.stream_offset);
        os_close(own);
        return 1;
    }
    std::printf("archive: %ld bytes expanded\n", length);

    std::string tmp = temp_name();
    qfile stream = os_create(tmp.c_str());
    if (stream == qfile_bad) {
        std::fprintf(stderr, "qoxinfo: cannot create %s\n", tmp.c_str());
        os_close(own);
        return 1;
    }
    os_seek(own, rec.stream_offset, seek_set);
    uint32_t written = 0;
    int status = szdd_expand(read_source, &own, write_dest, &stream, &work, &written);
    os_close(own);
    bool ok = status == szdd_ok;
    if (!ok)
        std::printf("expansion stopped after %lu bytes: %s\n", (unsigned long)written,
                    szdd_message(status));
    os_seek(stream, 0, seek_set);
    ok = list(stream, (long)written) && ok;
    os_close(stream);
    os_delete(tmp.c_str());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qoxinfo FILE\n");
        return 2;
    }
    return info(argv[1]);
}
