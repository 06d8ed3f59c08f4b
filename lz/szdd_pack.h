// szdd_pack.h: the SZDD compressor (qoxpack's; the stub never links it).
// An optimal parse: every literal costs 9 bits and every match 17, so the
// cheapest path through the input is found exactly.
#ifndef QOX_SZDD_PACK_H
#define QOX_SZDD_PACK_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Compresses `n` bytes into a whole SZDD stream, header included.
// `last_char` is stored in the header for the original name's last character.
// Empty when `n` does not fit the header's 32-bit length. Matches reach back
// at most 4096 bytes and never into the ring's initial spaces.
std::vector<uint8_t> szdd_compress(const uint8_t *data, size_t n, uint8_t last_char = 0);

#endif
