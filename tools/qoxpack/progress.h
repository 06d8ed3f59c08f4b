// progress.h: the one progress line qoxpack keeps on a terminal, rewritten
// in place with \r, for work that takes more than a moment.
#ifndef QOXPACK_PROGRESS_H
#define QOXPACK_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

class progress_line {
public:
    // `what` starts the line, for instance "reading".
    explicit progress_line(std::string what);
    ~progress_line();
    progress_line(const progress_line &) = delete;
    progress_line &operator=(const progress_line &) = delete;

    // Shows `done` of `total` bytes (total 0: unknown). Cheap to call often:
    // nothing is written off a terminal, in the first half second, or more
    // than about ten times a second.
    void show(uint64_t done, uint64_t total);
    // Shows a free text after `what`, on the same terms.
    void show_text(const std::string &text);
    // Removes the line, if one was written.
    void clear();

private:
    using clock = std::chrono::steady_clock;
    bool due();
    std::string what_;
    std::string shown_;      // the text last written, not written again
    clock::time_point start_, last_;
    bool tty_;
};

// Clears whatever progress line is on the terminal (before a warning).
void progress_clear_any();

// "12.3 MB", "512 bytes": sizes for people.
std::string human_size(uint64_t n);

#endif
