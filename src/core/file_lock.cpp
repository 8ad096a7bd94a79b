#include "file_lock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace perlane {

std::expected<FileLock, FileLock::Refusal> FileLock::take(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::unexpected(Refusal{QString::fromLocal8Bit(std::strerror(errno))});
    FileLock lock(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return std::unexpected(Refusal{QStringLiteral("another program is saving it"), true});
        return std::unexpected(Refusal{QString::fromLocal8Bit(std::strerror(errno))});
    }
    return lock;
}

void FileLock::set_inherited(bool inherited) const {
    const int flags = ::fcntl(fd_, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd_, F_SETFD, inherited ? flags & ~FD_CLOEXEC : flags | FD_CLOEXEC);
}

FileLock::FileLock(FileLock &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        ::close(fd_); // releases the lock
}

} // namespace perlane
