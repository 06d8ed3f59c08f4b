// report.cpp: the list and verify commands.
#include "commands.h"
#include "fail.h"
#include "layout.h"
#include "sfx.h"

#include <cstdio>

namespace {

// Faults of the entries as a whole set, as verify counts them.
std::vector<std::string> entry_faults(const std::vector<sfx_entry> &entries, bool self)
{
    std::vector<std::string> faults;
    std::vector<std::string> names;
    for (const auto &e : entries) {
        names.push_back(e.name);
        std::string problem = layout::name_problem(e.name);
        if (!problem.empty())
            faults.push_back("entry " + quote(e.name) + ": " + problem);
        if (e.size < 0)
            faults.push_back("entry " + quote(e.name) + ": negative size " +
                             std::to_string(e.size));
        if (!layout::dos_block_valid(e.time_block))
            faults.push_back("entry " + quote(e.name) + ": the time stamp " +
                             layout::dos_block_text(e.time_block) + " is not a real date");
    }
    for (auto &p : layout::set_problems(names, self))
        faults.push_back(p);
    return faults;
}

// A name or field as text that is safe on a terminal, without quotes.
std::string shown(const std::string &text)
{
    std::string q = quote(text);
    return q.substr(1, q.size() - 2);
}

bool names_entry(const std::vector<sfx_entry> &entries, const std::string &name)
{
    for (const auto &e : entries)
        if (layout::fold(e.name) == layout::fold(name))
            return true;
    return false;
}

// The whole file read down to its entries; `faults` collects what is wrong.
struct reading {
    sfx_file file;
    walk_outcome walk;
    std::vector<std::string> faults;
    bool expanded = false;
};

void read_whole(const std::string &path, reading &r)
{
    if (!sfx_open(path, &r.file, r.faults))
        return;
    temp_file stream(temp_file::scratch_dir(), "qoxpack-stream");
    if (!sfx_expand(r.file, stream, r.faults))
        return;
    stream.close();
    r.expanded = true;
    r.walk = sfx_walk(stream.path(), r.file.expanded_length, nullptr);
    for (auto &f : r.walk.faults)
        r.faults.push_back(f);
}

} // namespace

int cmd_list(const std::string &path)
{
    reading r;
    read_whole(path, r);
    const sfx_file &f = r.file;
    if (f.stub.size() == layout::stub_region)
        printf("stub:             %s, %zu bytes before the zero fill\n", stub_kind(f).c_str(),
               stub_length(f));
    if (f.stream_offset) {
        printf("record:           %s\n", quote(f.record).c_str());
        printf("run:              %s\n", f.run.empty() ? "(none)" : shown(f.run).c_str());
        printf("chain:            %s\n", f.chain.empty() ? "(none)" : shown(f.chain).c_str());
        printf("self:             %s\n", f.option == "self" ? "yes (QOX32.EXE)" : "no");
        printf("auto mode:        %s\n", f.chain.empty() ? "no" : "yes");
        printf("stream offset:    %lld\n", (long long)f.stream_offset);
    }
    if (r.expanded) {
        printf("compressed:       %llu bytes\n",
               (unsigned long long)(f.size - (uint64_t)f.stream_offset));
        printf("expanded length:  %u bytes\n", f.expanded_length);
        printf("entries:          %zu\n\n", r.walk.entries.size());
        printf("%10s  %-19s  %s\n", "size", "date and time", "name");
        for (const auto &e : r.walk.entries)
            printf("%10d  %s  %s\n", e.size, layout::dos_block_text(e.time_block).c_str(),
                   shown(e.name).c_str());
    }
    fflush(stdout);
    // Faults that keep the listing from being whole; verify reports the rest.
    bool whole = r.expanded && r.walk.faults.empty();
    if (!whole) {
        for (auto &fault : r.faults)
            report_error(fault);
        refuse(quote(path) + " is damaged; the listing above is what could be read");
    }
    return exit_ok;
}

int cmd_verify(const std::string &path)
{
    reading r;
    read_whole(path, r);
    if (r.expanded) {
        for (auto &fault : entry_faults(r.walk.entries, r.file.option == "self"))
            r.faults.push_back(fault);
        if (r.faults.empty() && !r.file.run.empty() && !names_entry(r.walk.entries, r.file.run))
            warn("the program to run " + quote(r.file.run) + " is not among the entries");
    }
    for (auto &fault : r.faults)
        printf("%s: %s\n", path.c_str(), fault.c_str());
    if (!r.faults.empty()) {
        printf("%s: %zu %s\n", path.c_str(), r.faults.size(),
               r.faults.size() == 1 ? "fault" : "faults");
        return exit_faults;
    }
    printf("OK: %s: record %s, %zu %s, %u bytes expanded from %llu\n", path.c_str(),
           quote(r.file.record).c_str(), r.walk.entries.size(),
           r.walk.entries.size() == 1 ? "entry" : "entries", r.file.expanded_length,
           (unsigned long long)(r.file.size - (uint64_t)r.file.stream_offset));
    return exit_ok;
}
