// layout.cpp: record, name and time rules of a self-expanding file.
#include "layout.h"
#include "fail.h"

#include "names.h"

#include <algorithm>
#include <map>
#include <set>

namespace layout {

static bool control_char(unsigned char c) { return c < 0x20 || c == 0x7f; }

static bool has_control(const std::string &s)
{
    for (unsigned char c : s)
        if (control_char(c))
            return true;
    return false;
}

// The installer opens field 1 below the target folder and, in auto mode,
// deletes it (and field 2, put in place of field 1's last level) there once
// it can: a name that leads elsewhere would open or delete a file outside.
static std::vector<std::string> program_problems(const std::string &run, const std::string &chain)
{
    std::vector<std::string> why;
    if (!run.empty() && run.find(',') == std::string::npos && !name_problem(run).empty())
        why.push_back("the program to run " + quote(run) + ": " + name_problem(run) +
                      "; the installer would open, and in auto mode delete, a file there");
    if (!chain.empty() && chain != "auto" && chain[0] != ' ' &&
        chain.find(',') == std::string::npos && !name_problem(chain).empty())
        why.push_back("the chained program " + quote(chain) + ": " + name_problem(chain) +
                      "; the installer would delete a file there");
    return why;
}

std::string record_text(const record_fields &f)
{
    std::string text = f.run;
    if (!f.chain.empty() || f.self)
        text += "," + f.chain;
    if (f.self)
        text += ",self";
    return text;
}

std::vector<std::string> record_refusals(const record_fields &f)
{
    std::vector<std::string> why;
    if (f.run.find(',') != std::string::npos)
        why.push_back("the program to run " + quote(f.run) +
                      " contains a comma, which would end field 1 of the record there");
    if (f.chain.find(',') != std::string::npos)
        why.push_back("the chained program " + quote(f.chain) +
                      " contains a comma, which would end field 2 of the record there");
    if (!f.chain.empty() && f.chain[0] == ' ')
        why.push_back("the chained program " + quote(f.chain) +
                      " starts with a space, which the installer reads as an empty field 2"
                      " (no auto mode, and no stub copy)");
    if (has_control(f.run) || has_control(f.chain))
        why.push_back("the record may not contain control characters");
    if (!f.chain.empty() && f.run.empty())
        why.push_back("a chained program or auto mode needs a program to run (--run)");
    for (auto &p : program_problems(f.run, f.chain))
        why.push_back(p);
    std::string text = record_text(f);
    if (text.size() > record_text_max)
        why.push_back("the record " + quote(text) + " is " + std::to_string(text.size()) +
                      " characters long; the installer reads at most " +
                      std::to_string(record_text_max));
    return why;
}

std::vector<std::string> record_faults(const std::string &text)
{
    std::vector<std::string> faults;
    if (text.size() > record_text_max)
        faults.push_back("the record is " + std::to_string(text.size()) +
                         " characters long; at most " + std::to_string(record_text_max) +
                         " are read");
    if (has_control(text))
        faults.push_back("the record " + quote(text) + " contains control characters");
    // Fields as the installer cuts them: at the first two commas only.
    size_t c1 = text.find(',');
    size_t c2 = c1 == std::string::npos ? c1 : text.find(',', c1 + 1);
    std::string run = text.substr(0, c1);
    std::string chain, option;
    if (c1 != std::string::npos)
        chain = text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (c2 != std::string::npos)
        option = text.substr(c2 + 1);
    if (!chain.empty() && chain[0] == ' ')
        faults.push_back("field 2 " + quote(chain) +
                         " starts with a space, which empties it and the fields after it");
    if (!option.empty() && option[0] == ' ')
        faults.push_back("field 3 " + quote(option) + " starts with a space, which empties it");
    else if (option.find(',') != std::string::npos)
        faults.push_back("the record has more than three fields; field 3 would read " +
                         quote(option));
    else if (!option.empty() && option != "self")
        faults.push_back("field 3 is " + quote(option) +
                         "; only \"self\" means anything (no stub copy is written)");
    if (run.empty() && !chain.empty() && chain[0] != ' ')
        faults.push_back("field 2 " + quote(chain) +
                         " starts auto mode, but field 1 names no program to run");
    if (!has_control(text))
        for (auto &p : program_problems(run, chain.empty() || chain[0] == ' ' ? "" : chain))
            faults.push_back(p);
    return faults;
}

static bool is_sep(char c) { return c == '\\' || c == '/'; }

std::string name_problem(const std::string &name)
{
    if (name.empty())
        return "the name is empty";
    if (name.find('\0') != std::string::npos)
        return "the name contains a zero byte, which would end it early";
    if (name.size() > name_max)
        return "the name is " + std::to_string(name.size()) + " bytes long; at most " +
               std::to_string(name_max) + " are read";
    if (has_control(name))
        return "the name contains a control character";
    if (is_sep(name[0]))
        return "the name is absolute (starts with a separator)";
    if (name.size() >= 2 && name[1] == ':')
        return "the name starts with a drive letter";
    if (name.find('/') != std::string::npos)
        return "the name contains '/', which is not a folder separator in archive names";
    size_t level = 0;
    for (size_t i = 0; i <= name.size(); i++) {
        if (i == name.size() || name[i] == '\\') {
            std::string part = name.substr(level, i - level);
            if (part.empty())
                return "the name has an empty folder level or ends with '\\'";
            if (part.find_first_not_of(". ") == std::string::npos &&
                std::count(part.begin(), part.end(), '.') >= 2)
                return "the name has a \"..\" level, which leads out of the target folder";
            level = i + 1;
        }
    }
    if (!name_safe(name.c_str()))
        return "the name is one the installer keeps for its own files (~un1, ~un2)";
    return "";
}

std::string name_caution(const std::string &name)
{
    if (name.find_first_of("<>:\"|?*") != std::string::npos)
        return "it contains a character Windows does not allow in file names (<>:\"|?*)";
    size_t level = 0;
    for (size_t i = 0; i <= name.size(); i++) {
        if (i == name.size() || name[i] == '\\') {
            if (i > level && (name[i - 1] == '.' || name[i - 1] == ' '))
                return "a level ends with a dot or a space, which Windows drops";
            level = i + 1;
        }
    }
    return "";
}

std::string fold(const std::string &name)
{
    std::string key = name;
    for (char &c : key)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c + 32);
    return key;
}

