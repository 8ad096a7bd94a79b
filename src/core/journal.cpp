#include "journal.h"

#include "master.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace perlane {

namespace {

const QByteArray magic_v1 = "perlane journal 1\n";
const QByteArray magic = "perlane journal 2\n";
constexpr std::uint64_t block_size = 4096;
constexpr int untouched_samples_max = 64;

QString system_error() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool body_kept_out(const reader::VInt64 &id) {
    using namespace reader;
    // Never rewritten by a save of tracks and chapters, and possibly large (fonts, Cues).
    return !(id == SeekHead::id || id == Info::id || id == Tracks::id || id == Chapters::id ||
             id == ids::void_element || id == ids::crc32);
}

// Repeats `step(done, left)`, a read or write of up to `left` bytes after the `done`
// already moved, until all `size` bytes are moved; false on an error or an early end.
template <class Step> bool move_all(std::size_t size, Step step) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool write_all(int fd, const char *data, std::size_t size) {
    return move_all(size, [&](std::size_t done, std::size_t left) { return ::write(fd, data + done, left); });
}

bool pread_all(int fd, char *out, std::size_t size, std::uint64_t offset) {
    return move_all(size, [&](std::size_t done, std::size_t left) {
        return ::pread(fd, out + done, left, static_cast<off_t>(offset + done));
    });
}

bool pwrite_all(int fd, const char *data, std::size_t size, std::uint64_t offset) {
    return move_all(size, [&](std::size_t done, std::size_t left) {
        return ::pwrite(fd, data + done, left, static_cast<off_t>(offset + done));
    });
}

void sync_directory(const QString &dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QJsonObject identity_json(const reader::FileIdentity &id) {
    return {{QStringLiteral("device"), QString::number(id.device)},
            {QStringLiteral("inode"), QString::number(id.inode)},
            {QStringLiteral("size"), QString::number(id.size)},
            {QStringLiteral("mtime_ns"), QString::number(id.mtime_ns)}};
}

reader::FileIdentity identity_from(const QJsonObject &o) {
    return {o.value(QStringLiteral("device")).toString().toULongLong(),
            o.value(QStringLiteral("inode")).toString().toULongLong(),
            o.value(QStringLiteral("size")).toString().toULongLong(),
            o.value(QStringLiteral("mtime_ns")).toString().toLongLong()};
}

QString done_path(const QString &journal) { return journal + QStringLiteral(".done"); }
QString failed_path(const QString &journal) { return journal + QStringLiteral(".failed"); }
QString undoing_path(const QString &journal) { return journal + QStringLiteral(".undoing"); }

std::optional<reader::FileIdentity> identity_record(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(f.readLine(4096)).object();
    if (o.isEmpty())
        return std::nullopt;
    return identity_from(o);
}

// Blocks of the bytes a save leaves alone (outside the ranges, before the old end), spread
// over the whole file: a file replaced by another one, even in place, differs in them.
std::vector<ByteRange> untouched_samples(const std::vector<ByteRange> &ranges, std::uint64_t size) {
    std::vector<ByteRange> gaps;
    std::uint64_t at = 0, total = 0;
    for (const ByteRange &r : ranges) {
        if (r.offset > at)
            gaps.push_back({at, std::min(r.offset, size) - at});
        at = std::max(at, r.offset + r.length);
        if (at >= size)
            break;
    }
    if (at < size)
        gaps.push_back({at, size - at});
    std::erase_if(gaps, [](const ByteRange &g) { return g.length == 0; });
    for (const ByteRange &g : gaps)
        total += g.length;
    std::vector<ByteRange> samples;
    if (total == 0)
        return samples;
    for (int k = 0; k <= untouched_samples_max; ++k) {
        // The last sample ends at the very end of the last gap.
        std::uint64_t pos = k == untouched_samples_max ? total - std::min(total, block_size)
                                                       : total / untouched_samples_max * static_cast<std::uint64_t>(k);
        for (const ByteRange &g : gaps) {
            if (pos < g.length) {
                samples.push_back({g.offset + pos, std::min(block_size, g.length - pos)});
                break;
            }
            pos -= g.length;
        }
    }
    return samples;
}

std::expected<QByteArray, QString> digest_of(int fd, const std::vector<ByteRange> &blocks) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer;
    for (const ByteRange &b : blocks) {
        buffer.resize(static_cast<qsizetype>(b.length));
        if (!pread_all(fd, buffer.data(), b.length, b.offset))
            return std::unexpected(QStringLiteral("the file could not be read (%1)").arg(system_error()));
        hash.addData(buffer);
    }
    return hash.result().toHex();
}

// Calls `each(offset, length, journal_offset)` for every 4 KiB-aligned block of `ranges`.
template <class Each> void for_each_block(const std::vector<ByteRange> &ranges, std::uint64_t data_offset, Each each) {
    std::uint64_t from = data_offset;
    for (const ByteRange &r : ranges) {
        for (std::uint64_t at = r.offset; at < r.offset + r.length;) {
            const std::uint64_t end = std::min(r.offset + r.length, (at / block_size + 1) * block_size);
            if (!each(at, end - at, from))
                return;
            from += end - at;
            at = end;
        }
    }
}

QByteArray block_digest(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).left(8);
}

