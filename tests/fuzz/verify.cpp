// verify.cpp (fuzz): `qoxpack verify` over whole self-expanding files. The
// input is what follows the stub region (record and compressed stream); the
// first byte says whether a stub region goes in front of it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include "commands.h"
#include "fail.h"
#include "layout.h"

namespace {

std::string path;
std::string region;

void write_file(const uint8_t *p, size_t n, bool with_region)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        abort();
    if (with_region && write(fd, region.data(), region.size()) != (ssize_t)region.size())
        abort();
    if (n && write(fd, p, n) != (ssize_t)n)
        abort();
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *tmp = getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/qox-fuzz-verify-" +
           std::to_string(getpid()) + ".run";
    // A stub region as qoxpack writes it: a program's first bytes, then zeros.
    region.assign(layout::stub_region, '\0');
    region.replace(0, 4, "\177ELF");
    atexit([] { unlink(path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // Without the region the file is shorter than a stub: the reading of a
    // cut file.
    write_file(data + 1, size - 1, !(data[0] & 1));
    try {
        int rc = cmd_verify(path);
        if (rc != exit_ok && rc != exit_faults)
            abort();
    } catch (const qoxpack_error &e) {
        // Refusals of a damaged file are answers; an I/O failure on a file
        // that is there and readable is not.
        if (e.code != exit_refused)
            abort();
    }
    return 0;
}
