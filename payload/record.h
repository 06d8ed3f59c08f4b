// record.h: the launch record at offset 32768 of a self-expanding file,
// split in place into its three fields.
#ifndef QOX_RECORD_H
#define QOX_RECORD_H

#include <stdint.h>

enum {
    stub_size = 32768,       // the stub region; the record starts right after it
    record_read = 520,       // bytes read at stub_size for the record
    record_slack = 8,        // zero bytes kept after the read: the split and the
                             // five-byte "auto" overwrite never leave the buffer
    record_space = record_read + record_slack,
    record_max = record_read - 1 // longest record text with its zero byte
};

struct launch_record {
    char *run_program;       // field 1: the program opened after expansion
    char *chained_program;   // field 2: non-empty means auto mode; "auto" or a second program
    char *stub_option;       // field 3: "self" writes the stub copy
    int32_t stream_offset;   // 32769 + length of the unsplit record text
};

// Splits the record in `buf` in place. `buf` holds record_space bytes of
// which the first `got` came from the file (got < record_read when the file
// ended early); the bytes after them must be zero. Absent fields point at a
// constant empty string. Returns false when no zero byte ended the record
// within the bytes read: the record is then taken as those bytes, and the
// file is not a well-formed self-expanding file.
bool record_split(char *buf, int got, launch_record *rec);

#endif
