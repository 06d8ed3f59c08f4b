// fail.cpp: warnings, errors and safe quoting of names in messages.
#include "fail.h"
#include "progress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

void io_fail(const std::string &what)
{
    int e = errno;
    throw qoxpack_error(exit_io, what + ": " + std::strerror(e));
}

void warn(const std::string &text)
{
    progress_clear_any();
    fprintf(stderr, "qoxpack: warning: %s\n", text.c_str());
}

void report_error(const std::string &text)
{
    progress_clear_any();
    fprintf(stderr, "qoxpack: error: %s\n", text.c_str());
}

std::string quote(const std::string &name)
{
    std::string out = "\"";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}
