// peers.h: the independent SZDD tools the codec is checked and measured
// against: libmspack's decompressor over memory, and Debian's msexpand and
// mscompress programs run over temporary files.
#ifndef QOX_LZ_PEERS_H
#define QOX_LZ_PEERS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

struct peer_result {
    bool ok = false;
    bytes data;
    std::string error;      // why it failed, for test messages
};

// libmspack's SZDD decompressor, memory to memory.
peer_result mspack_expand(const bytes &szdd);

// The same into `out`, which is emptied first and keeps its capacity (a
// benchmark reuses it, so that no run pays for fresh pages). Empty when
// libmspack succeeded, else why not.
std::string mspack_expand_into(const bytes &szdd, bytes &out);

// `msexpand`, fed the stream on standard input.
peer_result msexpand(const bytes &szdd);

// `mscompress` on a file holding `data`; the result is the stream it wrote.
peer_result mscompress(const bytes &data);

// Whether `name` is found on the PATH.
bool have_program(const char *name);

#endif