bool write_file_synced(const QString &path, const QByteArray &content) {
    const QString part = path + QStringLiteral(".part");
    const int fd = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = write_all(fd, content.constData(), static_cast<std::size_t>(content.size())) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(QFile::encodeName(part).constData());
        return false;
    }
    sync_directory(QFileInfo(path).absolutePath());
    return true;
}

constexpr std::size_t chunk = 1 << 20;
constexpr qint64 sha256_hex_size = 64;

} // namespace

std::vector<ByteRange> journal_ranges(const reader::Layout &layout) {
    std::vector<ByteRange> ranges;
    const auto add = [&](std::uint64_t from, std::uint64_t to) {
        if (to <= from)
            return;
        if (!ranges.empty() && ranges.back().offset + ranges.back().length == from)
            ranges.back().length += to - from;
        else
            ranges.push_back({from, to - from});
    };
    add(0, layout.segment_data_start);
    const auto &els = layout.elements;
    const auto first_cluster = std::find_if(els.begin(), els.end(), [](const auto &e) { return e.id == reader::ids::cluster; });
    const auto last_cluster = std::find_if(els.rbegin(), els.rend(), [](const auto &e) { return e.id == reader::ids::cluster; });
    for (auto it = els.begin(); it != els.end(); ++it) {
        const bool before = it < first_cluster;
        const bool after = last_cluster != els.rend() && it > last_cluster.base() - 1;
        if (!before && !after)
            continue; // the clusters and what lies between them
        const bool whole = after ? !(it->id == reader::Attachments::id) : !body_kept_out(it->id);
        add(it->position, whole ? it->end() : it->position + it->header_size);
    }
    const std::uint64_t parsed_end = els.empty() ? layout.segment_data_start : els.back().end();
    add(parsed_end, layout.file_size); // anything past the last element the walk could read
    return ranges;
}

std::uint64_t append_allowance(const reader::Layout &layout, std::uint64_t growth) {
    std::uint64_t rewritten = 0;
    for (const auto &e : layout.elements)
        if (e.id == reader::SeekHead::id || e.id == reader::Tracks::id || e.id == reader::Chapters::id)
            rewritten += e.header_size + e.body_size;
    return rewritten + growth + (64 << 10);
}

QString Journal::directory() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/perlane/journal");
}

QString Journal::name() const { return QFileInfo(path_).fileName(); }

std::uint64_t Journal::data_size() const {
    std::uint64_t n = 0;
    for (const ByteRange &r : ranges_)
        n += r.length;
    return n;
}

