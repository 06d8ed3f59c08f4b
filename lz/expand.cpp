// expand.cpp: the SZDD (mode A) expander: header parsing and the LZSS
// decoder, over the caller's reads, writes and work area.
//
// The decoder writes into a linear buffer with the last 4096 bytes of
// output kept in front of it, so a match (an absolute ring position) turns
// into a distance back from the write position and becomes a plain copy.
// Output leaves in blocks of up to szdd_block bytes.
#include "szdd.h"

#include <string.h>

const uint8_t szdd_signature[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};

enum {
    mode_a = 0x41,                   // the only mode byte known: 'A'
    ring_mask = szdd_ring - 1,
    flush_at = szdd_ring + szdd_block // flush once output reaches this offset
};

const char *szdd_message(int status)
{
    switch (status) {
    case szdd_ok: return "ok";
    case szdd_bad_signature: return "not an SZDD compressed stream (bad signature)";
    case szdd_bad_mode: return "unknown SZDD compression mode (only mode A is supported)";
    case szdd_truncated: return "the compressed stream ends before its expanded length";
    case szdd_read_error: return "cannot read the compressed stream";
    case szdd_write_error: return "cannot write the expanded data";
    }
    return "unknown SZDD status";
}

int szdd_read_header(const uint8_t *p, size_t n, szdd_header *h)
{
    // An empty stream has no signature at all; a stream cut inside the header
    // after a correct beginning is merely short.
    if (n == 0)
        return szdd_bad_signature;
    if (memcmp(p, szdd_signature, n < 8 ? n : 8) != 0)
        return szdd_bad_signature;
    if (n > 8 && p[8] != mode_a)
        return szdd_bad_mode;
    if (n < szdd_header_size)
        return szdd_truncated;
    h->last_char = p[9];
    h->length = (uint32_t)p[10] | (uint32_t)p[11] << 8 | (uint32_t)p[12] << 16 |
                (uint32_t)p[13] << 24;
    return szdd_ok;
}

void szdd_write_header(uint8_t *p, uint8_t last_char, uint32_t length)
{
    memcpy(p, szdd_signature, 8);
    p[8] = mode_a;
    p[9] = last_char;
    p[10] = (uint8_t)length;
    p[11] = (uint8_t)(length >> 8);
    p[12] = (uint8_t)(length >> 16);
    p[13] = (uint8_t)(length >> 24);
}

// One read into the free space after the unread bytes, which move to the
// front first. 1 when bytes came, 0 at the end, szdd_read_error on failure.
static int refill(szdd_reader rd, void *ctx, uint8_t *in, const uint8_t **ip,
                  const uint8_t **iend)
{
    size_t keep = (size_t)(*iend - *ip);
    memmove(in, *ip, keep);
    int room = (int)(sizeof(((szdd_work *)0)->in) - keep);
    int got = rd(ctx, in + keep, room);
    // a reader that claims more than it was given room for is as bad as one
    // that fails: nothing it wrote can be trusted
    if (got < 0 || got > room)
        return szdd_read_error;
    *ip = in;
    *iend = in + keep + got;
    return got > 0;
}

// Writes the output gathered after the history and keeps its last 4096
// bytes as the history for what follows.
static int flush(szdd_writer wr, void *ctx, uint8_t *out, uint8_t *op, uint32_t *written)
{
    int n = (int)(op - (out + szdd_ring));
    if (n > 0 && wr(ctx, out + szdd_ring, n) != 0)
        return szdd_write_error;
    *written += (uint32_t)n;
    memmove(out, op - szdd_ring, szdd_ring);
    return szdd_ok;
}

// 8 bytes at a time; the compiler makes each a single unaligned move.
static inline void copy8(uint8_t *d, const uint8_t *s)
{
    uint64_t v;
    memcpy(&v, s, 8);
    memcpy(d, &v, 8);
}

// One match from its two bytes at `ip`, written at `op` with the buffer's
// slack to spare; returns the new write position.
static inline uint8_t *copy_match(uint8_t *op, const uint8_t *ip, const uint8_t *out, size_t bias)
{
    unsigned pos = ip[0] | (ip[1] & 0xF0u) << 4;
    unsigned len = (ip[1] & 0x0Fu) + szdd_min_match;
    // distance 1..4096: the position being written itself means the byte
    // written a whole ring earlier
    size_t d = (((size_t)(op - out) + bias - pos - 1) & ring_mask) + 1;
    const uint8_t *s = op - d; // op - out >= szdd_ring >= d
    // 24 bytes in three pieces, within the buffer's slack. Each piece's
    // source is whole before it is read: it lies at least 8 bytes back.
    if (d >= 8) {
        copy8(op, s);
    } else if (d == 1) { // a run of one byte
        uint64_t v = s[0] * 0x0101010101010101ull;
        memcpy(op, &v, 8);
        s = op - 8;
    } else {
        // a short period: its first 8 bytes one by one, then the copy goes
        // on from whole periods (at least 8 bytes) back
        for (int i = 0; i < 8; i++)
            op[i] = s[i];
        s = op - d * ((8 + d - 1) / d);
    }
    copy8(op + 8, s + 8);
    copy8(op + 16, s + 16);
    return op + len;
}

