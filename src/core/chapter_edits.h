#pragma once
// The edits of chapters: rename, split, add, delete, move a start, skip types and roles.
// Each works on one edition's first-level atoms (the shown chapters), changes nothing when
// it refuses, and says why. New atoms get UIDs no atom of the file has, never 0.
#include "chapters.h"

#include <QString>
#include <QStringList>

#include <expected>
#include <optional>

namespace perlane {

using EditOutcome = std::expected<void, QString>;

// Renames the first display of the chapter. False when there is no such chapter.
bool rename_chapter(Editions &editions, std::size_t edition, std::size_t atom, const QString &name);

// Cuts the chapter at `ns`, strictly inside it: the second piece starts there, keeps the
// chapter's end and its name (or `name` when given), and gets a fresh UID.
EditOutcome split_chapter_at(Editions &editions, std::size_t edition, std::size_t atom, std::uint64_t ns,
                             std::optional<std::uint64_t> segment_end, const QString *name = nullptr);

enum class SplitAt { Start, End };
// Splits 90 seconds off the start or end of the chapter. The 90 s piece is a new chapter
// named "NAME (first 90 s)" or "NAME (last 90 s)"; the rest keeps the chapter's UID, name
// and nested chapters. False (nothing changed) when the chapter is not longer than 90 s.
bool split_chapter(Editions &editions, std::size_t edition, std::size_t atom, SplitAt where,
                   std::optional<std::uint64_t> segment_end);

// A chapter named `name` starting at `ns`: inside a chapter, a split; before the first or
// after the last, a chapter up to the next start or the segment's end. With no chapters
// at all, an edition of "Chapter 1" from 0 to `ns` and the new one from `ns` to the end.
EditOutcome add_chapter(Editions &editions, std::size_t edition, std::uint64_t ns, const QString &name,
                        std::optional<std::uint64_t> segment_end);

// Merges the chapter into the previous one (which then ends where it ended), or into the
// next one when it is the first. Its nested chapters go with it.
EditOutcome delete_chapter(Editions &editions, std::size_t edition, std::size_t atom,
                           std::optional<std::uint64_t> segment_end);

// Moves the chapter's start, and the previous chapter's end when it ended there. Only
// strictly between the previous chapter's start (0 for the first) and its own end.
EditOutcome set_chapter_start(Editions &editions, std::size_t edition, std::size_t atom, std::uint64_t ns,
                              std::optional<std::uint64_t> segment_end);

// ChapterSkipType: 0 no skipping, 1 opening credits, 2 end credits, 3 recap, 4 next
// preview, 5 preview, 6 advertisement; -1 removes it.
inline constexpr int skip_type_count = 7;
// The ChapterSkipType values, by value: what the window calls each.
inline constexpr const char *skip_type_labels[] = {"No skipping", "Opening credits", "End credits", "Recap",
                                                   "Next preview", "Preview", "Advertisement"};
QString skip_type_name(std::optional<std::uint64_t> type); // "opening credits"; "none" when absent
EditOutcome set_skip_type(Editions &editions, std::size_t edition, std::size_t atom, int type);

// The one-click roles: "opening", "ending", "recap", "preview" — a name and a skip type.
struct ChapterRole {
    const char *role;
    const char *name;
    int skip_type;
};
inline constexpr ChapterRole chapter_roles[] = {
    {"opening", "Opening", 1}, {"ending", "Ending", 2}, {"recap", "Recap", 3}, {"preview", "Preview", 4}};
const ChapterRole *role_named(const QString &role);
EditOutcome mark_chapter(Editions &editions, std::size_t edition, std::size_t atom, const ChapterRole &role);

// What marking a span did to the chapters around it, for people.
struct MarkEffect {
    QStringList absorbed; // chapters that started inside the span, now part of it
    QString moved;        // the chapter the span ended in, which now starts at the span's end
};

// A marked chapter from `from` to `to` (90 s when not given) in one step, and marked. A
// chapter cut by it keeps its UID and name on the part it starts with; a rest after the
// marked one is new, named "NAME (continued)". A chapter starting at `from` and ending by
// `to` is marked itself. Whatever chapters the span crosses: those starting inside it are
// absorbed (their nested chapters go into the marked one), and the one it ends in starts
// at its end.
EditOutcome add_marked_chapter(Editions &editions, std::size_t edition, std::uint64_t from,
                               std::optional<std::uint64_t> to, const ChapterRole &role,
                               std::optional<std::uint64_t> segment_end, MarkEffect *effect = nullptr);

} // namespace perlane