std::expected<Journal, QString> Journal::write(int fd, const QString &path, const reader::FileIdentity &before,
                                               const std::vector<ByteRange> &ranges) {
    const QString dir = directory();
    if (!QDir().mkpath(dir))
        return std::unexpected(QStringLiteral("the folder %1 could not be made").arg(dir));
    // It holds copies of the user's files: the user's alone.
    if (!QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return std::unexpected(QStringLiteral("the folder %1 could not be made private").arg(dir));
    Journal j;
    j.path_ = path;
    j.before_ = before;
    j.ranges_ = ranges;
    j.created_ns_ = static_cast<qint64>(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count());
    j.journal_path_ = QStringLiteral("%1/%2-%3.journal")
                          .arg(dir)
                          .arg(j.created_ns_)
                          .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));

    const QString part = j.journal_path_ + QStringLiteral(".part");
    const int out = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0)
        return std::unexpected(QStringLiteral("%1 could not be written (%2)").arg(part, system_error()));
    ::flock(out, LOCK_EX); // a copy being made: not one a start-up clean-up may take away
    const auto fail = [&](const QString &why) {
        ::close(out);
        ::unlink(QFile::encodeName(part).constData());
        return std::unexpected(why);
    };
    const auto untouched = digest_of(fd, untouched_samples(ranges, before.size));
    if (!untouched)
        return fail(untouched.error());
    j.untouched_sha256_ = *untouched;
    QJsonArray list;
    for (const ByteRange &r : ranges)
        list.append(QJsonArray{QString::number(r.offset), QString::number(r.length)});
    const QJsonObject header{{QStringLiteral("path"), QString::fromLatin1(QFile::encodeName(path).toBase64())},
                             {QStringLiteral("before"), identity_json(before)},
                             {QStringLiteral("ranges"), list},
                             {QStringLiteral("untouched_sha256"), QString::fromLatin1(j.untouched_sha256_)},
                             {QStringLiteral("created_ns"), QString::number(j.created_ns_)}};
    j.header_line_ = QJsonDocument(header).toJson(QJsonDocument::Compact) + '\n';
    const QByteArray head = magic + j.header_line_;
    j.data_offset_ = static_cast<std::uint64_t>(head.size());
    if (!write_all(out, head.constData(), static_cast<std::size_t>(head.size())))
        return fail(QStringLiteral("%1 could not be written (%2)").arg(part, system_error()));
    // One pass over the file: the bytes are hashed as they are copied, the hash follows them.
    // It covers the header too: a damaged range list would put good bytes in wrong places.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(j.header_line_);
    QByteArray buffer;
    for (const ByteRange &r : ranges) {
        for (std::uint64_t done = 0; done < r.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, r.length - done));
            buffer.resize(static_cast<qsizetype>(n));
            if (!pread_all(fd, buffer.data(), n, r.offset + done) || !write_all(out, buffer.constData(), n))
                return fail(QStringLiteral("%1 could not be written (%2)").arg(part, system_error()));
            hash.addData(buffer);
            done += n;
        }
    }
    j.sha256_ = hash.result().toHex();
    if (!write_all(out, j.sha256_.constData(), static_cast<std::size_t>(j.sha256_.size())))
        return fail(QStringLiteral("%1 could not be written (%2)").arg(part, system_error()));
    if (::fsync(out) != 0)
        return fail(QStringLiteral("%1 could not be flushed to disk (%2)").arg(part, system_error()));
    if (::close(out) != 0) {
        ::unlink(QFile::encodeName(part).constData());
        return std::unexpected(QStringLiteral("%1 could not be written (%2)").arg(part, system_error()));
    }
    // Under its final name only once complete: a journal found later is always whole.
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(j.journal_path_).constData()) != 0) {
        ::unlink(QFile::encodeName(part).constData());
        return std::unexpected(QStringLiteral("%1 could not be written (%2)").arg(j.journal_path_, system_error()));
    }
    sync_directory(dir);
    return j;
}

