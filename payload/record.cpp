// record.cpp: splitting the launch record in place.
#include "record.h"

static char empty_field[1];

// Ends the current field at its first comma and returns the next field: a
// space right after the comma is overwritten too, which empties the next
// field (and, being searched as an empty string, every field after it).
static char *next_field(char *field)
{
    for (char *p = field; *p; p++) {
        if (*p == ',') {
            *p = 0;
            if (p[1] == ' ')
                p[1] = 0;
            return p + 1;
        }
    }
    return empty_field;
}

bool record_split(char *buf, int got, launch_record *rec)
{
    if (got < 0)
        got = 0;
    if (got > record_read)
        got = record_read;
    int len = 0;
    while (len < got && buf[len])
        len++;
    bool whole = len < got;
    // A record with no zero byte within the bytes read is ended right after
    // them, so that nothing below reads past the buffer.
    buf[len] = 0;
    rec->stream_offset = stub_size + 1 + len;
    rec->run_program = buf;
    rec->chained_program = next_field(rec->run_program);
    rec->stub_option = next_field(rec->chained_program);
    return whole;
}
