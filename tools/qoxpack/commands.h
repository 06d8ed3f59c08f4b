// commands.h: the four commands of qoxpack, each returning its exit code.
#ifndef QOXPACK_COMMANDS_H
#define QOXPACK_COMMANDS_H

#include <string>
#include <vector>

struct create_options {
    std::string out;                 // the self-expanding file to write
    std::string stub;                // "" for qox32.exe beside qoxpack
    std::string run;                 // field 1
    std::string chain;               // field 2 (a second program)
    bool auto_mode = false;          // field 2 "auto"
    bool self = false;               // field 3 "self"
    std::vector<std::string> inputs; // files and folders to pack
};

int cmd_create(const create_options &o);
int cmd_list(const std::string &file);
int cmd_verify(const std::string &file);
int cmd_extract(const std::string &file, const std::string &dir);

// The stub create uses when --stub is not given: qox32.exe in the folder
// that holds the running qoxpack.
std::string default_stub();

#endif