std::expected<Journal, QString> Journal::open(const QString &journal_path) {
    QFile f(journal_path);
    if (!f.open(QIODevice::ReadOnly))
        return std::unexpected(f.errorString());
    const QByteArray first = f.readLine(magic.size() + 1);
    if (first != magic && first != magic_v1)
        return std::unexpected(QStringLiteral("not a perlane journal"));
    const QByteArray line = f.readLine(16 << 20);
    const QJsonObject header = QJsonDocument::fromJson(line).object();
    if (header.isEmpty() || !line.endsWith('\n'))
        return std::unexpected(QStringLiteral("its header is damaged"));
    Journal j;
    j.version_ = first == magic ? 2 : 1;
    j.header_line_ = line;
    j.untouched_sha256_ = header.value(QStringLiteral("untouched_sha256")).toString().toLatin1();
    j.journal_path_ = journal_path;
    j.path_ = QFile::decodeName(QByteArray::fromBase64(header.value(QStringLiteral("path")).toString().toLatin1()));
    j.before_ = identity_from(header.value(QStringLiteral("before")).toObject());
    for (const QJsonValue &v : header.value(QStringLiteral("ranges")).toArray()) {
        const QJsonArray r = v.toArray();
        j.ranges_.push_back({r.at(0).toString().toULongLong(), r.at(1).toString().toULongLong()});
    }
    j.created_ns_ = header.value(QStringLiteral("created_ns")).toString().toLongLong();
    j.data_offset_ = static_cast<std::uint64_t>(magic.size() + line.size());
    if (static_cast<std::uint64_t>(f.size()) != j.data_offset_ + j.data_size() + sha256_hex_size ||
        !f.seek(static_cast<qint64>(j.data_offset_ + j.data_size())))
        return std::unexpected(QStringLiteral("it is incomplete"));
    j.sha256_ = f.read(sha256_hex_size);
    j.after_ = identity_record(done_path(journal_path));
    j.failed_ = identity_record(failed_path(journal_path));
    j.undoing_ = QFile::exists(undoing_path(journal_path));
    return j;
}

QStringList Journal::damaged() {
    QStringList out;
    const QDir dir(directory());
    for (const QString &name : dir.entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name))
        if (auto j = open(dir.filePath(name)); !j)
            out << dir.filePath(name) + QStringLiteral(": ") + j.error();
    return out;
}

