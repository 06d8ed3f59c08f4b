// tempfile.h: temporary files that remove themselves: on every error path,
// and on an interrupt (SIGINT, SIGTERM, SIGHUP) too. An output is written
// to one beside its final name and renamed into place, so no reader ever
// sees it half written.
#ifndef QOXPACK_TEMPFILE_H
#define QOXPACK_TEMPFILE_H

#include <cstddef>
#include <filesystem>
#include <string>
#include <sys/types.h>

class temp_file {
public:
    // Creates an empty file in `dir` named `stem` plus a unique suffix.
    temp_file(const std::filesystem::path &dir, const std::string &stem);
    // A scratch file in the system's temporary folder.
    static std::filesystem::path scratch_dir();
    ~temp_file();
    temp_file(const temp_file &) = delete;
    temp_file &operator=(const temp_file &) = delete;

    int fd() const { return fd_; }
    const std::string &path() const { return path_; }

    // Writes all `n` bytes; throws qoxpack_error(exit_io) on failure.
    void write_all(const void *p, size_t n);
    // Closes the descriptor, keeping the file (it is still removed later).
    void close();
    // Gives the file `mode`, stores it durably and renames it to `target`;
    // from then on it is no longer removed.
    void put_in_place(const std::filesystem::path &target, mode_t mode);

private:
    std::string path_;
    int fd_ = -1;
    int slot_ = -1;          // where the interrupt handler finds the path
};

#endif
