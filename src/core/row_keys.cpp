#include "row_keys.h"

#include <QStringList>

#include <map>

namespace perlane {

namespace {

// "c:document:edition:uid:nth" and "t:document:uid:nth", all decimal.
std::optional<std::vector<std::uint64_t>> numbers(const QString &text, QChar kind, qsizetype count) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != count + 1 || parts.front() != QString(kind))
        return std::nullopt;
    std::vector<std::uint64_t> out;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        bool ok = false;
        out.push_back(parts[i].toULongLong(&ok));
        if (!ok)
            return std::nullopt;
    }
    return out;
}

} // namespace

QString key_text(const ChapterKey &key) {
    return QStringLiteral("c:%1:%2:%3:%4").arg(key.document).arg(key.edition).arg(key.uid).arg(key.nth);
}

QString key_text(const TrackKey &key) {
    return QStringLiteral("t:%1:%2:%3").arg(key.document).arg(key.uid).arg(key.nth);
}

std::optional<ChapterKey> chapter_key(const QString &text) {
    const auto n = numbers(text, QLatin1Char('c'), 4);
    if (!n)
        return std::nullopt;
    return ChapterKey{(*n)[0], static_cast<std::size_t>((*n)[1]), (*n)[2], static_cast<std::size_t>((*n)[3])};
}

std::optional<TrackKey> track_key(const QString &text) {
    const auto n = numbers(text, QLatin1Char('t'), 3);
    if (!n)
        return std::nullopt;
    return TrackKey{(*n)[0], (*n)[1], static_cast<std::size_t>((*n)[2])};
}

ChapterKey key_of(const std::vector<ChapterRow> &rows, std::size_t row, std::uint64_t document) {
    ChapterKey key{document, rows[row].edition, rows[row].uid, 0};
    for (std::size_t r = 0; r < row; ++r)
        key.nth += rows[r].edition == key.edition && rows[r].uid == key.uid;
    return key;
}

std::vector<ChapterKey> keys_of(const std::vector<ChapterRow> &rows, std::uint64_t document) {
    std::map<std::pair<std::size_t, std::uint64_t>, std::size_t> seen;
    std::vector<ChapterKey> keys;
    keys.reserve(rows.size());
    for (const ChapterRow &r : rows)
        keys.push_back({document, r.edition, r.uid, seen[{r.edition, r.uid}]++});
    return keys;
}

std::optional<std::size_t> row_of(const std::vector<ChapterRow> &rows, const ChapterKey &key) {
    std::size_t seen = 0;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r].edition == key.edition && rows[r].uid == key.uid && seen++ == key.nth)
            return r;
    return std::nullopt;
}

TrackKey key_of(const std::vector<std::uint64_t> &track_uids, std::size_t index, std::uint64_t document) {
    TrackKey key{document, track_uids[index], 0};
    for (std::size_t i = 0; i < index; ++i)
        key.nth += track_uids[i] == key.uid;
    return key;
}

std::optional<std::size_t> index_of(const std::vector<std::uint64_t> &track_uids, const TrackKey &key) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < track_uids.size(); ++i)
        if (track_uids[i] == key.uid && seen++ == key.nth)
            return i;
    return std::nullopt;
}

} // namespace perlane
