#pragma once
// What a view hands back to name a chapter or track it showed. A row number goes stale
// as soon as the list changes; a key names the same chapter (by ChapterUID) or track (by
// TrackUID) of the same open file whatever happens to the rows around it, and never
// names a row of another file, though episodes often share UIDs.
#include "chapters.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace perlane {

struct ChapterKey {
    std::uint64_t document = 0; // Document::serial()
    std::size_t edition = 0;
    std::uint64_t uid = 0;      // ChapterUID
    std::size_t nth = 0;        // among the edition's shown chapters with this UID (a broken
                                // file may repeat one)
    bool operator==(const ChapterKey &) const = default;
};

struct TrackKey {
    std::uint64_t document = 0;
    std::uint64_t uid = 0; // TrackUID
    std::size_t nth = 0;
    bool operator==(const TrackKey &) const = default;
};

QString key_text(const ChapterKey &key);
QString key_text(const TrackKey &key);
std::optional<ChapterKey> chapter_key(const QString &text);
std::optional<TrackKey> track_key(const QString &text);

// The key of `rows[row]`; the row a key names now, if it is still shown.
ChapterKey key_of(const std::vector<ChapterRow> &rows, std::size_t row, std::uint64_t document);
// The keys of all rows, in one pass (a list may hold thousands).
std::vector<ChapterKey> keys_of(const std::vector<ChapterRow> &rows, std::uint64_t document);
std::optional<std::size_t> row_of(const std::vector<ChapterRow> &rows, const ChapterKey &key);
// The same for tracks, given their TrackUIDs in stored order.
TrackKey key_of(const std::vector<std::uint64_t> &track_uids, std::size_t index, std::uint64_t document);
std::optional<std::size_t> index_of(const std::vector<std::uint64_t> &track_uids, const TrackKey &key);

} // namespace perlane
