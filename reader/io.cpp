#include "io.h"

#include <cerrno>
#include <limits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace perlane::reader {

namespace {
Error os_error(int err) { return Error::io_error(std::strerror(err)); }
} // namespace

Result<File> File::open(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::unexpected(os_error(errno));
    return adopt(fd);
}

File File::adopt(int fd) {
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) // blocking reads again: regular files never wait anyway
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return File(fd, regular);
}

File::File(File &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), seekable_(other.seekable_), position_(other.position_), stats_(other.stats_),
      buffer_(std::move(other.buffer_)), buffer_at_(other.buffer_at_), readahead_(other.readahead_),
      known_size_(other.known_size_) {}

File &File::operator=(File &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        seekable_ = other.seekable_;
        position_ = other.position_;
        stats_ = other.stats_;
        buffer_ = std::move(other.buffer_);
        buffer_at_ = other.buffer_at_;
        readahead_ = other.readahead_;
        known_size_ = other.known_size_;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0)
        ::close(fd_);
}

Result<std::size_t> File::os_read(std::uint8_t *out, std::size_t n, std::uint64_t at) {
    while (true) {
        const ssize_t r = seekable_ ? ::pread(fd_, out, n, static_cast<off_t>(at)) : ::read(fd_, out, n);
        ++stats_.reads;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(os_error(errno));
        }
        stats_.bytes_read += static_cast<std::uint64_t>(r);
        return static_cast<std::size_t>(r);
    }
}

Result<std::size_t> File::read_up_to(std::uint8_t *out, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::uint64_t buffer_end = buffer_at_ + buffer_.size();
        if (position_ >= buffer_at_ && position_ < buffer_end) {
            const auto from = static_cast<std::size_t>(position_ - buffer_at_);
            const std::size_t k = std::min(n - got, buffer_.size() - from);
            std::memcpy(out + got, buffer_.data() + from, k);
            got += k;
            position_ += k;
            continue;
        }
        const std::size_t want = n - got;
        // Straight on from what was read ahead: read further ahead next time.
        const bool onward = !buffer_.empty() && position_ == buffer_end;
        readahead_ = onward ? std::min(readahead_ * 4, max_readahead) : min_readahead;
        if (want >= readahead_) { // large: straight into place
            auto r = os_read(out + got, want, position_);
            if (!r)
                return std::unexpected(std::move(r.error()));
            if (*r == 0)
                break;
            got += *r;
            position_ += *r;
            buffer_.clear();
            continue;
        }
        buffer_.resize(readahead_);
        auto r = os_read(buffer_.data(), readahead_, position_);
        if (!r) {
            buffer_.clear();
            return std::unexpected(std::move(r.error()));
        }
        buffer_.resize(*r);
        buffer_at_ = position_;
        if (*r == 0)
            break;
    }
    return got;
}

Result<void> File::read_exact(std::uint8_t *out, std::size_t n) {
    auto got = read_up_to(out, n);
    if (!got)
        return std::unexpected(std::move(got.error()));
    if (*got < n)
        return std::unexpected(Error::end_of_file());
    return {};
}

Result<void> File::seek(std::uint64_t offset) {
    if (offset == position_)
        return {};
    if (!seekable_)
        return std::unexpected(os_error(ESPIPE));
    ++stats_.seeks;
    // Past the end there is nothing to read; stopping at the end gives the same result on
    // every file system. The size is asked for only when the offset passes the last one seen.
    if (offset > known_size_) {
        const auto size = this->size();
        if (!size)
            return std::unexpected(os_error(errno));
        known_size_ = *size;
        offset = std::min(offset, *size);
    }
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return std::unexpected(os_error(EINVAL));
    position_ = offset;
    return {};
}

Result<void> File::skip(std::uint64_t n) {
    if (seekable_)
        return seek(std::max(position_, saturating_offset(n)));
    std::uint8_t scrap[4096];
    while (n > 0) {
        auto got = read_up_to(scrap, static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof scrap)));
        if (!got)
            return std::unexpected(std::move(got.error()));
        if (*got == 0)
            break;
        n -= *got;
    }
    return {};
}

