// Finding every episode's opening and ending by its sound, and marking them as chapters.
#include "detection.h"

#include "backend.h"
#include "chapter_edits.h"

namespace perlane {


namespace {

QString span_text(const std::optional<TimeSpan> &span) {
    if (!span)
        return {};
    return Time{span->first / ns_per_ms}.to_string() + QStringLiteral(" \u2013 ") + Time{span->second / ns_per_ms}.to_string();
}

} // namespace

Detection::Detection(Backend &backend) : QObject(&backend), b_(backend) {
    connect(&finder_, &OpeningFinder::progress_changed, this, &Detection::detection_progress_changed);
    connect(&finder_, &OpeningFinder::finished, this, &Detection::detection_done);
}

void Detection::detect_openings() {
    std::vector<EpisodeInput> inputs;
    detecting_.clear();
    for (const auto &doc : b_.documents()) {
        inputs.push_back(episode_input(*doc));
        detecting_.push_back(doc);
    }
    if (!suggestions_.empty()) {
        suggestions_.clear();
        Q_EMIT suggestions_changed();
    }
    finder_.start(std::move(inputs));
}

void Detection::cancel_detection() { finder_.cancel(); }

void Detection::detection_done(const std::vector<EpisodeFindings> &findings) {
    suggestions_.clear();
    for (std::size_t i = 0; i < findings.size() && i < detecting_.size(); ++i)
        if (const auto doc = detecting_[i].lock()) // else removed from the list meanwhile
            suggestions_.push_back(suggest(doc, findings[i]));
    Q_EMIT suggestions_changed();
    Q_EMIT detection_finished();
}

QVariantList Detection::suggestions() const {
    QVariantList out;
    for (const EpisodeSuggestion &s : suggestions_) {
        auto percent = [](const std::optional<FoundPart> &p) { return p ? static_cast<int>(std::lround(p->confidence * 100)) : 0; };
        QStringList doubts;
        for (const auto &[part, what] : {std::pair{&s.found.opening, "opening"}, {&s.found.ending, "ending"}})
            if (*part)
                for (const QString &d : (*part)->doubts)
                    doubts << QStringLiteral("%1: %2").arg(QLatin1StringView(what), d);
        out << QVariantMap{{QStringLiteral("file"), s.file},
                           {QStringLiteral("opening"), span_text(s.opening)},
                           {QStringLiteral("opening_confidence"), percent(s.found.opening)},
                           {QStringLiteral("opening_votes"), s.found.opening ? static_cast<int>(s.found.opening->votes) : 0},
                           {QStringLiteral("ending"), span_text(s.ending)},
                           {QStringLiteral("ending_confidence"), percent(s.found.ending)},
                           {QStringLiteral("ending_votes"), s.found.ending ? static_cast<int>(s.found.ending->votes) : 0},
                           {QStringLiteral("change"), s.change},
                           {QStringLiteral("notes"), s.found.notes.join(QStringLiteral("; "))},
                           {QStringLiteral("doubt"), doubts.join(QStringLiteral("; "))},
                           {QStringLiteral("accepted"), s.accepted}};
    }
    return out;
}

void Detection::set_suggestion_accepted(int index, bool accepted) {
    if (index < 0 || static_cast<std::size_t>(index) >= suggestions_.size())
        return;
    EpisodeSuggestion &s = suggestions_[static_cast<std::size_t>(index)];
    accepted = accepted && (s.opening || s.ending);
    if (s.accepted == accepted)
        return;
    s.accepted = accepted;
    Q_EMIT suggestions_changed();
}

int Detection::accept_suggestions() {
    const MarkOutcome marked = mark_suggestions(b_.session(), suggestions_);
    suggestions_.clear();
    Q_EMIT suggestions_changed();
    QString status = QStringLiteral("Openings and endings marked in %1 (not saved yet).")
                         .arg(marked.changed == 1 ? QStringLiteral("1 episode") : QStringLiteral("%1 episodes").arg(marked.changed));
    if (!marked.failed.isEmpty())
        status += QStringLiteral(" Not marked: ") + marked.failed.join(QStringLiteral("; ")) + QLatin1Char('.');
    b_.report(status, marked.changed == 0);
    return marked.changed;
}

} // namespace perlane
