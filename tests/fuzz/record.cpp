// record.cpp (fuzz): the launch record split, against the splitting rules
// written out plainly, with the five-byte "auto" overwrite that the wait
// makes later, in a buffer exactly as large as the installer's.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "check.h"
#include "record.h"

namespace {

// The splitting rules over a std::string: the first comma ends field 1; a
// space right after a comma empties the next field and all after it.
struct fields {
    std::string run, chain, option;
};

fields split_plainly(const std::string &text)
{
    fields f;
    size_t c = text.find(',');
    f.run = text.substr(0, c);
    if (c == std::string::npos)
        return f;
    std::string rest = text.substr(c + 1);
    if (!rest.empty() && rest[0] == ' ')
        return f;
    size_t d = rest.find(',');
    f.chain = rest.substr(0, d);
    if (d == std::string::npos)
        return f;
    std::string last = rest.substr(d + 1);
    if (!last.empty() && last[0] == ' ')
        return f;
    f.option = last;
    return f;
}

// A field points into the buffer (and ends inside it) or at the constant
// empty string.
void check_field(const char *p, const char *buf)
{
    if (p >= buf && p < buf + record_space)
        check(memchr(p, 0, (size_t)(buf + record_space - p)) != nullptr);
    else
        check(*p == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The count of bytes the read yielded: at most record_read; the rest of
    // the buffer is zero, as the installer's static buffer is.
    int got = size < (size_t)record_read ? (int)size : record_read;
    char *buf = (char *)calloc(record_space, 1);
    memcpy(buf, data, (size_t)got);
    std::string text((const char *)data, strnlen((const char *)data, (size_t)got));

    launch_record rec;
    bool whole = record_split(buf, got, &rec);
    check(whole == (text.size() < (size_t)got));
    check(rec.stream_offset == stub_size + 1 + (int32_t)text.size());
    check(rec.run_program == buf);
    check_field(rec.chained_program, buf);
    check_field(rec.stub_option, buf);

    fields want = split_plainly(text);
    check(want.run == rec.run_program);
    check(want.chain == rec.chained_program);
    check(want.option == rec.stub_option);

    // The wait overwrites a non-empty chained field with "auto" in place.
    if (rec.chained_program[0])
        memcpy(rec.chained_program, "auto", 5);
    free(buf);
    return 0;
}
