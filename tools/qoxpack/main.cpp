// main.cpp: qoxpack's command line: the commands, their help texts and the
// exit codes.
#include "commands.h"
#include "fail.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <new>

#ifndef QOX_VERSION
#define QOX_VERSION "unknown"
#endif

static const char *main_footer = R"(
A self-expanding file, by offset:
  0          the stub (qox32.exe for Windows, qox for POSIX), zero-filled to
             exactly 32768 bytes
  32768      the launch record: at most 519 characters, then one zero byte
  32769+len  the archive stream, compressed in the SZDD format (mode A)
The archive stream holds entries back to back, with no header or end mark:
the name (1 to 255 bytes, '\' between folder levels) and a zero byte; the
modification time as a DOS time block (4 bytes: time low, date high, local
time); the size (4 bytes, signed); the data. Little-endian throughout.

The launch record has up to three fields, separated by commas:
  1  the program opened after expansion (found without regard to case)
  2  non-empty means auto mode: the installer starts at once and removes
     the files when the programs have ended. "auto" awaits program 1 only;
     any other text names a second program, in program 1's folder, that
     program 1 starts and that is awaited too.
  3  "self": also write the stub as QOX32.EXE into the target folder.
  --run setup.exe                          -> setup.exe
  --run setup.exe --chain setup1.exe       -> setup.exe,setup1.exe
  --run setup.exe --auto                   -> setup.exe,auto
  --run setup.exe --self                   -> setup.exe,,self
  --run setup.exe --auto --self            -> setup.exe,auto,self

Examples:
  qoxpack create -o app.exe --run SETUP.EXE --auto dist/
  qoxpack create -o sample --stub out/bin/qox --run setup.sh examples/sample
  qoxpack list app.exe
  qoxpack verify app.exe
  qoxpack extract app.exe unpacked/

Exit codes:
  0  done
  1  the command line could not be understood
  2  bad input: a missing or damaged file, a refused name or record
  3  the system failed a read, write, create or rename
  4  verify found faults in the file

Each command explains itself: qoxpack COMMAND --help.)";

static const char *create_footer = R"(
Entries: a file given directly is stored under its base name; a folder's
files are stored under names relative to that folder, with '\' between
levels, recursively, sorted by name. Links to files are followed; links to
folders, special files and empty folders are left out with a warning (the
format has no folder entries). Each entry keeps its modification time in
local time, seconds rounded down to even; times outside 1980-2107 are
clamped, with a warning.

Refused (exit 2, nothing written), because the installer would misread the
file or write where it should not:
  - a record over 519 characters; a comma in --run or --chain; a --chain
    starting with a space; control characters in the record
  - --chain or --auto without --run
  - a name over 255 bytes, empty, absolute, with a drive letter, a '..'
    level, an empty level, control characters, or one of the installer's
    own names (~un1, ~un2)
  - two names equal without regard to case (one would overwrite the other
    on Windows, also QOX32.EXE with --self), or a name used as both a file
    and a folder
  - more than 16000 bytes of names (each name plus one, plus 10 for
    QOX32.EXE with --self): the installer's list of files to remove
  - a file over 2147483647 bytes, or an archive stream over that size
  - a stub over 32768 bytes
Warned: a --run that names no entry, a --chain that is not next to it.

OUTPUT is written to a temporary file beside it and renamed into place,
mode 0755, so it is never seen half written and a POSIX one runs as it is.
The SZDD header's last-character byte is '_'.)";

static const char *verify_footer = R"(
Checks: the stub region (32768 bytes, not empty); the launch record ended by
a zero byte within 520 bytes, and its fields; the SZDD header (signature,
mode A, expanded length); that the compressed data expands to exactly that
length; that the entries fill the expanded stream to its last byte, each
with a name of at most 255 bytes, a whole header and all its data; names
that stay inside the target; no two names equal without regard to case;
real dates; and that the names fit the installer's 16000-byte clean-up
list. One line per fault; exit 4 when there is any, else an "OK" line.)";

static const char *extract_footer = R"(
Writes every entry below DIR (made if missing) without running anything:
'\' in names becomes a real folder level, and each file gets its entry's
modification time, read as local time. An entry whose name would lead out
of DIR, or through a link already inside DIR, is skipped with an error;
the others are still written, and the exit code is then 2. An existing
file of the same name is replaced.)";

int main(int argc, char **argv)
{
    CLI::App app{"qoxpack: builds, lists, verifies and extracts self-expanding installer files."};
    app.name("qoxpack");
    app.set_version_flag("--version", std::string("qoxpack ") + QOX_VERSION);
    app.require_subcommand(1);
    app.footer(main_footer);

    create_options co;
    auto *create = app.add_subcommand("create", "Build a self-expanding file from files and folders.");
    create->add_option("-o,--output", co.out, "The self-expanding file to write")->required()
        ->option_text("OUTPUT");
    create->add_option("--stub", co.stub,
                       "The stub program (default: qox32.exe beside qoxpack; "
                       "the POSIX stub is qox)")->option_text("STUB");
    auto *run = create->add_option("--run", co.run,
                                   "Record field 1: the entry to open after expansion")
                    ->option_text("NAME");
    auto *chain = create->add_option("--chain", co.chain,
                                     "Record field 2: a second program to await (auto mode)")
                      ->option_text("NAME")->needs(run);
    auto *automode = create->add_flag("--auto", co.auto_mode,
                                      "Record field 2 \"auto\": start at once, await --run only")
                         ->needs(run);
    chain->excludes(automode);
    create->add_flag("--self", co.self, "Record field 3 \"self\": write the stub copy QOX32.EXE");
    create->add_option("INPUT", co.inputs, "Files and folders to pack")->required();
    create->footer(create_footer);

    std::string file, dir;
    auto *list = app.add_subcommand("list", "Show the record, the stream and every entry.");
    list->add_option("FILE", file, "A self-expanding file")->required();

    auto *verify = app.add_subcommand("verify", "Check the whole layout; one line per fault.");
    verify->add_option("FILE", file, "A self-expanding file")->required();
    verify->footer(verify_footer);

    auto *extract = app.add_subcommand("extract", "Write the entries into a folder, running nothing.");
    extract->add_option("FILE", file, "A self-expanding file")->required();
    extract->add_option("DIR", dir, "The folder to write into")->required();
    extract->footer(extract_footer);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        fprintf(stderr, "qoxpack: error: %s\nRun 'qoxpack --help' for usage.\n", e.what());
        return exit_usage;
    }

    try {
        if (*create)
            return cmd_create(co);
        if (*list)
            return cmd_list(file);
        if (*verify)
            return cmd_verify(file);
        if (*extract)
            return cmd_extract(file, dir);
    } catch (const qoxpack_error &e) {
        report_error(e.what());
        return e.code;
    } catch (const std::bad_alloc &) {
        report_error("out of memory");
        return exit_io;
    } catch (const std::exception &e) {
        report_error(e.what());
        return exit_io;
    }
    return exit_usage;
}
