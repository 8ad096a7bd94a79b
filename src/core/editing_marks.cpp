#include "editing_marks.h"

#include "journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace perlane {

namespace {

QByteArray mark_path(const reader::FileIdentity &id) {
    return QFile::encodeName(EditingMarks::directory() + QStringLiteral("/%1-%2").arg(id.device).arg(id.inode));
}

} // namespace

QString EditingMarks::directory() {
    // Beside the journals: both are this user's state, and tests give each run its own.
    return QFileInfo(Journal::directory()).path() + QStringLiteral("/editing");
}

EditingMarks::~EditingMarks() {
    for (const auto &[key, fd] : held_)
        ::close(fd);
}

void EditingMarks::keep(const std::vector<reader::FileIdentity> &editing) {
    for (auto it = held_.begin(); it != held_.end();) {
        const auto next = std::next(it);
        if (std::ranges::none_of(editing, [&](const reader::FileIdentity &id) { return std::pair{id.device, id.inode} == it->first; }))
            drop(it);
        it = next;
    }
    for (const reader::FileIdentity &id : editing) {
        const auto key = std::pair{id.device, id.inode};
        if (held_.contains(key))
            continue;
        QDir().mkpath(directory());
        const int fd = ::open(mark_path(id).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            continue; // without a mark the other programs' own checks still guard the file
        if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        held_.emplace(key, fd);
    }
}

void EditingMarks::drop(std::map<std::pair<std::uint64_t, std::uint64_t>, int>::iterator it) {
    // Unlinked only when no other process holds it too.
    if (::flock(it->second, LOCK_EX | LOCK_NB) == 0)
        ::unlink(mark_path({.device = it->first.first, .inode = it->first.second}).constData());
    ::close(it->second);
    held_.erase(it);
}

bool EditingMarks::held(const reader::FileIdentity &id) {
    const int fd = ::open(mark_path(id).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

} // namespace perlane
