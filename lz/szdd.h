// szdd.h: the SZDD (mode A) codec. The expander is pure and streaming:
// no OS calls, no globals, every bound checked; the caller supplies reads,
// writes and the work area.
#ifndef QOX_SZDD_H
#define QOX_SZDD_H

#include <stddef.h>
#include <stdint.h>

enum {
    szdd_header_size = 14,   // signature 8, mode 1, last character 1, length 4
    szdd_ring = 4096,        // the LZSS ring
    szdd_ring_start = 4096 - 16, // where writing into the ring starts
    szdd_min_match = 3,
    szdd_max_match = 18,
    szdd_block = 65536,      // the expander's output block, written at once
    szdd_slack = 32          // room past a block for a token's wide copies
};

extern const uint8_t szdd_signature[8]; // 53 5A 44 44 88 F0 27 33

enum szdd_status {
    szdd_ok = 0,
    szdd_bad_signature = -1, // the first eight bytes are not the signature
    szdd_bad_mode = -2,      // the mode byte is not 'A'
    szdd_truncated = -3,     // the data ends before the expanded length
    szdd_read_error = -4,    // the reader failed
    szdd_write_error = -5    // the writer failed
};

// A plain message for a status, for users.
const char *szdd_message(int status);

struct szdd_header {
    uint8_t last_char;       // last character of the original name
    uint32_t length;         // the expanded length
};

// Parses a header of at least szdd_header_size bytes. szdd_ok,
// szdd_bad_signature, szdd_bad_mode, or szdd_truncated when n is too short.
int szdd_read_header(const uint8_t *p, size_t n, szdd_header *h);

// Writes a header into `p` (szdd_header_size bytes).
void szdd_write_header(uint8_t *p, uint8_t last_char, uint32_t length);

// Reads up to n bytes into buf: the count, 0 at the end, -1 on error.
typedef int (*szdd_reader)(void *ctx, uint8_t *buf, int n);
// Writes n bytes: 0 when written, -1 on error.
typedef int (*szdd_writer)(void *ctx, const uint8_t *buf, int n);

// Everything the expander needs besides the caller's reads and writes.
struct szdd_work {
    uint8_t in[16384];       // compressed bytes read ahead
    uint8_t out[szdd_ring + szdd_block + szdd_slack]; // history, then output
};

// Expands a whole SZDD stream (header included) read through `rd` and
// written through `wr`. Stops at the header's expanded length: bytes after
// the compressed data are never decoded. On szdd_ok, *written is the
// expanded length; otherwise it holds what was written before the failure.
int szdd_expand(szdd_reader rd, void *rctx, szdd_writer wr, void *wctx,
                szdd_work *work, uint32_t *written);

#endif
