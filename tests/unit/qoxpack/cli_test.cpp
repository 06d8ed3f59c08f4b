// cli_test.cpp: qoxpack run as a user runs it: create, list, verify and
// extract round trips, each refusal, the faults verify finds in files
// built by hand, extraction that never leaves its folder, atomic output,
// and the exit codes.
#include "szdd_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using bytes = std::string;

namespace {

struct result {
    int rc;
    std::string out, err;
};

bytes slurp(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void spill(const fs::path &p, const bytes &data)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(data.data(), (std::streamsize)data.size());
}

void touch(const fs::path &p, std::time_t t)
{
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, 0), 0) << p;
}

std::time_t local(int y, int mo, int d, int h, int mi, int s)
{
    struct tm tm {};
    tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d;
    tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s, tm.tm_isdst = -1;
    return mktime(&tm);
}

bytes le32(uint32_t v)
{
    bytes b(4, 0);
    for (int i = 0; i < 4; i++)
        b[i] = (char)(v >> (8 * i));
    return b;
}

// One archive entry as the stream stores it.
constexpr int64_t data_size = INT64_MIN;   // the size field says what the data holds

bytes entry(const bytes &name, const bytes &data, int64_t size = data_size,
            uint32_t block = 0x52E46D6F)
{
    return name + '\0' + le32(block) +
           le32((uint32_t)(size == data_size ? (int64_t)data.size() : size)) + data;
}

bytes stub_bytes(size_t n = 1000)
{
    bytes s = "\x7f" "ELF";
    std::mt19937 rng(7);
    while (s.size() < n)
        s += (char)(rng() % 255 + 1);
    return s;
}

bytes packed(const bytes &stream)
{
    auto v = szdd_compress((const uint8_t *)stream.data(), stream.size(), '_');
    return bytes(v.begin(), v.end());
}

