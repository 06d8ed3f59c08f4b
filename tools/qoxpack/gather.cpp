// gather.cpp: collecting the input files of an archive.
#include "gather.h"
#include "fail.h"
#include "layout.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct gatherer {
    std::vector<source_file> files;
    dev_t skip_dev = 0;
    ino_t skip_ino = 0;
    bool have_skip = false;

    // Adds one regular file (after links), unless it is the output.
    void add(const fs::path &path, const std::string &name, const struct stat &st)
    {
        if (have_skip && st.st_dev == skip_dev && st.st_ino == skip_ino) {
            warn("leaving out " + quote(path.string()) + ": it is the output file");
            return;
        }
        bool clamped;
        uint32_t block = layout::dos_block(st.st_mtime, &clamped);
        if (clamped)
            warn(quote(path.string()) + ": its modification time lies outside 1980-2107,"
                 " the range of DOS time stamps; stored as " + layout::dos_block_text(block));
        files.push_back({path.string(), name, (uint64_t)st.st_size, block});
    }

    void add_folder(const fs::path &root);
};

// The entry name of `path`, which the walk of `root` produced as `root`
// followed by more levels: those levels joined with '\\'.
std::string entry_name(const fs::path &root, const fs::path &path)
{
    std::string name = path.string().substr(root.string().size());
    name.erase(0, name.find_first_not_of('/'));
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

void gatherer::add_folder(const fs::path &root)
{
    std::map<std::string, std::string> folders; // entry-style name -> path
    std::set<std::string> filled;               // folders with a file below them
    std::error_code ec;
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec)
        throw qoxpack_error(exit_io, "cannot read the folder " + quote(root.string()) + ": " +
                                         ec.message());
    size_t before = files.size();
    for (; it != end; it.increment(ec)) {
        if (ec)
            throw qoxpack_error(exit_io, "cannot read the folder " + quote(root.string()) +
                                             ": " + ec.message());
        const fs::path &path = it->path();
        std::string name = entry_name(root, path);
        struct stat lst, st;
        if (lstat(path.c_str(), &lst) != 0)
            io_fail("cannot read " + quote(path.string()));
        if (S_ISDIR(lst.st_mode)) {
            folders[name] = path.string();
            continue;
        }
        if (stat(path.c_str(), &st) != 0) {
            warn("leaving out " + quote(path.string()) + ": a link that leads nowhere");
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            warn("leaving out " + quote(path.string()) + ": links to folders are not followed");
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            warn("leaving out " + quote(path.string()) + ": not a regular file");
            continue;
        }
        add(path, name, st);
        for (size_t i = name.find('\\'); i != std::string::npos; i = name.find('\\', i + 1))
            filled.insert(name.substr(0, i));
    }
    if (files.size() == before) {
        warn("the folder " + quote(root.string()) + " holds no files; it adds nothing");
        return;
    }
    // Only the outermost empty folders are named.
    for (const auto &[f, shown] : folders) {
        if (filled.count(f))
            continue;
        size_t cut = f.rfind('\\');
        if (cut != std::string::npos && !filled.count(f.substr(0, cut)))
            continue;
        warn("the empty folder " + quote(shown) +
             " is left out: archives hold files only");
    }
}

} // namespace

std::vector<source_file> gather(const std::vector<std::string> &inputs, const std::string &skip)
{
    gatherer g;
    struct stat st;
    if (!skip.empty() && stat(skip.c_str(), &st) == 0) {
        g.have_skip = true;
        g.skip_dev = st.st_dev;
        g.skip_ino = st.st_ino;
    }
    for (const auto &input : inputs) {
        if (stat(input.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                refuse("no such file or folder: " + quote(input));
            io_fail("cannot read " + quote(input));
        }
        fs::path path(input);
        if (S_ISDIR(st.st_mode)) {
            g.add_folder(path);
        } else if (S_ISREG(st.st_mode)) {
            std::string base = path.filename().string();
            g.add(path, base, st);
        } else {
            refuse(quote(input) + " is not a regular file or a folder");
        }
    }
    std::sort(g.files.begin(), g.files.end(),
              [](const source_file &a, const source_file &b) { return a.name < b.name; });
    return g.files;
}
