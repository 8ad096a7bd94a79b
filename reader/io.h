#pragma once
// Reading from files: a thin layer over the OS file with exact and bounded reads,
// the position and absolute seeks, counting what it reads.
#include "master.h"

#include <cstdint>
#include <string>
#include <vector>

namespace perlane::reader {

// What tells one file apart from another, and a changed file from the one that was read.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtime_ns = 0;
    bool same_file(const FileIdentity &o) const { return device == o.device && inode == o.inode; }
    bool operator==(const FileIdentity &) const = default;
};

// The identity of an open descriptor, or of the file a path names now, if the system gives it.
std::optional<FileIdentity> identity_of(int fd);
std::optional<FileIdentity> identity_at(const std::string &path);

struct IoStats {
    std::uint64_t bytes_read = 0;
    std::uint64_t reads = 0; // read system calls
    std::uint64_t seeks = 0;
};

// Reads go through a small read-ahead buffer: element headers and small bodies cost no
// system call each. The read-ahead starts small after every jump (so that passing over a
// large body reads little of it) and grows while reading goes on straight ahead.
class File {
public:
    // Opens without blocking (a FIFO would otherwise wait for a writer).
    static Result<File> open(const std::string &path);
    // Takes ownership of an open descriptor.
    static File adopt(int fd);
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File();

    // Fills `out` completely; an end of file first is Io "failed to fill whole buffer".
    Result<void> read_exact(std::uint8_t *out, std::size_t n);
    // Reads up to n bytes; fewer only at the end of the file (0 there).
    Result<std::size_t> read_up_to(std::uint8_t *out, std::size_t n);
    Result<std::uint64_t> position() const { return position_; }
    Result<void> seek(std::uint64_t offset);
    // Passes over n bytes; reaching the end of the file on the way is not an error.
    // Regular files seek; pipes and the like read and discard in small pieces.
    Result<void> skip(std::uint64_t n);
    const IoStats &stats() const { return stats_; }
    bool is_regular() const { return seekable_; }
    // The file's size now, and the bytes between the position and the end (regular files).
    std::optional<std::uint64_t> size() const;
    std::optional<std::uint64_t> bytes_left() const;
    std::optional<FileIdentity> identity() const { return identity_of(fd_); }

private:
    static constexpr std::size_t min_readahead = 64;
    static constexpr std::size_t max_readahead = 64 * 1024;
    std::uint64_t saturating_offset(std::uint64_t n) const;
    // One read from the system at `at` (regular files) or at the current place (others).
    Result<std::size_t> os_read(std::uint8_t *out, std::size_t n, std::uint64_t at);
    File(int fd, bool seekable) : fd_(fd), seekable_(seekable) {}
    int fd_ = -1;
    bool seekable_ = false;
    std::uint64_t position_ = 0;
    IoStats stats_;
    std::vector<std::uint8_t> buffer_; // bytes read ahead, from buffer_at_ on
    std::uint64_t buffer_at_ = 0;
    std::size_t readahead_ = min_readahead;
    std::uint64_t known_size_ = 0; // the size last seen, to clamp seeks without asking
};

// Reads an element header at the current position: one byte, then the rest of the number.
Result<Header> read_header(File &file);

// Reads the body of the element whose header was just read. The buffer grows as data
// really arrives, so a huge declared size costs only what the file holds.
Result<std::vector<std::uint8_t>> read_body(File &file, const Header &header);

// Reads and decodes a whole element whose header was just read.
template <MasterElement M> Result<M> read_element(const Header &header, File &file) {
    auto body = read_body(file, header);
    if (!body)
        return std::unexpected(std::move(body.error()));
    return decode_body<M>(*body);
}

// Reads the first element of the file as the EBML header (its ID is not checked).
Result<Ebml> read_ebml(File &file);

} // namespace perlane::reader
