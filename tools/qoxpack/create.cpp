// create.cpp: the create command: stub, launch record and compressed
// archive stream, written atomically as one executable file.
#include "commands.h"
#include "fail.h"
#include "gather.h"
#include "layout.h"
#include "progress.h"
#include "tempfile.h"

#include "szdd_pack.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

std::string default_stub()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "qox32.exe";
    return (self.parent_path() / "qox32.exe").string();
}

namespace {

// The stub, zero-filled to the stub region's size.
std::vector<uint8_t> read_stub(const std::string &path, bool defaulted)
{
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (defaulted)
            refuse("the Windows stub " + quote(path) + " does not exist; build it"
                   " (make build) or name a stub with --stub (the POSIX stub is out/bin/qox)");
        refuse("the stub " + quote(path) + " does not exist");
    }
    if (!fs::is_regular_file(path, ec))
        refuse("the stub " + quote(path) + " is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        io_fail("cannot open the stub " + quote(path));
    std::vector<uint8_t> stub(layout::stub_region + 1, 0);
    in.read(reinterpret_cast<char *>(stub.data()), (std::streamsize)stub.size());
    if (in.bad())
        io_fail("cannot read the stub " + quote(path));
    size_t got = (size_t)in.gcount();
    if (got > layout::stub_region)
        refuse("the stub " + quote(path) + " is " + std::to_string(fs::file_size(path, ec)) +
               " bytes long; it must fit in the " + std::to_string(layout::stub_region) +
               "-byte stub region");
    if (got == 0)
        refuse("the stub " + quote(path) + " is empty");
    stub.resize(layout::stub_region);
    return stub;
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out.push_back((uint8_t)(v >> (8 * i)));
}

// The archive stream: each entry's name, zero byte, time block, size and data.
std::vector<uint8_t> build_stream(std::vector<source_file> &files)
{
    uint64_t total = 0;
    for (const auto &f : files)
        total += f.name.size() + 9 + f.size;
    std::vector<uint8_t> stream;
    stream.reserve((size_t)std::min<uint64_t>(total, (uint64_t)layout::size_max));
    progress_line progress("reading");
    for (auto &f : files) {
        std::ifstream in(f.path, std::ios::binary);
        if (!in)
            io_fail("cannot open " + quote(f.path));
        stream.insert(stream.end(), f.name.begin(), f.name.end());
        stream.push_back(0);
        put32(stream, f.time_block);
        size_t size_at = stream.size();
        put32(stream, 0);
        size_t data_at = stream.size();
        char buf[65536];
        for (;;) {
            in.read(buf, sizeof buf);
            std::streamsize got = in.gcount();
            if (got > 0)
                stream.insert(stream.end(), buf, buf + got);
            if (stream.size() - data_at > (uint64_t)layout::size_max)
                refuse(quote(f.path) + " grew past 2147483647 bytes while being read");
            if (stream.size() > (uint64_t)layout::size_max)
                refuse("the archive stream would pass 2147483647 bytes, more than the"
                       " installer can read");
            progress.show(stream.size(), total);
            if (!in) {
                if (in.bad())
                    io_fail("cannot read " + quote(f.path));
                break;
            }
        }
        // The size as read: a file that changed since it was listed is
        // stored as it was read.
        uint64_t size = stream.size() - data_at;
        f.size = size;
        for (int i = 0; i < 4; i++)
            stream[size_at + i] = (uint8_t)(size >> (8 * i));
    }
    return stream;
}

// Compresses on a second thread so that the terminal can be told the
// compressor is still at work.
std::vector<uint8_t> compress(const std::vector<uint8_t> &stream)
{
    std::vector<uint8_t> packed;
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        try {
            packed = szdd_compress(stream.data(), stream.size(), layout::szdd_last_char);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    progress_line progress("compressing " + human_size(stream.size()) + "...");
    auto start = std::chrono::steady_clock::now();
    while (!finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::steady_clock::now() - start).count();
        progress.show_text(std::to_string(secs) + " s");
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return packed;
}

void check_names(const std::vector<source_file> &files, const layout::record_fields &rec)
{
    std::vector<std::string> why;
    std::vector<std::string> names;
    for (const auto &f : files) {
        names.push_back(f.name);
        std::string problem = layout::name_problem(f.name);
        if (!problem.empty())
            why.push_back(quote(f.path) + " as " + quote(f.name) + ": " + problem);
        else if (std::string caution = layout::name_caution(f.name); !caution.empty())
            warn(quote(f.name) + ": " + caution);
        if (f.size > (uint64_t)layout::size_max)
            why.push_back(quote(f.path) + " is " + std::to_string(f.size) +
                          " bytes long; entries hold at most 2147483647");
    }
    for (auto &p : layout::set_problems(names, rec.self))
        why.push_back(p);
    for (auto &p : layout::record_refusals(rec))
        why.push_back(p);
    if (!why.empty()) {
        for (auto &w : why)
            report_error(w);
        refuse("nothing written: " + std::to_string(why.size()) +
               (why.size() == 1 ? " problem" : " problems") + " above");
    }
}

// The installer opens field 1 among the written files without regard to
// case, and looks for field 2 in the same folder.
void check_programs(const std::vector<source_file> &files, const layout::record_fields &rec)
{
    auto named = [&](const std::string &name) {
        for (const auto &f : files)
            if (layout::fold(f.name) == layout::fold(name))
                return true;
        return false;
    };
    if (!rec.run.empty() && !named(rec.run))
        warn("--run " + quote(rec.run) + " names no entry of the archive; the installer"
             " would open a file that is not there");
    if (rec.chain == "auto" || rec.chain.empty())
        return;
    std::string folder = rec.run.substr(0, rec.run.rfind('\\') + 1);
    if (rec.run.rfind('\\') == std::string::npos)
        folder.clear();
    if (!named(folder + rec.chain))
        warn("--chain " + quote(rec.chain) + ": the archive has no " +
             quote(folder + rec.chain) + "; the installer waits until the first program"
             " has put it there and it has ended");
    if (layout::fold(rec.chain) == "auto")
        warn("--chain " + quote(rec.chain) + " is a program name; only \"auto\" in lower"
             " case means to wait for the first program only (--auto)");
}

} // namespace

int cmd_create(const create_options &o)
{
    layout::record_fields rec;
    rec.run = o.run;
    rec.chain = o.auto_mode ? "auto" : o.chain;
    rec.self = o.self;
    std::string record = layout::record_text(rec);

    fs::path out(o.out);
    if (out.filename().empty())
        refuse("the output " + quote(o.out) + " names a folder, not a file");
    std::error_code ec;
    if (fs::is_directory(out, ec))
        refuse("the output " + quote(o.out) + " is a folder");

    std::string stub_path = o.stub.empty() ? default_stub() : o.stub;
    std::vector<uint8_t> stub = read_stub(stub_path, o.stub.empty());

    std::vector<source_file> files = gather(o.inputs, o.out);
    check_names(files, rec);
    check_programs(files, rec);

    std::vector<uint8_t> stream = build_stream(files);
    std::vector<uint8_t> packed = compress(stream);

    fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    temp_file tmp(folder, "." + out.filename().string() + ".qoxpack");
    tmp.write_all(stub.data(), stub.size());
    tmp.write_all(record.c_str(), record.size() + 1);
    tmp.write_all(packed.data(), packed.size());
    tmp.put_in_place(out, 0755);

    printf("%s: %zu %s, %s compressed to %s, %zu bytes in all; record \"%s\"\n",
           o.out.c_str(), files.size(), files.size() == 1 ? "entry" : "entries",
           human_size(stream.size()).c_str(), human_size(packed.size()).c_str(),
           layout::stub_region + record.size() + 1 + packed.size(), record.c_str());
    return exit_ok;
}
