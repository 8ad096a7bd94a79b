#include "library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace perlane::batch {

namespace {

std::optional<std::pair<std::uint64_t, std::uint64_t>> identity(const QString &path, QString &why) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    return std::pair{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// "Episode 2" before "Episode 10": runs of digits compare by their value.
bool natural_less(const QString &a, const QString &b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i, sj = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const QStringView x = QStringView(a).sliced(si, i - si), y = QStringView(b).sliced(sj, j - sj);
            const auto value = [](QStringView v) { // without leading zeros
                qsizetype k = 0;
                while (k + 1 < v.size() && v[k] == u'0')
                    ++k;
                return v.sliced(k);
            };
            const QStringView tx = value(x), ty = value(y);
            if (tx.size() != ty.size())
                return tx.size() < ty.size();
            if (const int c = tx.compare(ty); c != 0)
                return c < 0;
            continue;
        }
        if (const int c = QStringView(a).sliced(i, 1).compare(QStringView(b).sliced(j, 1), Qt::CaseInsensitive); c != 0)
            return c < 0;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

void natural_sort(QStringList &names) { std::ranges::sort(names, natural_less); }

// Named as Matroska: meant as an episode, so worth a word when it is not one (a download
// cut off before its first bytes, say). Other files in a folder may be anything.
bool matroska_name(const QString &path) {
    static const QStringList suffixes{QStringLiteral("mkv"), QStringLiteral("mka"), QStringLiteral("mks"),
                                      QStringLiteral("mk3d"), QStringLiteral("webm")};
    return suffixes.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

} // namespace

std::optional<QString> unreadable_or_not_matroska(const QString &path, bool &matroska) {
    matroska = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    unsigned char head[4] = {};
    const ssize_t n = ::read(fd, head, sizeof head);
    const int err = errno;
    ::close(fd);
    if (n < 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(err)));
    matroska = n == 4 && head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3;
    return std::nullopt;
}

Library::Library(const QStringList &paths) {
    for (const QString &p : paths)
        add_root(p);
    std::ranges::reverse(folders_);
    std::ranges::reverse(given_);
}

void Library::add_root(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        problems_.push_back({path, QStringLiteral("does not exist")});
        return;
    }
    if (info.isDir()) {
        folders_.push_back(info.absoluteFilePath());
        return;
    }
    const QString folder = info.absolutePath();
    auto season = std::ranges::find(given_, folder, &Season::folder);
    if (season == given_.end())
        season = given_.insert(given_.end(), Season{folder, {}, {}});
    season->files << info.absoluteFilePath();
}

std::optional<Season> Library::next() {
    while (!given_.empty()) {
        Season s = std::move(given_.back());
        given_.pop_back();
        Season out{s.folder, {}, {}};
        for (const QString &f : s.files)
            take(f, out, true);
        natural_sort(out.files);
        if (!out.files.isEmpty() || !out.problems.empty())
            return out;
    }
    while (!folders_.empty()) {
        const QString folder = folders_.back();
        folders_.pop_back();
        if (auto season = list(folder))
            return season;
    }
    return std::nullopt;
}

void Library::take(const QString &file, Season &into, bool named) {
    QString why;
    const auto id = identity(file, why);
    bool matroska = false;
    if (!id)
        into.problems.push_back({file, QStringLiteral("cannot be read: %1").arg(why)});
    else if (!seen_files_.insert(*id).second)
        return; // named twice, or reached by two names
    else if (const auto bad = unreadable_or_not_matroska(file, matroska))
        into.problems.push_back({file, *bad});
    else if (matroska)
        into.files << file;
    else if (named || matroska_name(file)) // one named on its own was meant too
        into.problems.push_back({file, QStringLiteral("is not a Matroska file")});
}

std::optional<Season> Library::list(const QString &folder) {
    QString why;
    const auto id = identity(folder, why);
    if (!id) {
        problems_.push_back({folder, QStringLiteral("cannot be searched: %1").arg(why)});
        return std::nullopt;
    }
    if (!seen_folders_.insert(*id).second) {
        problems_.push_back({folder, QStringLiteral("leads to a folder already searched (a link loop or a second link); skipped"), false});
        return std::nullopt;
    }
    QDir dir(folder);
    if (!dir.isReadable()) {
        problems_.push_back({folder, QStringLiteral("cannot be searched: permission denied")});
        return std::nullopt;
    }
    QStringList files, subfolders;
    for (const QFileInfo &e : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name)) {
        if (e.isDir())
            subfolders << e.absoluteFilePath();
        else if (e.isFile())
            files << e.absoluteFilePath();
    }
    natural_sort(subfolders);
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
        folders_.push_back(*it);
    natural_sort(files);
    Season season{folder, {}, {}};
    for (const QString &f : files)
        take(f, season, false);
    if (season.files.isEmpty() && season.problems.empty())
        return std::nullopt;
    return season;
}

std::size_t count_files(const QStringList &paths) {
    std::size_t n = 0;
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    std::vector<QString> folders;
    for (const QString &p : paths) {
        if (QFileInfo(p).isDir())
            folders.push_back(p);
        else
            ++n;
    }
    while (!folders.empty()) {
        const QString folder = folders.back();
        folders.pop_back();
        QString why;
        const auto id = identity(folder, why);
        if (!id || !seen.insert(*id).second)
            continue;
        for (const QFileInfo &e : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            bool matroska = false;
            if (e.isDir())
                folders.push_back(e.absoluteFilePath());
            else if (e.isFile() && (matroska_name(e.filePath()) || (!unreadable_or_not_matroska(e.filePath(), matroska) && matroska)))
                ++n;
        }
    }
    return n;
}

} // namespace perlane::batch
