// memfile.h (fuzz): one file held in memory behind the POSIX backend's
// table of OS calls, so the platform's buffered file handles read it as they
// would a file on disk, with reads cut to a chosen size and an optional read
// error at a chosen offset.
#ifndef QOX_FUZZ_MEMFILE_H
#define QOX_FUZZ_MEMFILE_H

#include <cstddef>
#include <cstdint>

struct memfile {
    const uint8_t *data = nullptr;
    size_t size = 0;
    size_t chunk = 0;        // the largest count one read yields; 0: no limit
    long fail_at = -1;       // a read that reaches this offset fails; -1: never
};

// Puts `f` behind every path: os_open of any name reads it. Until
// memfile_off(), the table's stat, open, read, lseek and close are replaced.
void memfile_on(const memfile &f);
void memfile_off();

#endif
