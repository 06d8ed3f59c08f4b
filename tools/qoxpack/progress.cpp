// progress.cpp: the terminal progress line.
#include "progress.h"

#include <cstdio>
#include <unistd.h>

// The line currently on the terminal, so that a warning can clear it first.
static progress_line *on_screen;
static size_t on_screen_width;

progress_line::progress_line(std::string what)
    : what_(std::move(what)), start_(clock::now()), last_(), tty_(isatty(2) == 1) {}

progress_line::~progress_line() { clear(); }

bool progress_line::due()
{
    if (!tty_)
        return false;
    auto now = clock::now();
    if (now - start_ < std::chrono::milliseconds(500))
        return false;
    if (now - last_ < std::chrono::milliseconds(100))
        return false;
    last_ = now;
    return true;
}

static void put_line(progress_line *owner, const std::string &text)
{
    std::string line = "\rqoxpack: " + text;
    size_t width = line.size();
    if (width < on_screen_width)
        line.append(on_screen_width - width, ' ');
    fputs(line.c_str(), stderr);
    fflush(stderr);
    on_screen = owner;
    on_screen_width = width;
}

void progress_line::show(uint64_t done, uint64_t total)
{
    if (!due())
        return;
    std::string text = what_ + " " + human_size(done);
    if (total) {
        text += " of " + human_size(total);
        text += " (" + std::to_string(done * 100 / total) + "%)";
    }
    put_line(this, text);
}

void progress_line::show_text(const std::string &text)
{
    if (text != shown_ && due()) {
        shown_ = text;
        put_line(this, what_ + " " + text);
    }
}

void progress_line::clear()
{
    if (on_screen == this)
        progress_clear_any();
}

void progress_clear_any()
{
    if (!on_screen)
        return;
    fputs(("\r" + std::string(on_screen_width, ' ') + "\r").c_str(), stderr);
    fflush(stderr);
    on_screen = nullptr;
    on_screen_width = 0;
}

std::string human_size(uint64_t n)
{
    char buf[32];
    if (n < 10000)
        snprintf(buf, sizeof buf, "%llu bytes", (unsigned long long)n);
    else if (n < 10000ull * 1024)
        snprintf(buf, sizeof buf, "%.1f KB", n / 1024.0);
    else if (n < 10000ull * 1024 * 1024)
        snprintf(buf, sizeof buf, "%.1f MB", n / (1024.0 * 1024));
    else
        snprintf(buf, sizeof buf, "%.1f GB", n / (1024.0 * 1024 * 1024));
    return buf;
}
