// walk.cpp (fuzz): the archive walker over a file read through the platform's
// handles, driven as the expansion job drives it, against a plain reading of
// the stream format; and every name it yields held to the safe-name rule.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "check.h"
#include "memfile.h"
#include "names.h"
#include "platform.h"
#include "walk.h"

namespace {

struct entry {
    std::string name;
    uint32_t time_block = 0;
    int32_t size = 0;
    std::string data;
};

enum outcome { at_end, bad_name, bad_header, data_short, read_failed };

struct reading {
    std::vector<entry> entries;
    outcome how = at_end;
};

uint32_t le32(const uint8_t *p)
{
    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// The format read plainly from memory: a name of at most 255 bytes and its
// zero byte, the time block, the signed size, the data. The stream announces
// `end` bytes; the file may hold fewer (`end` past `size`), and a stream cut
// short that way is damaged wherever it stops.
reading read_plainly(const uint8_t *s, size_t size, size_t announced)
{
    reading r;
    size_t end = announced < size ? announced : size;
    size_t pos = 0;
    if (end < announced && pos == end)
        r.how = bad_name;
    while (pos < end) {
        size_t span = end - pos < (size_t)name_read ? end - pos : (size_t)name_read;
        const void *z = memchr(s + pos, 0, span);
        if (!z) {
            r.how = bad_name;
            return r;
        }
        entry e;
        e.name.assign((const char *)s + pos, (const uint8_t *)z - (s + pos));
        pos += e.name.size() + 1;
        if (end - pos < 8) {
            r.how = bad_header;
            return r;
        }
        e.time_block = le32(s + pos);
        e.size = (int32_t)le32(s + pos + 4);
        pos += 8;
        size_t want = e.size > 0 ? (size_t)e.size : 0;
        size_t take = want < end - pos ? want : end - pos;
        e.data.assign((const char *)s + pos, take);
        pos += take;
        r.entries.push_back(e);
        if (take < want) {
            r.how = data_short;
            return r;
        }
        if (pos == end && end < announced)
            r.how = bad_name;
    }
    return r;
}

// The walk as the expansion job makes it.
reading read_walking(qfile f, long end)
{
    reading r;
    archive_walk w;
    walk_start(&w, f, end);
    for (;;) {
        char name[name_space];
        memset(name, 'x', sizeof name);
        int k = walk_name(&w, name);
        check(w.pos >= 0 && w.pos <= end);
        if (k == walk_end)
            return r;
        if (k != walk_ok) {
            r.how = bad_name;
            return r;
        }
        check(memchr(name, 0, sizeof name) != nullptr);
        entry e;
        e.name = name;
        if (walk_header(&w, &e.time_block, &e.size) != walk_ok) {
            r.how = bad_header;
            return r;
        }
        check(w.pos <= end);
        int32_t left = e.size;
        r.entries.push_back(e);
        while (left > 0) {
            char buf[data_block + 16];
            int block = left < data_block ? left : data_block;
            int got = walk_data(&w, buf, block);
            check(got <= block);
            if (got < 0) {
                r.how = read_failed;
                return r;
            }
            if (got == 0) {
                r.how = data_short;
                return r;
            }
            r.entries.back().data.append(buf, (size_t)got);
            left -= got;
            check(w.pos <= end);
        }
    }
}

// How a file system could read the name: levels split at '\\' and '/',
// trailing dots and spaces dropped as Windows drops them, a level of dots
// and spaces with two or more dots taken as the parent, one with fewer as
// the same directory, and a stream suffix (":...") as the file itself.
// True when such a reading leaves the directory the name is written into,
// or lands on one of the installer's own temporary files.
bool could_escape(const std::string &name)
{
    if (name.empty())
        return false;
    if (name[0] == '\\' || name[0] == '/')
        return true;
    if (name.size() >= 2 && name[1] == ':')
        return true;
    std::vector<std::string> path;
    size_t start = 0;
    for (;;) {
        size_t cut = name.find_first_of("\\/", start);
        std::string level = name.substr(start, cut == std::string::npos ? cut : cut - start);
        bool last = cut == std::string::npos;
        if (last)
            level = level.substr(0, level.find(':'));
        size_t dots = 0, other = 0;
        for (char c : level)
            c == '.' ? dots++ : c == ' ' ? 0 : other++;
        if (other == 0 && dots >= 2) {
            if (path.empty())
                return true;
            path.pop_back();
        } else if (other > 0) {
            level.erase(level.find_last_not_of(". ") + 1);
            path.push_back(level);
        }
        if (last)
            break;
        start = cut + 1;
    }
    if (path.size() != 1)
        return false;
    std::string low;
    for (char c : path[0])
        low += (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c;
    return low == "~un1" || low == "~un2";
}

const size_t chunks[8] = {0, 1, 3, 7, 100, 255, 256, 4097};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Three option bytes: how reads are cut and whether one fails; how many
    // trailing bytes lie past the stream's announced end (below 128), or by
    // how many bytes the file falls short of it (128 and up); and where a
    // read fails.
    memfile m;
    m.chunk = chunks[data[0] & 7];
    bool fail = data[0] & 8;
    m.fail_at = fail ? (long)data[2] * 16 : -1;
    m.data = data + 3;
    m.size = size - 3;
    long end;
    if (data[1] < 128) {
        size_t trim = data[1] < m.size ? data[1] : m.size;
        end = (long)(m.size - trim);
    } else {
        end = (long)m.size + (data[1] - 127);
    }

    memfile_on(m);
    qfile f = os_open("stream");
    check(f != qfile_bad);
    reading got = read_walking(f, end);
    check(os_close(f) == 0);
    memfile_off();

    for (const entry &e : got.entries)
        if (name_safe(e.name.c_str()))
            check(!could_escape(e.name));

    reading want = read_plainly(m.data, m.size, (size_t)end);
    if (fail && m.fail_at < (long)m.size) {
        // Up to the failure the walk agrees with the plain reading.
        check(got.entries.size() <= want.entries.size());
        for (size_t i = 0; i + 1 < got.entries.size(); i++)
            check(got.entries[i].name == want.entries[i].name &&
                  got.entries[i].data == want.entries[i].data);
        return 0;
    }
    check(got.how == want.how);
    check(got.entries.size() == want.entries.size());
    for (size_t i = 0; i < got.entries.size(); i++) {
        check(got.entries[i].name == want.entries[i].name);
        check(got.entries[i].time_block == want.entries[i].time_block);
        check(got.entries[i].size == want.entries[i].size);
        check(got.entries[i].data == want.entries[i].data);
    }
    return 0;
}
