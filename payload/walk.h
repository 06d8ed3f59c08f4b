// walk.h: reading the expanded archive stream entry by entry, over the
// platform's file operations, exactly as the installer does it: one 256-byte
// read for the name and a seek back to just after its zero byte, the 4-byte
// time block, the signed 4-byte size, data in blocks of at most 256 bytes.
// The stub and qoxpack share it.
#ifndef QOX_WALK_H
#define QOX_WALK_H

#include <stdint.h>
#include "platform.h"

enum {
    name_read = 256,         // bytes read for an entry name
    name_space = 260,        // the name buffer's size
    data_block = 256         // largest block of entry data per read
};

enum walk_result {
    walk_end = 0,            // no byte left where the next name would begin
    walk_ok = 1,             // the step read what it asked for
    walk_damaged = -1        // the stream is cut short or malformed
};

struct archive_walk {
    qfile file;              // the expanded stream, positioned at an entry
    long pos;                // offset of the read position within the stream
    long end;                // where the stream ends (the expanded length)
};

// The length of the archive stream that the compressed stream's header
// announces (its first `n` bytes in `head`), or -1 when they are no SZDD
// mode A header. The walk is bounded by it, so that bytes appended after the
// compressed data never become entries.
long walk_length(const unsigned char *head, int n);

// Starts a walk over `file` from offset 0 up to `end` bytes; bytes past
// `end` are never read.
void walk_start(archive_walk *w, qfile file, long end);

// Reads the next name into `name` (name_space bytes). walk_end when no byte
// is left at the stream's end; walk_damaged when the file ends before it, when
// no zero byte ends the name within the bytes read, or when the read fails.
int walk_name(archive_walk *w, char *name);

// Reads the time block (DOS time in the low half, date in the high half) and
// the size. walk_damaged when the stream ends inside them.
int walk_header(archive_walk *w, uint32_t *time_block, int32_t *size);

// Reads the next block of at most `count` (<= data_block) data bytes.
// Returns the number read; 0 when the stream has ended; -1 on a read error.
int walk_data(archive_walk *w, void *buf, int count);

#endif
