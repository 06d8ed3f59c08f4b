// synth.h: reproducible synthetic installer material for the codec's tests
// and benchmarks: x86-like executables and DLLs, English-like text, and
// archive streams that pack them as a setup disk would.
#ifndef QOX_LZ_SYNTH_H
#define QOX_LZ_SYNTH_H

#include <cstddef>
#include <cstdint>
#include <vector>

using bytes = std::vector<uint8_t>;

// A small fixed generator (splitmix64), the same on every host.
struct synth_rng {
    uint64_t state;
    explicit synth_rng(uint64_t seed) : state(seed) {}
    uint64_t next();
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
};

// Text: sentences of common English words, wrapped with CRLF.
bytes synth_text(synth_rng &r, size_t size);

// A program image: headers, x86-like code, import names, pointer tables,
// resources and section padding.
bytes synth_program(synth_rng &r, size_t size);

// Random bytes, like already compressed data.
bytes synth_noise(synth_rng &r, size_t size);

// An archive stream (name, DOS time block, size, data per entry) of
// programs, libraries, help files and texts, about `size` bytes long.
bytes synth_archive(uint64_t seed, size_t size);

#endif
