// sfx.h: reading a self-expanding file back: the stub region, the launch
// record, the SZDD header, the expansion of the compressed stream into a
// scratch file, and the walk over its entries with the installer's own
// walker. list, verify and extract all read files through here.
#ifndef QOXPACK_SFX_H
#define QOXPACK_SFX_H

#include <cstdint>
#include <string>
#include <vector>

#include "tempfile.h"

struct sfx_file {
    std::string path;
    uint64_t size = 0;               // bytes in the file
    std::vector<uint8_t> stub;       // the stub region as read (32768 bytes when whole)
    std::string record;              // the record text up to its zero byte
    std::string run, chain, option;  // the fields as the installer splits them
    int64_t stream_offset = 0;       // where the compressed stream starts
    uint32_t expanded_length = 0;    // from the SZDD header
    uint8_t last_char = 0;           // from the SZDD header
};

// Reads the stub region, record and SZDD header of `path`. Faults are
// appended one line each; returns false when they leave nothing to expand.
// An unreadable file throws qoxpack_error(exit_io).
bool sfx_open(const std::string &path, sfx_file *f, std::vector<std::string> &faults);

// What kind of program the stub region holds, and its length before the
// zero fill.
std::string stub_kind(const sfx_file &f);
size_t stub_length(const sfx_file &f);

// Expands the compressed stream into `out`. Returns false, with a fault
// line, when the data does not expand to the header's length.
// A failed write throws qoxpack_error(exit_io).
bool sfx_expand(const sfx_file &f, temp_file &out, std::vector<std::string> &faults);

struct sfx_entry {
    std::string name;
    uint32_t time_block = 0;         // DOS time low, date high
    int32_t size = 0;                // as stored (may be negative)
    int64_t offset = 0;              // where the entry's name starts in the stream
};

// Receives the entries of a walk; data only for entries that begin() takes.
class entry_visitor {
public:
    virtual ~entry_visitor() = default;
    virtual bool begin(const sfx_entry &) { return false; }
    virtual void data(const uint8_t *, int) {}
    virtual void end(const sfx_entry &, int64_t /*got*/) {}
};

struct walk_outcome {
    std::vector<sfx_entry> entries;  // every entry whose name and header were read
    std::vector<std::string> faults; // where the stream is cut short or malformed
};

// Walks the expanded stream in `stream_path` (of `length` bytes) entry by
// entry, reading every byte as the installer would.
walk_outcome sfx_walk(const std::string &stream_path, uint32_t length, entry_visitor *v);

#endif
