// fail.h: qoxpack's exit codes, the error that ends a command, and the
// warning and error lines written to standard error.
#ifndef QOXPACK_FAIL_H
#define QOXPACK_FAIL_H

#include <stdexcept>
#include <string>

enum exit_code {
    exit_ok = 0,             // the command did what was asked
    exit_usage = 1,          // the command line could not be understood
    exit_refused = 2,        // bad input: a missing or damaged file, a refused name or record
    exit_io = 3,             // the operating system failed a read, write, create or rename
    exit_faults = 4          // verify found faults in the file
};

// Ends the running command with `code`; main prints "qoxpack: error: what".
struct qoxpack_error : std::runtime_error {
    int code;
    qoxpack_error(int c, const std::string &what) : std::runtime_error(what), code(c) {}
};

[[noreturn]] inline void refuse(const std::string &why) { throw qoxpack_error(exit_refused, why); }
[[noreturn]] void io_fail(const std::string &what);         // adds strerror(errno)

// "qoxpack: warning: ..." and "qoxpack: error: ..." on standard error, each
// line written whole (a progress line on the terminal is cleared first).
void warn(const std::string &text);
void report_error(const std::string &text);

// Quotes a name for messages: control characters and bytes that do not
// print become \xNN, so a hostile name cannot drive the terminal.
std::string quote(const std::string &name);

#endif
