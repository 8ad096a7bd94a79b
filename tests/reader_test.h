#pragma once
// Shared pieces of the reader tests: bytes as an open file, and captured diagnostics.
#include "ebml_writer.h"
#include "io.h"
#include "log.h"

#include <sys/mman.h>
#include <unistd.h>

// An in-memory file (memfd): reads, seeks and sizes behave as for a file on disk, and it
// can be changed in place between opens.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("perlane-test", MFD_CLOEXEC)) {}
    explicit MemoryFile(const ebml::Bytes &bytes) : MemoryFile() { load(bytes); }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    bool load(const ebml::Bytes &bytes) {
        return ::ftruncate(fd_, 0) == 0 &&
               ::pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    }
    bool truncate(std::uint64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }
    bool poke(std::uint64_t at, std::uint8_t value) {
        return ::pwrite(fd_, &value, 1, static_cast<off_t>(at)) == 1;
    }
    // A fresh File at offset 0.
    perlane::reader::File open() const {
        const int fd = ::dup(fd_);
        ::lseek(fd, 0, SEEK_SET);
        return perlane::reader::File::adopt(fd);
    }

private:
    int fd_;
};

// Captures the reader's diagnostics while it lives.
struct CapturedLog {
    CapturedLog() {
        previous = perlane::reader::log::set_sink(
            [this](perlane::reader::log::Level level, std::string_view, std::string_view m) {
                messages.emplace_back(m);
                lines.push_back((level == perlane::reader::log::Level::Info ? "info: " : "warn: ") +
                                std::string(m));
            });
    }
    ~CapturedLog() { perlane::reader::log::set_sink(std::move(previous)); }
    std::vector<std::string> messages; // the texts
    std::vector<std::string> lines;    // "info: " / "warn: " and the text
    perlane::reader::log::Sink previous;
};
