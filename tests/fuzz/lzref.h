// lzref.h (fuzz): the SZDD format decoded the plain way, one token at a time
// through a 4096-byte ring, as the reference the fast expander must match.
#ifndef QOX_FUZZ_LZREF_H
#define QOX_FUZZ_LZREF_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct lzref_result {
    bool header_ok = false;  // signature, mode 'A' and the length are there
    bool whole = false;      // the data reached the header's length
    uint32_t length = 0;     // the header's expanded length
    std::vector<uint8_t> out;
};

lzref_result lzref_expand(const uint8_t *in, size_t n);

#endif