int szdd_expand(szdd_reader rd, void *rctx, szdd_writer wr, void *wctx,
                szdd_work *work, uint32_t *written)
{
    uint8_t *in = work->in;
    uint8_t *out = work->out;
    *written = 0;

    // The header: read until its 14 bytes are here or the stream ends.
    size_t have = 0;
    int eof = 0;
    while (have < szdd_header_size) {
        int room = (int)(sizeof(work->in) - have);
        int got = rd(rctx, in + have, room);
        if (got < 0 || got > room)
            return szdd_read_error;
        if (got == 0) {
            eof = 1;
            break;
        }
        have += (size_t)got;
    }
    szdd_header h;
    int st = szdd_read_header(in, have, &h);
    if (st != szdd_ok)
        return st;

    const uint8_t *ip = in + szdd_header_size;
    const uint8_t *iend = in + have;
    uint32_t left = h.length;        // bytes still to decode
    unsigned flags = 1;              // flag bits still unused, above a stop bit
    // The history starts as a ring full of spaces; the first byte goes to
    // ring position szdd_ring_start. `bias` turns a buffer offset into its
    // ring position; each flush shifts the buffer and so the bias.
    memset(out, ' ', szdd_ring);
    uint8_t *op = out + szdd_ring;
    size_t bias = szdd_ring_start;

    while (left > 0) {
        if (op >= out + flush_at) {
            bias += (size_t)(op - out) - szdd_ring;
            if ((st = flush(wr, wctx, out, op, written)) != szdd_ok)
                return st;
            op = out + szdd_ring;
        }

        // Fast path: while every token fits both the data still to come and
        // the buffer (up to its slack), and the input holds a whole token
        // with its flag byte, nothing else needs checking.
        size_t room = (size_t)(out + flush_at - op);
        uint8_t *lim = left >= room + szdd_max_match ? out + flush_at
                     : left >= szdd_max_match ? op + (left - szdd_max_match + 1)
                     : op;
        uint8_t *op0 = op;
        for (;;) {
            // Whole groups while all eight tokens start before `lim` and the
            // input holds the group and 8 bytes more. A group goes from
            // match to match: the literals before each one move as a single
            // 8-byte copy, so the only branch that depends on the data is
            // the one that ends the group.
            while (flags == 1 && lim - op > 7 * szdd_max_match && iend - ip >= 25) {
                unsigned m = ~(unsigned)*ip++ & 0xFFu; // a bit for each match
                unsigned done = 0;                     // tokens used
                while (m) {
                    unsigned lits = (unsigned)__builtin_ctz(m) - done;
                    copy8(op, ip);
                    op += lits;
                    ip += lits;
                    op = copy_match(op, ip, out, bias);
                    ip += 2;
                    done += lits + 1;
                    m &= m - 1;
                }
                copy8(op, ip);
                op += 8 - done;
                ip += 8 - done;
            }
            // single tokens: the rest of a group, or close to the limits
            if (op >= lim || iend - ip < 3)
                break;
            if (flags == 1)
                flags = *ip++ | 0x100u;
            if (flags & 1) {
                *op++ = *ip++;
            } else {
                op = copy_match(op, ip, out, bias);
                ip += 2;
            }
            flags >>= 1;
        }
        left -= (uint32_t)(op - op0);
        if (left == 0 || op >= out + flush_at)
            continue;

        // Slow path, near the end of the input buffer or of the data: top
        // the input up, then one token with every bound checked.
        if (iend - ip < 3 && !eof) {
            int r = refill(rd, rctx, in, &ip, &iend);
            if (r < 0)
                return r;
            eof = r == 0;
            continue;
        }
        if (flags == 1) {
            if (ip == iend)
                break;
            flags = *ip++ | 0x100u;
        }
        if (flags & 1) {
            if (ip == iend)
                break;
            *op++ = *ip++;
            left--;
        } else {
            if (iend - ip < 2)
                break;
            unsigned pos = ip[0] | (ip[1] & 0xF0u) << 4;
            unsigned len = (ip[1] & 0x0Fu) + szdd_min_match;
            ip += 2;
            if (len > left) // a match may not run past the expanded length
                len = left;
            size_t d = (((size_t)(op - out) + bias - pos - 1) & ring_mask) + 1;
            const uint8_t *s = op - d;
            for (unsigned i = 0; i < len; i++)
                op[i] = s[i];
            op += len;
            left -= len;
        }
        flags >>= 1;
    }

    // Here the data is complete or the input ran out (left > 0): either
    // way what was decoded is handed over.
    if ((st = flush(wr, wctx, out, op, written)) != szdd_ok)
        return st;
    return left == 0 ? szdd_ok : szdd_truncated;
}
