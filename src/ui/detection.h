#pragma once
// Finding openings and endings for the window: how far it is (0 to 1), whether it runs,
// and per episode what it found ({file, opening, opening_confidence, opening_votes,
// ending, ending_confidence, ending_votes, change, notes, doubt, accepted}).
#include "opening_finder.h"
#include "suggestions.h"

#include <QObject>
#include <QVariantList>

#include <memory>
#include <vector>

namespace perlane {

class Backend;

class Detection : public QObject {
    Q_OBJECT
    Q_PROPERTY(double detection_progress READ detection_progress NOTIFY detection_progress_changed)
    Q_PROPERTY(bool detecting READ detecting NOTIFY detection_progress_changed)
    Q_PROPERTY(QVariantList suggestions READ suggestions NOTIFY suggestions_changed)
public:
    explicit Detection(Backend &backend);

    // Starts finding the opening and ending of every open file (returns at once).
    Q_INVOKABLE void detect_openings();
    Q_INVOKABLE void cancel_detection();
    // Marks the accepted suggestions' openings and endings as chapters, in one step that
    // Undo takes back in every episode (nothing is written before a save). The number of
    // episodes changed.
    Q_INVOKABLE int accept_suggestions();
    // Accepts or rejects one episode's suggestion; doubtful ones start rejected.
    Q_INVOKABLE void set_suggestion_accepted(int index, bool accepted);
    double detection_progress() const { return finder_.progress(); }
    bool detecting() const { return finder_.running(); }
    QVariantList suggestions() const;

Q_SIGNALS:
    void detection_progress_changed();
    void detection_finished();
    void suggestions_changed();

private:
    void detection_done(const std::vector<EpisodeFindings> &findings);

    Backend &b_;
    OpeningFinder finder_;
    std::vector<std::weak_ptr<Document>> detecting_;
    std::vector<EpisodeSuggestion> suggestions_;
};

} // namespace perlane