void Journal::clean_unfinished_copies() {
    const QDir dir(directory());
    for (const QString &name : dir.entryList({QStringLiteral("*.part")}, QDir::Files)) {
        // A copy another instance is still making is locked by it.
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

std::vector<Journal> Journal::all() {
    std::vector<Journal> out;
    const QDir dir(directory());
    for (const QString &name : dir.entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name))
        if (auto j = open(dir.filePath(name)))
            out.push_back(std::move(*j));
    std::stable_sort(out.begin(), out.end(), [](const Journal &a, const Journal &b) { return a.created_ns_ < b.created_ns_; });
    return out;
}

bool Journal::prune(std::size_t per_file, std::uint64_t total_bytes) {
    std::vector<Journal> done;
    for (Journal &j : all())
        if (j.after_ && !j.undoing_)
            done.push_back(std::move(j));
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> kept;
    std::uint64_t total = 0;
    bool oversized = false;
    for (auto it = done.rbegin(); it != done.rend(); ++it) { // newest first
        std::size_t &n = kept[{it->before_.device, it->before_.inode}];
        // Every file keeps its last save, so that it can always be taken back.
        if (n == 0 || (n < per_file && total + it->data_size() <= total_bytes)) {
            oversized = oversized || (n == 0 && it->data_size() > total_bytes);
            ++n;
            total += it->data_size();
        } else {
            it->remove();
        }
    }
    return oversized;
}

std::expected<void, QString> Journal::mark_done(const reader::FileIdentity &after) {
    if (!write_file_synced(done_path(journal_path_), QJsonDocument(identity_json(after)).toJson(QJsonDocument::Compact) + '\n'))
        return std::unexpected(QStringLiteral("%1 could not be written (%2)").arg(done_path(journal_path_), system_error()));
    QFile::remove(failed_path(journal_path_));
    after_ = after;
    return {};
}

std::expected<void, QString> Journal::verify() const {
    QFile f(journal_path_);
    if (!f.open(QIODevice::ReadOnly))
        return std::unexpected(QStringLiteral("the journal could not be read (%1)").arg(f.errorString()));
    if (static_cast<std::uint64_t>(f.size()) != data_offset_ + data_size() + sha256_hex_size)
        return std::unexpected(QStringLiteral("the journal is damaged (its size is wrong)"));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (version_ >= 2)
        hash.addData(header_line_);
    if (!f.seek(static_cast<qint64>(data_offset_)))
        return std::unexpected(QStringLiteral("the journal could not be read (%1)").arg(f.errorString()));
    for (std::uint64_t left = data_size(); left > 0;) {
        const QByteArray part = f.read(static_cast<qint64>(std::min<std::uint64_t>(chunk, left)));
        if (part.isEmpty())
            return std::unexpected(QStringLiteral("the journal could not be read (%1)").arg(f.errorString()));
        hash.addData(part);
        left -= static_cast<std::uint64_t>(part.size());
    }
    if (hash.result().toHex() != sha256_)
        return std::unexpected(QStringLiteral("the journal is damaged (its bytes do not match their digest)"));
    return {};
}

std::expected<void, QString> Journal::check_untouched(int fd) const {
    if (untouched_sha256_.isEmpty())
        return {}; // an older journal: nothing to compare with
    const auto now = digest_of(fd, untouched_samples(ranges_, before_.size));
    if (!now)
        return std::unexpected(now.error());
    if (*now != untouched_sha256_)
        return std::unexpected(QStringLiteral("the file holds other content than the one saved (it was replaced or rewritten)"));
    return {};
}

Journal::Assessment Journal::assess(int fd) const {
    const auto now = reader::identity_of(fd);
    if (!now || !now->same_file(before_))
        return {Verdict::Unsure, QStringLiteral("another file now has its name")};
    if (const auto same = check_untouched(fd); !same)
        return {Verdict::Unsure, same.error()};
    if (undoing_) {
        // An undo puts back 4 KiB block after block: each block must be either as before
        // the save (put back already) or as after it (not yet).
        QFile marker(undoing_path(journal_path_));
        if (!marker.open(QIODevice::ReadOnly))
            return {Verdict::Unsure, QStringLiteral("the record of the undo cannot be read")};
        const auto after = identity_from(QJsonDocument::fromJson(marker.readLine(4096)).object());
        const QByteArray digests = marker.readAll();
        const std::uint64_t low = std::min(after.size, before_.size), high = std::max(after.size, before_.size);
        if (now->size < low || now->size > high)
            return {Verdict::Unsure, QStringLiteral("its size is neither the saved one nor the one before")};
        const int in = ::open(QFile::encodeName(journal_path_).constData(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return {Verdict::Unsure, QStringLiteral("the journal could not be read (%1)").arg(system_error())};
        bool mixed = true;
        qsizetype index = 0;
        QByteArray current, journaled;
        for_each_block(ranges_, data_offset_, [&](std::uint64_t at, std::uint64_t length, std::uint64_t from) {
            current.resize(static_cast<qsizetype>(length));
            journaled.resize(static_cast<qsizetype>(length));
            const bool read_now = at + length <= now->size && pread_all(fd, current.data(), length, at);
            if (!pread_all(in, journaled.data(), length, from) ||
                !((read_now && current == journaled) ||
                  (read_now && block_digest(current) == digests.mid(index * 8, 8)) || (!read_now && at >= now->size)))
                mixed = false;
            ++index;
            return mixed;
        });
        ::close(in);
        if (!mixed)
            return {Verdict::Unsure, QStringLiteral("it changed since its undo was cut short")};
        return {Verdict::Restore, {}};
    }
    if (*now == before_)
        return {Verdict::Untouched, {}};
    if (failed_) {
        if (*now == *failed_)
            return {Verdict::Restore, {}};
        return {Verdict::Unsure, QStringLiteral("it changed after the failed save")};
    }
    return {Verdict::Unsure, QStringLiteral("the save and its tool ended together, and whether the file changed since "
                                            "cannot be told")};
}

std::expected<void, QString> Journal::begin_undo(int fd) const {
    const auto now = reader::identity_of(fd);
    if (!now)
        return std::unexpected(QStringLiteral("the file's details could not be read"));
    QByteArray record = QJsonDocument(identity_json(*now)).toJson(QJsonDocument::Compact) + '\n';
    QByteArray block;
    bool ok = true;
    for_each_block(ranges_, data_offset_, [&](std::uint64_t at, std::uint64_t length, std::uint64_t) {
        block.resize(static_cast<qsizetype>(length));
        if (at + length > now->size) {
            record += QByteArray(8, '\0'); // past the end: nothing there to keep
            return true;
        }
        ok = pread_all(fd, block.data(), length, at);
        record += block_digest(block);
        return ok;
    });
    if (!ok)
        return std::unexpected(QStringLiteral("the file could not be read (%1)").arg(system_error()));
    if (!write_file_synced(undoing_path(journal_path_), record))
        return std::unexpected(QStringLiteral("the undo could not be recorded (%1)").arg(system_error()));
    return {};
}

std::expected<void, QString> Journal::restore(int locked_fd) const {
    // Nothing is written from a journal that does not prove whole.
    if (const auto whole = verify(); !whole)
        return whole;
    const int in = ::open(QFile::encodeName(journal_path_).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return std::unexpected(QStringLiteral("the journal could not be read (%1)").arg(system_error()));
    const QByteArray target = locked_fd >= 0 ? "/proc/self/fd/" + QByteArray::number(locked_fd) : QFile::encodeName(path_);
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const QString why = system_error();
        ::close(in);
        return std::unexpected(QStringLiteral("the file could not be opened (%1)").arg(why));
    }
    const auto fail = [&](const QString &why) {
        ::close(in);
        ::close(fd);
        return std::unexpected(why);
    };
    const auto now = reader::identity_of(fd);
    if (!now || !now->same_file(before_))
        return fail(QStringLiteral("another file now has its name"));
    if (const auto same = check_untouched(fd); !same)
        return fail(same.error());
    QByteArray buffer;
    std::uint64_t from = data_offset_;
    QCryptographicHash journaled(QCryptographicHash::Sha256); // of the bytes written, for the read-back
    for (const ByteRange &r : ranges_) {
        for (std::uint64_t done = 0; done < r.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, r.length - done));
            buffer.resize(static_cast<qsizetype>(n));
            if (!pread_all(in, buffer.data(), n, from) || !pwrite_all(fd, buffer.constData(), n, r.offset + done))
                return fail(QStringLiteral("the bytes could not be written back (%1)").arg(system_error()));
            journaled.addData(buffer);
            from += n;
            done += n;
        }
    }
    if (::ftruncate(fd, static_cast<off_t>(before_.size)) != 0)
        return fail(QStringLiteral("the file could not be cut back to its size (%1)").arg(system_error()));
    // The old time too: the file is then exactly what the previous save left, and that
    // save can be taken back in turn.
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(before_.mtime_ns / 1'000'000'000),
                                       static_cast<long>(before_.mtime_ns % 1'000'000'000)}};
    if (::futimens(fd, times) != 0)
        return fail(QStringLiteral("the file's time could not be put back (%1)").arg(system_error()));
    if (::fsync(fd) != 0)
        return fail(QStringLiteral("the file could not be flushed to disk (%1)").arg(system_error()));
    // Check what is in the file now against what was journaled.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const ByteRange &r : ranges_) {
        for (std::uint64_t done = 0; done < r.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, r.length - done));
            buffer.resize(static_cast<qsizetype>(n));
            if (!pread_all(fd, buffer.data(), n, r.offset + done))
                return fail(QStringLiteral("the file could not be read back (%1)").arg(system_error()));
            hash.addData(buffer);
            done += n;
        }
    }
    const auto after = reader::identity_of(fd);
    ::close(in);
    ::close(fd);
    if (hash.result() != journaled.result() || !after || after->size != before_.size)
        return std::unexpected(QStringLiteral("the file does not read back as it was"));
    return {};
}

void Journal::remove() const {
    QFile::remove(done_path(journal_path_));
    QFile::remove(failed_path(journal_path_));
    QFile::remove(journal_path_);
    QFile::remove(undoing_path(journal_path_)); // last: an undo stays known until its journal is gone
}

} // namespace perlane
