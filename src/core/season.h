#pragma once
// Rules over every open file at once. Each rule is planned first — per file the state it
// would leave and the changes it makes, and the files it skips with the reason — so the
// window can show the plan before anything changes. Tracks are matched by what they are
// (type, language, name), never by their number alone.
#include "document.h"
#include "track_flags.h"

#include <QString>

#include <memory>
#include <vector>

namespace perlane::season {

using Documents = std::vector<std::shared_ptr<Document>>;

inline constexpr std::uint64_t video_type = 1, audio_type = 2, subtitle_type = 17;
QString type_name(std::uint64_t track_type); // "Video", "Audio", "Subtitle" or "Unknown"

struct Change {
    QString item;     // "#2 Audio", "Chapter 3"
    QString what;     // "name", "language", "default", a flag's label, "skip type"
    QString from, to; // as people read them
};
struct FileEdit {
    std::size_t file; // index in the documents
    DocumentState state;
    std::vector<Change> changes;
};
struct Skip {
    std::size_t file;
    QString reason;
};
struct Plan {
    std::vector<FileEdit> edits;
    std::vector<Skip> skipped;
    std::vector<std::size_t> unchanged; // files the rule fits that are as it would leave them
    QString refusal; // set when the rule cannot run at all; then nothing is planned
};

// The differences between two states of one document: its tracks and its chapters' names
// and skip types.
std::vector<Change> changes(const Document &doc, const DocumentState &from, const DocumentState &to);

// The pending edits of track `track` of file `source` (name, language, default, flags),
// made to the matching track of every other file: same type, language and name as read.
Plan apply_track_to_all(const Documents &docs, std::size_t source, std::size_t track);
// In every file, the first track of `track_type` in `language` becomes default and every
// other track of that type not default.
Plan default_by_language(const Documents &docs, std::uint64_t track_type, const QString &language);

// Flags that tracks' names suggest ("Signs & Songs" -> forced), one plan per flag.
struct Suggestion {
    TrackFlag flag;
    QString reason; // "names with Signs, Songs or Forced"
    Plan plan;
};
std::vector<Suggestion> flag_suggestions(const Documents &docs);

// The names and skip types of file `source`'s chapters, copied to every other file whose
// chapters line up with them (as many, each as long within 2 s or 5 %).
Plan chapter_names_to_all(const Documents &docs, std::size_t source);

// One row per file, the tracks side by side (a column per kind of track: type, language,
// name), with the cells that differ from most files marked.
struct Cell {
    bool present = false;
    QString text; // "#2 · default · forced"
    bool odd = false;
};
struct Overview {
    std::vector<QString> columns;
    std::vector<std::vector<Cell>> rows; // per file, one cell per column
};
Overview overview(const Documents &docs);

} // namespace perlane::season