size_t cleanup_bytes(const std::vector<std::string> &names, bool self)
{
    size_t n = self ? std::string(self_copy).size() + 1 : 0;
    for (const auto &name : names)
        n += name.size() + 1;
    return n;
}

std::vector<std::string> set_problems(const std::vector<std::string> &names, bool self)
{
    std::vector<std::string> why;
    std::map<std::string, std::string> files;   // folded name -> name as given
    if (self)
        files[fold(self_copy)] = std::string(self_copy) + " (the stub copy)";
    for (const auto &name : names) {
        auto [it, fresh] = files.emplace(fold(name), name);
        if (!fresh)
            why.push_back("the names " + quote(it->second) + " and " + quote(name) +
                          " are the same without regard to case; on Windows one would"
                          " overwrite the other");
    }
    std::set<std::string> reported;
    for (const auto &name : names) {
        for (size_t i = name.find('\\'); i != std::string::npos; i = name.find('\\', i + 1)) {
            auto it = files.find(fold(name.substr(0, i)));
            if (it != files.end() && reported.insert(it->first).second)
                why.push_back(quote(it->second) + " is a file, but " + quote(name) +
                              " needs a folder of that name");
        }
    }
    size_t bytes = cleanup_bytes(names, self);
    if (bytes > cleanup_arena)
        why.push_back("the names take " + std::to_string(bytes) +
                      " bytes of the installer's " + std::to_string(cleanup_arena) +
                      "-byte clean-up list (each name plus one; use fewer or shorter names)");
    return why;
}

uint32_t dos_block(std::time_t t, bool *clamped)
{
    struct tm tm {};
    *clamped = false;
    if (!localtime_r(&t, &tm) || tm.tm_year + 1900 < 1980) {
        *clamped = true;
        return (uint32_t)((0 << 9) | (1 << 5) | 1) << 16;   // 1980-01-01 00:00:00
    }
    if (tm.tm_year + 1900 > 2107) {
        *clamped = true;
        return (uint32_t)((127 << 9) | (12 << 5) | 31) << 16 | (23 << 11) | (59 << 5) | 29;
    }
    uint32_t date = (uint32_t)((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;               // a leap second
    uint32_t time = (uint32_t)(tm.tm_hour << 11 | tm.tm_min << 5 | sec / 2);
    return date << 16 | time;
}

struct dos_fields { int year, month, day, hour, minute, second; };

static dos_fields split(uint32_t block)
{
    uint32_t date = block >> 16, time = block & 0xffff;
    return {int(date >> 9) + 1980, int(date >> 5 & 15), int(date & 31),
            int(time >> 11), int(time >> 5 & 63), int(time & 31) * 2};
}

bool dos_block_valid(uint32_t block)
{
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    dos_fields f = split(block);
    return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= days[f.month - 1] &&
           f.hour < 24 && f.minute < 60 && f.second < 60;
}

std::string dos_block_text(uint32_t block)
{
    dos_fields f = split(block);
    char buf[40];
    snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day,
             f.hour, f.minute, f.second);
    return buf;
}

bool dos_block_time(uint32_t block, std::time_t *t)
{
    if (!dos_block_valid(block))
        return false;
    dos_fields f = split(block);
    struct tm tm {};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    *t = mktime(&tm);
    return *t != (std::time_t)-1;
}

} // namespace layout
