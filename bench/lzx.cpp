// lzx.cpp: lz/'s expander file to file through stdio, best of RUNS, for
// timing beside programs that work on files (msexpand, and Windows' LZ32
// under Wine, where this is built for Windows by run.sh).
// Usage: lzx IN OUT RUNS; prints "seconds S".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "szdd.h"

namespace {

int read_file(void *ctx, uint8_t *buf, int n)
{
    size_t k = std::fread(buf, 1, size_t(n), static_cast<FILE *>(ctx));
    return k == 0 && std::ferror(static_cast<FILE *>(ctx)) ? -1 : int(k);
}

int write_file(void *ctx, const uint8_t *buf, int n)
{
    return std::fwrite(buf, 1, size_t(n), static_cast<FILE *>(ctx)) == size_t(n) ? 0 : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: lzx IN OUT RUNS\n");
        return 2;
    }
    auto work = std::make_unique<szdd_work>();
    double best = 1e30;
    for (int i = 0, runs = std::atoi(argv[3]); i < runs; i++) {
        auto t0 = std::chrono::steady_clock::now();
        FILE *in = std::fopen(argv[1], "rb");
        FILE *out = std::fopen(argv[2], "wb");
        if (!in || !out) {
            std::fprintf(stderr, "lzx: cannot open %s or %s\n", argv[1], argv[2]);
            return 1;
        }
        uint32_t written;
        int st = szdd_expand(read_file, in, write_file, out, work.get(), &written);
        std::fclose(in);
        if (std::fclose(out) != 0 && st == szdd_ok)
            st = szdd_write_error;
        if (st != szdd_ok) {
            std::fprintf(stderr, "lzx: %s\n", szdd_message(st));
            return 1;
        }
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        if (d.count() < best)
            best = d.count();
    }
    std::printf("seconds %.5f\n", best);
    return 0;
}
