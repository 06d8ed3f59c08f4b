// layout.h: the rules qoxpack holds a self-expanding file to, shared by
// create (which refuses) and verify (which reports faults): the launch
// record's fields, entry names, the set of names, DOS time blocks.
// docs/file-format.md describes the layout these constants come from.
#ifndef QOXPACK_LAYOUT_H
#define QOXPACK_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace layout {

constexpr size_t stub_region = 32768;        // the stub, zero-filled to this size
constexpr size_t record_text_max = 519;      // the record is read as 520 bytes, zero included
constexpr size_t name_max = 255;             // an entry name is read with one 256-byte read
constexpr size_t cleanup_arena = 16000;      // the installer's list of names to remove
constexpr const char *self_copy = "QOX32.EXE"; // the stub copy written for field 3 "self"
constexpr int64_t size_max = 0x7fffffff;     // entry sizes and the stream are signed 32-bit
constexpr uint8_t szdd_last_char = '_';      // stored in the SZDD header; see file-format.md

// The three fields of a launch record as qoxpack writes them.
struct record_fields {
    std::string run;         // field 1: program opened after expansion ("" for none)
    std::string chain;       // field 2: "auto", a second program, or "" (no auto mode)
    bool self = false;       // field 3 "self": write the stub copy
};

// The record text: fields joined by commas, trailing empty fields left out.
std::string record_text(const record_fields &f);

// Why qoxpack refuses to write these fields; empty when it does not.
std::vector<std::string> record_refusals(const record_fields &f);

// What is wrong with a record text read from a file, one line per fault.
std::vector<std::string> record_faults(const std::string &text);

// Why `name` may not be an entry name; empty when it may. Covers: empty,
// a zero byte, control characters, over 255 bytes, absolute, a drive
// letter, a ".." level, an empty level, '/', and the shared name rule.
std::string name_problem(const std::string &name);

// A warning for a name that is safe but that Windows would not create as
// written (reserved characters, a level ending in a dot or space); or "".
std::string name_caution(const std::string &name);

// The key under which Windows takes two names as the same file.
std::string fold(const std::string &name);

// Problems of the set of names as a whole: two names equal without regard
// to case, a name used both as a file and as a folder, and a clean-up list
// (names plus their zero bytes, plus the stub copy's when `self`) over
// cleanup_arena bytes.
std::vector<std::string> set_problems(const std::vector<std::string> &names, bool self);

// Bytes the installer's clean-up list needs for these names.
size_t cleanup_bytes(const std::vector<std::string> &names, bool self);

// The DOS time block (time low, date high) of `t` in local time, seconds
// rounded down to even. Times before 1980 and after 2107 are clamped to
// the format's range; `clamped` then says so.
uint32_t dos_block(std::time_t t, bool *clamped);

// Whether every field of the block is in range (a real date and time).
bool dos_block_valid(uint32_t block);

// "YYYY-MM-DD HH:MM:SS" of the block's fields as stored.
std::string dos_block_text(uint32_t block);

// The block read as local time; false when it holds no real date.
bool dos_block_time(uint32_t block, std::time_t *t);

} // namespace layout

#endif