namespace {
FileIdentity identity_from(const struct stat &st) {
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_size),
                        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}
} // namespace

std::optional<FileIdentity> identity_of(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return identity_from(st);
}

std::optional<FileIdentity> identity_at(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return identity_from(st);
}

std::optional<std::uint64_t> File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
}

std::optional<std::uint64_t> File::bytes_left() const {
    const auto size = seekable_ ? this->size() : std::nullopt;
    if (!size)
        return std::nullopt;
    return *size > position_ ? *size - position_ : 0;
}

std::uint64_t File::saturating_offset(std::uint64_t n) const {
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    return n > max - position_ ? max : position_ + n;
}

namespace {
Result<VInt64> read_vint(File &file) {
    std::uint8_t bytes[8];
    if (auto r = file.read_exact(bytes, 1); !r)
        return std::unexpected(std::move(r.error()));
    if (bytes[0] == 0xFF)
        return VInt64{127, true};
    const int length = vint_length(bytes[0]);
    if (length == 0)
        return std::unexpected(Error::of(ErrorKind::InvalidVInt));
    const auto extra = static_cast<std::size_t>(length - 1);
    if (extra > 0)
        if (auto r = file.read_exact(bytes + 1, extra); !r)
            return std::unexpected(std::move(r.error()));
    return VInt64{vint_value(bytes[0], Bytes(bytes + 1, extra)), false};
}
} // namespace

Result<Header> read_header(File &file) {
    auto id = read_vint(file);
    if (!id)
        return std::unexpected(std::move(id.error()));
    auto size = read_vint(file);
    if (!size)
        return std::unexpected(std::move(size.error()));
    return Header{*id, *size};
}

Result<std::vector<std::uint8_t>> read_body(File &file, const Header &header) {
    if (header.size.is_unknown && (header.id == ids::segment || header.id == ids::cluster))
        return std::unexpected(Error::with_id(ErrorKind::ElementBodySizeUnknown, header.id));
    const std::uint64_t length = header.size.value; // 127 for the unknown marker
    // Room for what the file can still give, never more: a huge declared size on a small
    // file costs only the file's bytes. The buffer still grows if the file does.
    std::uint64_t room = std::min<std::uint64_t>(length, 4096);
    if (auto left = file.bytes_left())
        room = std::min(length, *left);
    std::vector<std::uint8_t> body;
    body.reserve(static_cast<std::size_t>(room));
    constexpr std::size_t step = 1 << 16;
    while (body.size() < length) {
        const std::size_t at = body.size();
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length - at, step));
        if (body.capacity() > at)
            want = std::min(want, body.capacity() - at); // fill what is reserved first
        body.resize(at + want);
        auto got = file.read_up_to(body.data() + at, want);
        if (!got)
            return std::unexpected(std::move(got.error()));
        body.resize(at + *got);
        if (*got < want)
            return std::unexpected(Error::out_of_bounds(length, body.size()));
    }
    return body;
}

Result<Ebml> read_ebml(File &file) {
    auto header = read_header(file);
    if (!header)
        return std::unexpected(std::move(header.error()));
    // Body and decoding apart: only the loop's errors are reported in the header's terms,
    // a file ending inside the body is not.
    auto body = read_body(file, *header);
    if (!body)
        return std::unexpected(std::move(body.error()));
    auto ebml = decode_body<Ebml>(*body);
    if (!ebml) {
        // The header's own loop reports in its own terms.
        if (ebml.error().kind == ErrorKind::OutOfBounds)
            return std::unexpected(Error::with_id(ErrorKind::OverDecode, ids::ebml));
        if (ebml.error().kind == ErrorKind::ShortRead)
            return std::unexpected(Error::with_id(ErrorKind::UnderDecode, ids::ebml));
    }
    return ebml;
}

} // namespace perlane::reader
