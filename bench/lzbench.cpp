// lzbench.cpp: the codec's benchmark driver, called by run.sh:
//   lzbench gen SIZE SEED OUT        write a synthetic archive stream
//   lzbench compress IN OUT RUNS     szdd_compress, best of RUNS
//   lzbench expand IN.SZDD RUNS      lz/ and libmspack memory to memory,
//                                    best of RUNS each, outputs compared
// Figures go to standard output as "key value" lines.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "peers.h"
#include "synth.h"
#include "szdd.h"
#include "szdd_pack.h"

namespace {

bytes load(const char *path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "lzbench: cannot read %s\n", path);
        std::exit(1);
    }
    return bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void save(const char *path, const bytes &b)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
    if (!f) {
        std::fprintf(stderr, "lzbench: cannot write %s\n", path);
        std::exit(1);
    }
}

double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Memory to memory, the way a caller with the whole stream at hand would.
struct mem_in {
    const bytes *b;
    size_t pos;
};

int read_mem(void *ctx, uint8_t *buf, int n)
{
    auto *s = static_cast<mem_in *>(ctx);
    size_t k = std::min(size_t(n), s->b->size() - s->pos);
    std::memcpy(buf, s->b->data() + s->pos, k);
    s->pos += k;
    return int(k);
}

struct mem_out {
    uint8_t *p;
    size_t size, pos;
};

int write_mem(void *ctx, const uint8_t *buf, int n)
{
    auto *s = static_cast<mem_out *>(ctx);
    if (size_t(n) > s->size - s->pos)
        return -1;
    std::memcpy(s->p + s->pos, buf, size_t(n));
    s->pos += size_t(n);
    return 0;
}

int cmd_gen(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    bytes a = synth_archive(std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[2], nullptr, 10));
    save(argv[4], a);
    std::printf("size %zu\n", a.size());
    return 0;
}

int cmd_compress(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    bytes in = load(argv[2]);
    int runs = std::atoi(argv[4]);
    double best = 1e30;
    bytes out;
    for (int i = 0; i < runs; i++) {
        double t0 = now();
        out = szdd_compress(in.data(), in.size());
        best = std::min(best, now() - t0);
    }
    save(argv[3], out);
    std::printf("seconds %.4f\nsize %zu\n", best, out.size());
    return 0;
}

int cmd_expand(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    bytes in = load(argv[2]);
    int runs = std::atoi(argv[3]);
    szdd_header h{};
    if (szdd_read_header(in.data(), in.size(), &h) != szdd_ok) {
        std::fprintf(stderr, "lzbench: %s is no SZDD stream\n", argv[2]);
        return 1;
    }
    auto work = std::make_unique<szdd_work>();
    bytes out(h.length);
    double best_lz = 1e30, best_mspack = 1e30;
    for (int i = 0; i < runs; i++) {
        mem_in src{&in, 0};
        mem_out dst{out.data(), out.size(), 0};
        uint32_t written;
        double t0 = now();
        int st = szdd_expand(read_mem, &src, write_mem, &dst, work.get(), &written);
        best_lz = std::min(best_lz, now() - t0);
        if (st != szdd_ok) {
            std::fprintf(stderr, "lzbench: %s\n", szdd_message(st));
            return 1;
        }
    }
    bytes theirs;
    theirs.reserve(h.length);
    for (int i = 0; i < runs; i++) {
        double t0 = now();
        std::string error = mspack_expand_into(in, theirs);
        best_mspack = std::min(best_mspack, now() - t0);
        if (!error.empty() || theirs != out) {
            std::fprintf(stderr, "lzbench: libmspack disagrees: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("length %u\nlz_seconds %.5f\nmspack_seconds %.5f\n", h.length, best_lz, best_mspack);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int rc = 2;
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "gen")
        rc = cmd_gen(argc, argv);
    else if (cmd == "compress")
        rc = cmd_compress(argc, argv);
    else if (cmd == "expand")
        rc = cmd_expand(argc, argv);
    if (rc == 2)
        std::fprintf(stderr, "usage: lzbench gen|compress|expand ...\n");
    return rc;
}
