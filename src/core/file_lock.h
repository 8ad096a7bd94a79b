#pragma once
// An exclusive advisory lock on a file for the length of a save, so that two instances
// of the program never run their saves of one file at the same time.
#include "io.h"

#include <QString>

#include <expected>
#include <optional>

namespace perlane {

class FileLock {
public:
    struct Refusal {
        QString why;
        bool busy = false; // another save holds it: trying later may work
    };
    // Locks the file at `path` without waiting.
    static std::expected<FileLock, Refusal> take(const QString &path);
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&other) noexcept;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();

    int fd() const { return fd_; }
    // Whether a program started now shares the lock (and so holds it for as long as it
    // runs, even if this program ends first).
    void set_inherited(bool inherited) const;
    // The locked file's identity now.
    std::optional<reader::FileIdentity> identity() const { return reader::identity_of(fd_); }

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace perlane
