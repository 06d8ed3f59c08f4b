// harness.h: the installer run in-process from WinMain to its end, over the
// real POSIX backend whose table of OS calls carries one planned fault, and a
// scripted user in place of the window operations.
#ifndef QOX_FAULTS_HARNESS_H
#define QOX_FAULTS_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

// The OS call that fails, and on what.
enum class call { none, create, write, write_short, read, close, lseek, mkdir, chdir,
                  unlink, rmdir, utimes, fork, spawn };

struct fault {
    call what = call::none;
    std::string on;          // the file or directory (its last path level); "" for any
    int after = 0;           // calls on it that succeed before the failures begin
    int err = 0;             // errno of the failure; 0 picks a fitting one
};

// What the scripted user does and what the run showed.
struct run_log {
    std::vector<std::string> boxes;     // "caption|text" of each message box
    std::vector<std::string> statuses;  // each status label text
    int launches = 0;                   // programs the shell was asked to start
    int result = -1;                    // the dialog's result
    int winmain = -1;                   // WinMain's return value
    int failures = 0;                   // calls the planned fault made fail
};

struct user_script {
    std::string typed;       // a path typed before OK; "" keeps the proposal
    int answer = 0;          // answer to a Yes/No box (answer_yes or answer_no)
    int polls = 20;          // timer messages delivered before the user cancels
};

// Runs the installer on the self-expanding file `exe` with `f` planned.
run_log run_installer(const std::string &exe, const fault &f, const user_script &u);

// Builds a self-expanding file: a stub region, the record, the compressed
// archive stream.
void write_sfx(const std::string &path, const std::string &record, const std::string &stream);

// One archive entry: name, time block, size (as given, or the data's length).
std::string entry(const std::string &name, uint32_t time_block, const std::string &data);

#endif