// A self-expanding file built by hand, for what qoxpack would refuse to make.
bytes crafted(const bytes &record, const bytes &stream)
{
    bytes region = stub_bytes();
    region.resize(32768, '\0');
    return region + record + '\0' + packed(stream);
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

class qoxpack : public ::testing::Test {
protected:
    fs::path root, io, src, out, stub;

    void SetUp() override
    {
        char tmpl[] = "/tmp/qoxpack-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        io = root / "io";
        src = root / "src";
        out = root / "out";
        for (auto &d : {io, src, out})
            fs::create_directories(d);
        stub = io / "stub";
        spill(stub, stub_bytes());
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs qoxpack with `args`; `tz` sets the time zone; `fsize` limits the
    // size of files it may write (writes past it fail with EFBIG).
    result run(std::vector<std::string> args, const char *tz = "Asia/Kolkata", long fsize = 0)
    {
        fs::path o = io / "stdout", e = io / "stderr";
        pid_t pid = fork();
        if (pid == 0) {
            int fo = open(o.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int fe = open(e.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fo, 1);
            dup2(fe, 2);
            setenv("TZ", tz, 1);
            if (fsize) {
                struct rlimit rl = {(rlim_t)fsize, (rlim_t)fsize};
                setrlimit(RLIMIT_FSIZE, &rl);
                signal(SIGXFSZ, SIG_IGN);
            }
            std::vector<char *> argv{const_cast<char *>(QOXPACK)};
            for (auto &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(QOXPACK, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), slurp(o),
                slurp(e)};
    }

    result create(std::vector<std::string> opts, std::vector<std::string> inputs = {})
    {
        std::vector<std::string> args{"create", "-o", (out / "app.run").string(), "--stub",
                                      stub.string()};
        args.insert(args.end(), opts.begin(), opts.end());
        if (inputs.empty())
            inputs.push_back(src.string());
        args.insert(args.end(), inputs.begin(), inputs.end());
        return run(args);
    }

    std::vector<std::string> listing(const fs::path &dir)
    {
        std::vector<std::string> names;
        for (auto &e : fs::recursive_directory_iterator(dir))
            names.push_back(e.path().lexically_relative(dir).string() +
                            (e.is_directory() ? "/" : ""));
        std::sort(names.begin(), names.end());
        return names;
    }

    // A self-expanding file written by hand into out/.
    fs::path hand_made(const bytes &blob)
    {
        fs::path p = out / "hand.run";
        spill(p, blob);
        return p;
    }
};

// ---- round trip -----------------------------------------------------------

TEST_F(qoxpack, round_trip_keeps_names_data_and_local_times)
{
    setenv("TZ", "Asia/Kolkata", 1);   // half-hour offset: local time, not UTC
    tzset();
    std::string long_name(251, 'L');
    long_name += ".txt";                            // 255 bytes
    std::mt19937 rng(1);
    bytes big;
    for (int i = 0; i < 70000; i++)
        big += (char)(rng() % 7);
    struct { std::string path; bytes data; std::time_t t; } files[] = {
        {"setup.sh", "#!/bin/sh\necho hi\n", local(2001, 2, 3, 4, 5, 6)},
        {"empty.txt", "", local(1999, 12, 31, 23, 59, 58)},
        {"deep/er/nested.bin", big, local(2021, 7, 4, 13, 45, 31)},  // odd second
        {"deep/note.txt", "note", local(2030, 1, 1, 0, 0, 0)},
        {long_name, "long", local(1980, 1, 1, 0, 0, 0)},
    };
    for (auto &f : files) {
        spill(src / f.path, f.data);
        touch(src / f.path, f.t);
    }

    result c = create({"--run", "SETUP.SH", "--auto"});
    ASSERT_EQ(c.rc, 0) << c.err;
    EXPECT_EQ(c.err, "");   // the run name matches without regard to case: no warning
    EXPECT_EQ(fs::status(out / "app.run").permissions() & fs::perms::all,
              fs::perms(0755));

    result l = run({"list", (out / "app.run").string()});
    ASSERT_EQ(l.rc, 0) << l.err;
    EXPECT_TRUE(has(l.out, "run:              SETUP.SH")) << l.out;
    EXPECT_TRUE(has(l.out, "auto mode:        yes"));
    EXPECT_TRUE(has(l.out, "stream offset:    " + std::to_string(32769 + 13)));
    EXPECT_TRUE(has(l.out, "         0  1999-12-31 23:59:58  empty.txt")) << l.out;
    EXPECT_TRUE(has(l.out, "     70000  2021-07-04 13:45:30  deep\\er\\nested.bin")) << l.out;
    EXPECT_TRUE(has(l.out, "1980-01-01 00:00:00  " + long_name));
    // Sorted by name, whatever order the folder gave.
    EXPECT_LT(l.out.find("deep\\er\\nested.bin"), l.out.find("deep\\note.txt"));
    EXPECT_LT(l.out.find("empty.txt"), l.out.find("setup.sh"));

    result v = run({"verify", (out / "app.run").string()});
    EXPECT_EQ(v.rc, 0) << v.out;
    EXPECT_TRUE(has(v.out, "OK: ")) << v.out;

    fs::path dest = root / "x" / "y";   // made, levels and all
    result x = run({"extract", (out / "app.run").string(), dest.string()});
    ASSERT_EQ(x.rc, 0) << x.err;
    for (auto &f : files) {
        EXPECT_EQ(slurp(dest / f.path), f.data) << f.path;
        struct stat st;
        ASSERT_EQ(stat((dest / f.path).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, f.t - f.t % 2) << f.path;   // even seconds, local time
    }
    EXPECT_EQ(listing(dest).size(), listing(src).size());
    unsetenv("TZ");
    tzset();
}

TEST_F(qoxpack, record_layout_and_stub_region)
{
    spill(src / "setup.exe", "x");
    spill(src / "setup1.exe", "y");
    struct { std::vector<std::string> opts; bytes record; } cases[] = {
        {{"--run", "setup.exe"}, "setup.exe"},
        {{"--run", "setup.exe", "--chain", "setup1.exe"}, "setup.exe,setup1.exe"},
        {{"--run", "setup.exe", "--auto"}, "setup.exe,auto"},
        {{"--run", "setup.exe", "--self"}, "setup.exe,,self"},
        {{"--run", "setup.exe", "--auto", "--self"}, "setup.exe,auto,self"},
        {{}, ""},
    };
    for (auto &c : cases) {
        result r = create(c.opts);
        ASSERT_EQ(r.rc, 0) << r.err;
        bytes file = slurp(out / "app.run");
        bytes region = stub_bytes();
        region.resize(32768, '\0');
        EXPECT_EQ(file.substr(0, 32768), region);
        EXPECT_EQ(file.substr(32768, c.record.size() + 1), c.record + '\0');
        EXPECT_EQ(file.substr(32769 + c.record.size(), 8), "SZDD\x88\xf0\x27\x33");
        EXPECT_EQ(file[32769 + c.record.size() + 9], '_');   // the last-character byte
    }
}

TEST_F(qoxpack, warnings_do_not_stop_create)
{
    spill(src / "a.txt", "a");
    fs::create_directories(src / "hollow" / "inner");
    spill(src / "old.txt", "o");
    touch(src / "old.txt", 86400 * 365);   // 1971
    result r = create({"--run", "setup.exe", "--chain", "next.exe"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(has(r.err, "--run \"setup.exe\" names no entry")) << r.err;
    EXPECT_TRUE(has(r.err, "--chain \"next.exe\"")) << r.err;
    EXPECT_TRUE(has(r.err, "empty folder")) << r.err;
    EXPECT_FALSE(has(r.err, "inner"));          // only the outermost empty folder
    EXPECT_TRUE(has(r.err, "1980-01-01 00:00:00")) << r.err;
    result l = run({"list", (out / "app.run").string()});
    EXPECT_TRUE(has(l.out, "1980-01-01 00:00:00  old.txt")) << l.out;
}

TEST_F(qoxpack, files_given_directly_take_their_base_names)
{
    spill(src / "one" / "A.TXT", "a");
    spill(src / "two" / "b" / "c.txt", "c");
    result r = create({}, {(src / "one" / "A.TXT").string(), (src / "two").string()});
    ASSERT_EQ(r.rc, 0) << r.err;
    result l = run({"list", (out / "app.run").string()});
    EXPECT_TRUE(has(l.out, "  A.TXT\n")) << l.out;
    EXPECT_TRUE(has(l.out, "  b\\c.txt\n")) << l.out;
}

// ---- refusals -------------------------------------------------------------

TEST_F(qoxpack, refusals_write_nothing_and_say_why)
{
    struct refusal {
        const char *what;
        std::vector<std::string> opts;
        std::function<void(const fs::path &)> make;
        const char *why;
    };
    auto file = [](const std::string &name) {
        return [name](const fs::path &d) { spill(d / name, "x"); };
    };
    refusal cases[] = {
        {"long record", {"--run", std::string(520, 'r')}, file("a"), "at most 519"},
        {"comma in run", {"--run", "a,b"}, file("a"), "comma"},
        {"comma in chain", {"--run", "a", "--chain", "b,c"}, file("a"), "comma"},
        {"space before chain", {"--run", "a", "--chain", " b"}, file("a"), "space"},
        {"control in run", {"--run", "a\tb"}, file("a"), "control"},
        {"long name", {}, file(std::string(200, 'd') + "/" + std::string(60, 'f')), "at most 255"},
        {"absolute name", {}, file("\\abs"), "absolute"},
        {"drive letter", {}, file("C:evil"), "drive letter"},
        {"parent level", {}, file("..\\evil"), "\"..\""},
        {"parent level inside", {}, file("sub\\..\\..\\evil"), "\"..\""},
        {"dots and spaces", {}, file(".. \\evil"), "\"..\""},
        {"installer's own name", {}, file("~UN2"), "~un1"},
        {"control in name", {}, file("bad\nname"), "control"},
        {"names equal but for case", {}, [](const fs::path &d) {
             spill(d / "Read.me", "1");
             spill(d / "READ.ME", "2");
         }, "without regard to case"},
        {"stub copy's name", {"--self"}, file("qox32.exe"), "stub copy"},
        {"file and folder", {}, [](const fs::path &d) {
             spill(d / "DATA", "1");
             spill(d / "data" / "x", "2");
         }, "needs a folder"},
        {"clean-up list", {}, [](const fs::path &d) {
             for (int i = 0; i < 101; i++)
                 spill(d / (std::to_string(1000 + i) + std::string(155, 'n')), "");
         }, "clean-up list"},
        {"file over 2^31-1", {}, [](const fs::path &d) {
             spill(d / "huge", "");
             fs::resize_file(d / "huge", 0x80000000ull);   // sparse
         }, "at most 2147483647"},
        {"missing input", {}, nullptr, "no such file"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(src);
        fs::create_directories(src);
        if (c.make)
            c.make(src);
        std::vector<std::string> inputs;
        if (!c.make)
            inputs.push_back((src / "missing").string());
        result r = create(c.opts, inputs);
        EXPECT_EQ(r.rc, 2) << r.err;
        EXPECT_TRUE(has(r.err, c.why)) << r.err;
        EXPECT_TRUE(has(r.err, "qoxpack: error: ")) << r.err;
        EXPECT_TRUE(listing(out).empty());   // no output, no temporary file
    }
}

TEST_F(qoxpack, stub_must_fit_and_exist)
{
    spill(src / "a", "x");
    spill(stub, bytes(32768, 'S'));
    EXPECT_EQ(create({}).rc, 0);   // exactly the region
    fs::remove(out / "app.run");
    spill(stub, bytes(32769, 'S'));
    result r = create({});
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(has(r.err, "32768-byte stub region")) << r.err;
    fs::remove(stub);
    r = create({});
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(has(r.err, "does not exist")) << r.err;
    EXPECT_TRUE(listing(out).empty());
}

// ---- atomic output --------------------------------------------------------

TEST_F(qoxpack, failed_create_leaves_old_output_and_no_temporary_file)
{
    spill(src / "a", "x");
    spill(src / "A", "y");   // refused: equal but for case
    spill(out / "app.run", "old");
    EXPECT_EQ(create({}).rc, 2);
    EXPECT_EQ(slurp(out / "app.run"), "old");
    EXPECT_EQ(listing(out), std::vector<std::string>{"app.run"});

    // A write that fails midway (the file size limit) leaves no trace either.
    fs::remove(src / "A");
    result r = run({"create", "-o", (out / "app.run").string(), "--stub", stub.string(),
                    src.string()}, "UTC", 10000);
    EXPECT_EQ(r.rc, 3) << r.err;
    EXPECT_TRUE(has(r.err, "cannot write")) << r.err;
    EXPECT_EQ(slurp(out / "app.run"), "old");
    EXPECT_EQ(listing(out), std::vector<std::string>{"app.run"});

    r = run({"create", "-o", (root / "nowhere" / "app.run").string(), "--stub", stub.string(),
             src.string()});
    EXPECT_EQ(r.rc, 3) << r.err;
    EXPECT_FALSE(fs::exists(root / "nowhere"));
}

TEST_F(qoxpack, output_inside_an_input_folder_is_not_packed)
{
    spill(src / "a", "x");
    std::string o = (src / "app.run").string();
    ASSERT_EQ(run({"create", "-o", o, "--stub", stub.string(), src.string()}).rc, 0);
    result r = run({"create", "-o", o, "--stub", stub.string(), src.string()});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(has(r.err, "it is the output file")) << r.err;
    result l = run({"list", o});
    EXPECT_TRUE(has(l.out, "entries:          1\n")) << l.out;
}

// ---- verify ---------------------------------------------------------------

TEST_F(qoxpack, verify_finds_each_fault)
{
    bytes good_stream = entry("setup.sh", "#!/bin/sh\n") + entry("d\\f.txt", "data");
    bytes good = crafted("setup.sh,auto", good_stream);
    result ok = run({"verify", hand_made(good).string()});
    ASSERT_EQ(ok.rc, 0) << ok.out;   // the hand-made file itself is sound

    bytes bad_signature = good, bad_mode = good, long_header = good, short_header = good;
    size_t at = 32768 + 14;          // the SZDD header, after "setup.sh,auto" and its zero
    bad_signature[at + 2] = 'X';
    bad_mode[at + 8] = 'B';
    bytes longer = le32((uint32_t)good_stream.size() + 100);
    long_header.replace(at + 10, 4, longer);
    short_header.replace(at + 10, 4, le32((uint32_t)good_stream.size() - 2));
    bytes zero_stub = good;
    std::fill(zero_stub.begin(), zero_stub.begin() + 32768, '\0');
    bytes names255(256, 'n');

    std::vector<std::string> many;
    bytes crowd;
    for (int i = 0; i < 101; i++)
        crowd += entry(std::to_string(1000 + i) + std::string(155, 'n'), "");

    struct { const char *what; bytes blob; const char *fault; } cases[] = {
        {"shorter than the stub region", good.substr(0, 1000), "stub region alone"},
        {"stub alone", good.substr(0, 32768), "nothing follows"},
        {"no stub", zero_stub, "no stub"},
        {"record without zero", bytes(32768, 'S') + bytes(600, 'r'), "within the 520 bytes"},
        {"file ends in the record", bytes(32768, 'S') + "setup", "ends inside the launch record"},
        {"record alone", good.substr(0, at), "no compressed stream"},
        {"file ends in the header", good.substr(0, at + 6), "inside the SZDD header"},
        {"signature", bad_signature, "no SZDD signature"},
        {"mode", bad_mode, "mode is not 'A'"},
        {"cut compressed data", good.substr(0, good.size() - 3), "compressed data ends"},
        {"header promises more", long_header, "compressed data ends"},
        {"header cuts the stream", short_header, "only 2 are left"},
        {"record fields", crafted("setup.sh, x", good_stream), "field 2"},
        {"field 3", crafted("setup.sh,auto,Self", good_stream), "only \"self\""},
        {"trailing garbage", crafted("", good_stream + "junk"), "hold no whole entry"},
        {"trailing partial header", crafted("", good_stream + bytes("ab\0cd", 5)),
         "inside its time and size"},
        {"size past the end", crafted("", entry("a", "xy", 50)), "only 2 are left"},
        {"name of 256 bytes", crafted("", entry(names255, "x")), "within 256 bytes"},
        {"parent level", crafted("", entry("..\\x", "x")), "\"..\""},
        {"absolute", crafted("", entry("/etc/x", "x")), "absolute"},
        {"drive", crafted("", entry("C:x", "x")), "drive letter"},
        {"temporary name", crafted("", entry("~un1", "x")), "~un1"},
        {"empty name", crafted("", entry("", "x")), "empty"},
        {"control character", crafted("", entry("a\x1b]0;b", "x")), "control"},
        {"case twins", crafted("", entry("A", "1") + entry("a", "2")), "without regard to case"},
        {"negative size", crafted("", entry("n", "", -5)), "negative size"},
        {"not a date", crafted("", entry("t", "x", data_size, 0)), "not a real date"},
        {"clean-up list", crafted("", crowd), "clean-up list"},
        {"stub copy's name", crafted(",,self", entry("Qox32.Exe", "x")), "stub copy"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        result r = run({"verify", hand_made(c.blob).string()});
        EXPECT_EQ(r.rc, 4) << r.out << r.err;
        EXPECT_TRUE(has(r.out, c.fault)) << r.out;
        EXPECT_FALSE(has(r.out, "OK"));
    }
}

TEST_F(qoxpack, list_of_a_damaged_file_shows_what_it_can_and_fails)
{
    bytes blob = crafted("a", entry("a", "1") + entry("b", "22", 9));
    result r = run({"list", hand_made(blob).string()});
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(has(r.out, "  a\n")) << r.out;
    EXPECT_TRUE(has(r.err, "only 2 are left")) << r.err;
}

// ---- extract --------------------------------------------------------------

TEST_F(qoxpack, extract_never_writes_outside_its_folder)
{
    fs::path dest = root / "dest";
    spill(root / "victim", "keep");
    const char *hostile[] = {"..\\victim", "../victim", "sub\\..\\..\\victim", "/tmp/qoxpack-abs",
                             "\\victim", "C:victim", ".. \\victim", "sub/../../victim"};
    bytes stream;
    for (const char *n : hostile)
        stream += entry(n, "EVIL");
    stream += entry("GOOD\\ok.txt", "fine");   // read from the right place after them
    auto before = listing(root);
    result r = run({"extract", hand_made(crafted("", stream)).string(), dest.string()});
    EXPECT_EQ(r.rc, 2) << r.err;
    EXPECT_TRUE(has(r.err, "skipping \"..\\victim\"")) << r.err;
    EXPECT_TRUE(has(r.err, "8 entries were refused")) << r.err;
    EXPECT_EQ(slurp(root / "victim"), "keep");
    EXPECT_FALSE(fs::exists("/tmp/qoxpack-abs"));
    EXPECT_EQ(slurp(dest / "GOOD" / "ok.txt"), "fine");
    EXPECT_EQ(listing(dest), (std::vector<std::string>{"GOOD/", "GOOD/ok.txt"}));
}

TEST_F(qoxpack, extract_does_not_follow_links_inside_its_folder)
{
    fs::path dest = root / "dest", elsewhere = root / "elsewhere";
    fs::create_directories(dest);
    fs::create_directories(elsewhere);
    spill(root / "precious", "keep");
    fs::create_directory_symlink(elsewhere, dest / "link");
    fs::create_symlink(root / "precious", dest / "flink");
    fs::create_hard_link(root / "precious", dest / "hard");
    bytes stream = entry("link\\f.txt", "EVIL") + entry("flink", "new") + entry("hard", "new");
    result r = run({"extract", hand_made(crafted("", stream)).string(), dest.string()});
    EXPECT_EQ(r.rc, 2) << r.err;
    EXPECT_TRUE(has(r.err, "skipping \"link\\f.txt\"")) << r.err;
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(slurp(root / "precious"), "keep");
    EXPECT_FALSE(fs::is_symlink(dest / "flink"));   // replaced, not written through
    EXPECT_EQ(slurp(dest / "flink"), "new");
    EXPECT_EQ(slurp(dest / "hard"), "new");
}

TEST_F(qoxpack, extract_of_a_cut_stream_keeps_what_was_there_and_fails)
{
    fs::path dest = root / "dest";
    bytes blob = crafted("", entry("a", "1") + entry("b", "22", 9));
    result r = run({"extract", hand_made(blob).string(), dest.string()});
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(slurp(dest / "a"), "1");
    EXPECT_EQ(slurp(dest / "b"), "22");
    EXPECT_TRUE(has(r.err, "only 2 are left")) << r.err;
}

// ---- the command line -----------------------------------------------------

TEST_F(qoxpack, help_version_and_usage_errors)
{
    result h = run({"--help"});
    EXPECT_EQ(h.rc, 0);
    EXPECT_TRUE(has(h.out, "Exit codes:")) << h.out;
    EXPECT_TRUE(has(h.out, "setup.exe,,self"));
    for (const char *cmd : {"create", "list", "verify", "extract"}) {
        result c = run({cmd, "--help"});
        EXPECT_EQ(c.rc, 0) << cmd;
        EXPECT_TRUE(has(c.out, "Usage: qoxpack " + std::string(cmd))) << c.out;
    }
    result v = run({"--version"});
    EXPECT_EQ(v.rc, 0);
    EXPECT_EQ(v.out, "qoxpack 0.1.0\n");

    struct { std::vector<std::string> args; } usage[] = {
        {{}},
        {{"frobnicate"}},
        {{"create", src.string()}},                                  // no -o
        {{"create", "-o", "x", "--auto", src.string()}},            // --auto needs --run
        {{"create", "-o", "x", "--run", "a", "--auto", "--chain", "b", src.string()}},
        {{"extract", "only-one"}},
    };
    for (auto &u : usage) {
        result r = run(u.args);
        EXPECT_EQ(r.rc, 1) << r.err;
        EXPECT_TRUE(has(r.err, "qoxpack: error: ")) << r.err;
    }
    result missing = run({"list", (root / "absent").string()});
    EXPECT_EQ(missing.rc, 2);
    EXPECT_TRUE(has(missing.err, "no such file")) << missing.err;
}

} // namespace
