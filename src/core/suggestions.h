#pragma once
// What finding openings and endings by their sound suggests for each episode: the parts
// moved onto the chapter boundaries they nearly meet, what marking them would do to the
// chapters, and whether it is doubtful. Marking the accepted ones is one step per file,
// in one group across the season.
#include "document.h"
#include "opening_finder.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace perlane {

class Session;

using TimeSpan = std::pair<std::uint64_t, std::uint64_t>; // ns

struct EpisodeSuggestion {
    std::weak_ptr<Document> doc;
    QString file;
    EpisodeFindings found;
    std::optional<TimeSpan> opening, ending; // snapped
    QString change; // what marking does to the chapters: "one split; the ending takes in …"
    bool accepted = false; // doubtful ones, and those that cannot be marked, start rejected
    bool doubtful() const;
};

EpisodeSuggestion suggest(const std::shared_ptr<Document> &doc, const EpisodeFindings &found);

struct MarkOutcome {
    int changed = 0;     // episodes whose chapters changed
    QStringList failed;  // "file (what could not be marked, and why)"
};
// Marks the accepted suggestions in one group that Undo takes back in every episode.
MarkOutcome mark_suggestions(Session &session, const std::vector<EpisodeSuggestion> &suggestions);

} // namespace perlane
