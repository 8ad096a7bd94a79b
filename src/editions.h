#pragma once
// The application's own chapters: an Edition per EditionEntry, a Chapter per atom that
// has a display. Each keeps everything the reader read, so that a save writes the
// chapters back with only the user's edits applied.
#include "chapter_list.h"
#include "master.h"

#include <QString>

#include <optional>
#include <vector>

namespace perlane {

// A duration in whole milliseconds; text form "mm:ss.fff" (minutes not reduced).
struct Time {
    std::uint64_t ms = 0;

    // Minutes ":" seconds "." milliseconds; a missing or unreadable piece counts as 0.
    static Time from_string(const QString &text);
    QString to_string() const;
};

inline constexpr std::uint64_t ns_per_ms = 1'000'000;
// Chapter times are nanoseconds in every file, whatever its TimestampScale.
inline constexpr std::uint64_t split_ns = 90'000 * ns_per_ms;

struct Chapter {
    std::optional<std::uint64_t> end;      // ChapterTimeEnd (read, or set by a split), ns
    std::optional<std::uint64_t> duration; // the segment's length, ns
    QString name;                          // ChapString of the first display
    std::optional<QString> language;       // first ChapLanguage of that display
    std::size_t index = 0;                 // position among the edition's atoms
    std::size_t edition = 0;
    std::uint64_t uid = 0;
    std::uint64_t flag_hidden = 0;
    std::uint64_t flag_enabled = 1;
    std::uint64_t timestamp_scale = 1'000'000;
    std::uint64_t start = 0; // ns
    reader::ChapterAtom atom; // as read (nested atoms, all displays ...)

    // This chapter as a ChapterAtom of a chapters XML document (no indentation of its own,
    // no final line feed).
    QString xml_entry() const;

    // The chapter's end: its own, else the next chapter's start, else the segment's end,
    // never before its start.
    std::uint64_t end_or(std::optional<std::uint64_t> next_start) const;
};

struct Edition {
    std::optional<std::uint64_t> uid;
    std::vector<Chapter> chapters;
    std::uint64_t flag_hidden = 0;
    std::uint64_t flag_default = 0;
    reader::EditionEntry entry; // as read, without its atoms
    // Atoms without a display (not shown, kept for saving), each with the number of
    // shown chapters before it.
    std::vector<std::pair<std::size_t, reader::ChapterAtom>> undisplayed;

    // This edition as an EditionEntry of a chapters XML document.
    QString xml_entry() const;

    // End of chapter i as shown.
    std::uint64_t end_of(std::size_t i) const;
    chapter_list::ChapterInfo row(std::size_t i, std::size_t position) const;
};

Edition parse_edition(const reader::EditionEntry &entry, std::size_t position,
                      std::uint64_t timestamp_scale, std::optional<double> duration);

// The chapter rows of all editions, in order.
std::vector<chapter_list::ChapterInfo> chapter_rows(const std::vector<Edition> &editions);

// Where row `row` lives: (edition, position in it), if anywhere.
std::optional<std::pair<std::size_t, std::size_t>> locate_row(const std::vector<Edition> &editions,
                                                              std::size_t row);

// The whole chapters XML document for `editions`.
QByteArray chapters_document(const std::vector<Edition> &editions);

enum class SplitAt { Start, End };

// Splits 90 seconds off the start or end of chapter `position` of edition `edition`.
// Returns false (and changes nothing) when the chapter is not longer than 90 seconds.
bool split_chapter(std::vector<Edition> &editions, std::size_t edition, std::size_t position,
                   SplitAt where);

} // namespace perlane
