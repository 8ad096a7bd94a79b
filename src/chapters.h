#pragma once
// Chapters as the file holds them (editions of atoms) and the operations on them. The
// atoms are the one source of truth: rows are computed from them, edits change them,
// and the chapters XML is written from them.
#include "master.h"

#include <QString>

#include <optional>
#include <vector>

namespace perlane {

using Editions = std::vector<reader::EditionEntry>;

// A duration in whole milliseconds; text form "mm:ss.fff" (minutes not reduced).
struct Time {
    std::uint64_t ms = 0;

    QString to_string() const;
};

inline constexpr std::uint64_t ns_per_ms = 1'000'000;
// Chapter times are nanoseconds in every file, whatever its TimestampScale.
inline constexpr std::uint64_t split_ns = 90'000 * ns_per_ms;

// The segment's length in nanoseconds, from Info's Duration (in TimestampScale units).
std::optional<std::uint64_t> segment_length_ns(std::optional<double> duration, std::uint64_t scale);

// One shown chapter: a first-level atom with a display.
struct ChapterRow {
    std::size_t edition = 0; // position of the edition in the file
    std::size_t atom = 0;    // position of the atom among the edition's atoms
    QString name;            // ChapString of the first display
    std::uint64_t start = 0; // ns
    std::uint64_t end = 0;   // ns: its own end, else the next shown chapter's start, else the segment's end
    bool operator==(const ChapterRow &) const = default;
};

// The shown chapters of all editions, in order.
std::vector<ChapterRow> chapter_rows(const Editions &editions, std::optional<std::uint64_t> segment_end);

// Renames the first display of the chapter. False when there is no such chapter.
bool rename_chapter(Editions &editions, std::size_t edition, std::size_t atom, const QString &name);

enum class SplitAt { Start, End };

// Splits 90 seconds off the start or end of the chapter: a new atom with a fresh UID
// takes that piece. False (nothing changed) when the chapter is not longer than 90 s.
bool split_chapter(Editions &editions, std::size_t edition, std::size_t atom, SplitAt where,
                   std::optional<std::uint64_t> segment_end);

} // namespace perlane
