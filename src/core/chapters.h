#pragma once
// Chapters as the file holds them (editions of atoms) and the operations on them. The
// atoms are the one source of truth: rows are computed from them, edits change them,
// and the chapters XML is written from them.
#include "master.h"

#include <QString>

#include <expected>
#include <optional>
#include <vector>

namespace perlane {

using Editions = std::vector<reader::EditionEntry>;

// A duration in whole milliseconds; text form "mm:ss.fff" (minutes not reduced).
struct Time {
    std::uint64_t ms = 0;

    QString to_string() const;
    // "mm:ss.fff" (any number of minutes) or "h:mm:ss.fff"; the fraction may be shorter or
    // absent. The reason when the text is not a time.
    static std::expected<Time, QString> parse(const QString &text);
};

inline constexpr std::uint64_t ns_per_ms = 1'000'000;
// Chapter times are nanoseconds in every file, whatever its TimestampScale.
inline constexpr std::uint64_t split_ns = 90'000 * ns_per_ms;
// Chapters this long are likely an opening or ending song: marked in the window.
inline constexpr std::uint64_t likely_song_min_ms = 85'000, likely_song_max_ms = 95'000;
inline constexpr bool likely_song(std::uint64_t length_ms) {
    return length_ms >= likely_song_min_ms && length_ms <= likely_song_max_ms;
}

// The segment's length in nanoseconds, from Info's Duration (in TimestampScale units).
std::optional<std::uint64_t> segment_length_ns(std::optional<double> duration, std::uint64_t scale);

// A chapter nested in a shown one, for display.
struct NestedRow {
    int depth = 1;
    QString name;
    std::uint64_t start = 0, end = 0; // ns; end as start when the atom has none
    bool operator==(const NestedRow &) const = default;
};

// One shown chapter: a first-level atom with a display.
struct ChapterRow {
    std::size_t edition = 0; // position of the edition in the file
    std::size_t atom = 0;    // position of the atom among the edition's atoms
    std::uint64_t uid = 0;   // ChapterUID
    QString name;            // ChapString of the first display
    std::uint64_t start = 0; // ns
    std::uint64_t end = 0;   // ns: its own end, else the next shown chapter's start, else the segment's end
    // Where players that ignore ChapterTimeEnd take its end: the next shown chapter's
    // start, else the segment's end, else `end`.
    std::uint64_t next_start = 0;
    std::optional<std::uint64_t> skip_type;
    std::vector<NestedRow> nested;
    bool operator==(const ChapterRow &) const = default;
};

// "Edition 2 · ordered · hidden".
QString edition_label(const Editions &editions, std::size_t edition);

// The shown chapters of all editions, in order.
std::vector<ChapterRow> chapter_rows(const Editions &editions, std::optional<std::uint64_t> segment_end);
// Those of one edition: a chapter's end depends on nothing else.
std::vector<ChapterRow> edition_rows(const Editions &editions, std::size_t edition, std::optional<std::uint64_t> segment_end);

} // namespace perlane
