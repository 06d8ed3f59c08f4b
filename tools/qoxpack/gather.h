// gather.h: turning the files and folders named on the command line into
// archive entries: names, sizes and DOS time blocks, sorted by name.
#ifndef QOXPACK_GATHER_H
#define QOXPACK_GATHER_H

#include <cstdint>
#include <string>
#include <vector>

struct source_file {
    std::string path;        // where the data is read from
    std::string name;        // the entry name, '\\'-separated
    uint64_t size;           // the size when gathered
    uint32_t time_block;     // DOS time low, date high, local time
};

// Files given directly become their base names; a folder's files get names
// relative to that folder. Folders are walked recursively; links to files
// are followed, links to folders and special files are left out with a
// warning, as are empty folders and the file `skip` (the output itself).
std::vector<source_file> gather(const std::vector<std::string> &inputs, const std::string &skip);

#endif
