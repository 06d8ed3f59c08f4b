// lzref.cpp (fuzz): the plain SZDD decoder.
#include "lzref.h"

#include <cstring>
#include "szdd.h"

lzref_result lzref_expand(const uint8_t *in, size_t n)
{
    lzref_result r;
    if (n < szdd_header_size || memcmp(in, szdd_signature, 8) != 0 || in[8] != 'A')
        return r;
    r.header_ok = true;
    r.length = in[10] | (uint32_t)in[11] << 8 | (uint32_t)in[12] << 16 | (uint32_t)in[13] << 24;
    uint8_t ring[szdd_ring];
    memset(ring, ' ', sizeof ring);
    unsigned at = szdd_ring_start;
    size_t ip = szdd_header_size;
    uint32_t left = r.length;
    auto put = [&](uint8_t c) {
        r.out.push_back(c);
        ring[at] = c;
        at = (at + 1) & (szdd_ring - 1);
        left--;
    };
    while (left > 0 && ip < n) {
        unsigned flags = in[ip++];
        for (int bit = 0; bit < 8 && left > 0; bit++, flags >>= 1) {
            if (flags & 1) {
                if (ip >= n)
                    return r;
                put(in[ip++]);
            } else {
                if (ip + 1 >= n)
                    return r;
                unsigned pos = in[ip] | (in[ip + 1] & 0xF0u) << 4;
                unsigned len = (in[ip + 1] & 0x0Fu) + szdd_min_match;
                ip += 2;
                for (unsigned k = 0; k < len && left > 0; k++)
                    put(ring[(pos + k) & (szdd_ring - 1)]);
            }
        }
    }
    r.whole = left == 0;
    return r;
}
